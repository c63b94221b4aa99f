// GuardedBuffer over one anonymous mapping of address space, whose pages
// before the slack, and whose last page, are inaccessible (mprotect). The
// buffer always ends at the same place, so memory a larger buffer touched is
// used again by the next without being mapped anew.
#include "GuardedBuffer.h"

#include "Errors.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace platform {

namespace {

[[noreturn]] void Fail(const std::string& What, int Error) {
  throw PlatformError("cannot " + What + " of a guarded buffer: " + std::strerror(Error));
}

}  // namespace

std::size_t GuardedBuffer::PageSize() { return static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)); }

GuardedBuffer::GuardedBuffer(std::size_t Capacity, std::size_t MinimumSlack)
    : capacity_(Capacity), minimum_slack_(MinimumSlack) {
  const std::size_t page = PageSize();
  const std::size_t inner = (MinimumSlack + Capacity + page - 1) / page * page;
  mapped_ = inner + 2 * page;
  void* mapping = ::mmap(nullptr, mapped_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (mapping == MAP_FAILED) Fail("reserve " + std::to_string(mapped_) + " bytes", errno);
  mapping_ = static_cast<std::uint8_t*>(mapping);
  end_ = mapping_ + page + inner;
  slack_ = end_;
  Place(0);
}

GuardedBuffer::~GuardedBuffer() { ::munmap(mapping_, mapped_); }

std::uint8_t* GuardedBuffer::Place(std::size_t Bytes) {
  const std::size_t page = PageSize();
  const auto data = reinterpret_cast<std::uintptr_t>(end_ - Bytes);
  auto* slack = reinterpret_cast<std::uint8_t*>((data - minimum_slack_) / page * page);
  if (slack != slack_) {
    if (::mprotect(slack, static_cast<std::size_t>(end_ - slack), PROT_READ | PROT_WRITE) != 0) {
      Fail("make the buffer and its slack accessible", errno);
    }
    if (::mprotect(mapping_, static_cast<std::size_t>(slack - mapping_), PROT_NONE) != 0) {
      Fail("make the memory before the slack inaccessible", errno);
    }
    slack_ = slack;
  }
  placed_ = Bytes;
  return Data();
}

}  // namespace platform
