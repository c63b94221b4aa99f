// SharedMemory over memfd_create, ftruncate and one shared mapping.
#include "SharedMemory.h"

#include "Errors.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace platform {

namespace {

[[noreturn]] void Fail(const std::string& What, std::size_t Bytes) {
  throw PlatformError("cannot " + What + " " + std::to_string(Bytes) + " bytes of shared memory: " +
                      std::strerror(errno));
}

}  // namespace

SharedMemory::SharedMemory(const std::string& Name, std::size_t MaximumBytes, Access Access)
    : fd_(::memfd_create(Name.c_str(), MFD_CLOEXEC)), maximum_(MaximumBytes) {
  if (!fd_.IsOpen()) Fail("make", 0);
  MapAll(Access);
}

SharedMemory::SharedMemory(FileDescriptor Inherited, std::size_t MaximumBytes, Access Access)
    : fd_(std::move(Inherited)), maximum_(MaximumBytes) {
  MapAll(Access);
}

SharedMemory::~SharedMemory() {
  if (data_ != nullptr) ::munmap(data_, maximum_);
}

// Address space only: a page takes memory once the file holds it and it is
// touched.
void SharedMemory::MapAll(Access Access) {
  writable_ = Access == Access::ReadWrite;
  const int protection = writable_ ? PROT_READ | PROT_WRITE : PROT_READ;
  void* data = ::mmap(nullptr, maximum_, protection, MAP_SHARED | MAP_NORESERVE, fd_.Get(), 0);
  if (data == MAP_FAILED) Fail("map", maximum_);
  data_ = static_cast<std::uint8_t*>(data);
}

void SharedMemory::Reserve(std::size_t Bytes) {
  if (Bytes > maximum_) {
    errno = EFBIG;
    Fail("use", Bytes);
  }
  struct stat file {};
  if (::fstat(fd_.Get(), &file) != 0) Fail("measure", Bytes);
  if (static_cast<std::size_t>(file.st_size) < Bytes && ::ftruncate(fd_.Get(), static_cast<off_t>(Bytes)) != 0) {
    Fail("grow to", Bytes);
  }
  // The writer is about to fill these bytes: pages not yet mapped come in
  // with one system call instead of a fault each, which costs far more on
  // virtual machines. A kernel that cannot do this leaves them to the faults.
  if (writable_ && Bytes > 0) ::madvise(data_, Bytes, MADV_POPULATE_WRITE);
}

}  // namespace platform
