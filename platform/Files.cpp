// File access through POSIX calls on the path's bytes; Qt's file classes would
// turn a name that is not valid UTF-8 into another name.
#include "Files.h"

#include "Errors.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

namespace platform {

namespace {

std::string Quoted(const std::string& Path) { return "\"" + Path + "\""; }

[[noreturn]] void FailRead(const std::string& Path, const std::string& Reason) {
  throw FileError("Cannot read " + Quoted(Path) + ": " + Reason, Reason);
}

std::string SystemReason(int Error) {
  return Error == ENOENT ? "no such file" : std::strerror(Error);
}

// An open descriptor, closed when it goes.
class Descriptor {
 public:
  explicit Descriptor(int Fd) : fd_(Fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

std::vector<std::uint8_t> Read(const std::string& Path, std::size_t Count) {
  // Non-blocking, so that a pipe in the file's place cannot hang the open.
  const Descriptor fd(::open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.Get() < 0) FailRead(Path, SystemReason(errno));
  struct stat status {};
  if (::fstat(fd.Get(), &status) != 0) FailRead(Path, SystemReason(errno));
  if (S_ISDIR(status.st_mode)) FailRead(Path, "it is a folder, not a file");
  if (!S_ISREG(status.st_mode)) FailRead(Path, "it is not a regular file");

  std::vector<std::uint8_t> bytes;
  try {
    bytes.resize(std::min<std::uint64_t>(Count, static_cast<std::uint64_t>(status.st_size)));
  } catch (const std::bad_alloc&) {
    FailRead(Path, "not enough memory for its " + std::to_string(status.st_size) + " bytes");
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t got = ::read(fd.Get(), bytes.data() + done, bytes.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) FailRead(Path, SystemReason(errno));
    if (got == 0) break;  // shrank since fstat
    done += static_cast<std::size_t>(got);
  }
  bytes.resize(done);
  return bytes;
}

}  // namespace

bool FileExists(const std::string& Path) {
  struct stat status {};
  return ::stat(Path.c_str(), &status) == 0;
}

std::vector<std::uint8_t> ReadFileStart(const std::string& Path, std::size_t Count) {
  return Read(Path, Count);
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& Path) {
  return Read(Path, std::numeric_limits<std::size_t>::max());
}

}  // namespace platform
