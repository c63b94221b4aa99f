// FileDescriptor over close(2).
#include "FileDescriptor.h"

#include <unistd.h>

namespace platform {

void FileDescriptor::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace platform
