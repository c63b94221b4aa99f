// GuardedBuffer over one anonymous mapping whose first and last pages are
// made inaccessible with mprotect.
#include "GuardedBuffer.h"

#include "Errors.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace platform {

std::size_t GuardedBuffer::PageSize() { return static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)); }

GuardedBuffer::GuardedBuffer(std::size_t Capacity, std::size_t MinimumSlack) : capacity_(Capacity) {
  const std::size_t page = PageSize();
  const std::size_t inner = (MinimumSlack + Capacity + page - 1) / page * page;
  mapped_ = inner + 2 * page;
  void* mapping = ::mmap(nullptr, mapped_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (mapping == MAP_FAILED) {
    throw PlatformError("cannot reserve " + std::to_string(mapped_) + " bytes for a guarded buffer: " +
                        std::strerror(errno));
  }
  mapping_ = static_cast<std::uint8_t*>(mapping);
  if (::mprotect(mapping_ + page, inner, PROT_READ | PROT_WRITE) != 0) {
    const int error = errno;
    ::munmap(mapping_, mapped_);
    throw PlatformError("cannot make " + std::to_string(inner) + " bytes of a guarded buffer accessible: " +
                        std::strerror(error));
  }
  begin_ = mapping_ + page;
  end_ = begin_ + inner;
}

GuardedBuffer::~GuardedBuffer() { ::munmap(mapping_, mapped_); }

}  // namespace platform
