// SharedMemory: memory that this process and the children it starts map at
// once, without copies between them: an anonymous file, whose descriptor a
// child is handed, mapped once at the largest size it may ever grow to, so
// that a page is mapped the first time it is touched and never again.
#pragma once

#include "FileDescriptor.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class SharedMemory {
 public:
  enum class Access { ReadOnly, ReadWrite };

  // A new, empty one that may grow to MaximumBytes; Name only shows up in the
  // system's lists of mappings. Throws PlatformError with the system's reason.
  SharedMemory(const std::string& Name, std::size_t MaximumBytes, Access Access);
  // One handed down by the parent.
  SharedMemory(FileDescriptor Inherited, std::size_t MaximumBytes, Access Access);
  ~SharedMemory();
  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;

  int Descriptor() const { return fd_.Get(); }
  std::uint8_t* Data() const { return data_; }

  // Makes the first Bytes (at most MaximumBytes) usable, growing the file when
  // it is shorter, for a writer to fill. Reading past what a writer has made
  // usable ends the process (SIGBUS). Throws PlatformError naming the size and
  // the reason.
  void Reserve(std::size_t Bytes);

 private:
  void MapAll(Access Access);

  FileDescriptor fd_;
  std::uint8_t* data_ = nullptr;
  std::size_t maximum_ = 0;
  bool writable_ = false;
};

}  // namespace platform
