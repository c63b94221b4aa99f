// SharedMemory over memfd_create, ftruncate and shared mappings.
#include "SharedMemory.h"

#include "Errors.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

SharedMemory::SharedMemory(const std::string& Name) : fd_(::memfd_create(Name.c_str(), MFD_CLOEXEC)) {
  if (!fd_.IsOpen()) Fail("make", 0);
}

SharedMemory::SharedMemory(FileDescriptor Inherited) : fd_(std::move(Inherited)) {}

SharedMemory::~SharedMemory() {
  if (data_ != nullptr) ::munmap(data_, mapped_);
}

std::uint8_t* SharedMemory::Map(std::size_t Bytes, Access Access) {
  Bytes = std::max<std::size_t>(Bytes, 1);
  if (data_ != nullptr && mapped_ >= Bytes && access_ == Access) return data_;
  // Mapping anew costs a page-table entry per page, which is slow on virtual
  // machines, so the mapping at least doubles: a run of growing pictures maps
  // its memory a few times, not once per picture.
  const std::size_t size = std::max(Bytes, 2 * mapped_);
  struct stat file {};
  if (::fstat(fd_.Get(), &file) != 0) Fail("measure", size);
  if (static_cast<std::size_t>(file.st_size) < size && ::ftruncate(fd_.Get(), static_cast<off_t>(size)) != 0) {
    Fail("grow to", size);
  }
  if (data_ != nullptr) ::munmap(data_, mapped_);
  data_ = nullptr;
  mapped_ = 0;
  const int protection = Access == Access::ReadOnly ? PROT_READ : PROT_READ | PROT_WRITE;
  // Every page is mapped at once: one system call instead of a fault per page.
  void* data = ::mmap(nullptr, size, protection, MAP_SHARED | MAP_POPULATE, fd_.Get(), 0);
  if (data == MAP_FAILED) Fail("map", size);
  data_ = static_cast<std::uint8_t*>(data);
  mapped_ = size;
  access_ = Access;
  return data_;
}

}  // namespace platform
