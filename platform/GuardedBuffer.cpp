// GuardedBuffer over one anonymous mapping whose pages before the slack, and
// whose last page, are made inaccessible with mprotect.
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
  // Every page is mapped at once: one system call instead of a fault per page,
  // which costs far more on virtual machines.
  void* mapping = ::mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  if (mapping == MAP_FAILED) Fail("map " + std::to_string(mapped_) + " bytes", errno);
  mapping_ = static_cast<std::uint8_t*>(mapping);
  end_ = mapping_ + page + inner;
  if (::mprotect(end_, page, PROT_NONE) != 0) {
    const int error = errno;
    ::munmap(mapping_, mapped_);
    Fail("make the page after the end inaccessible", error);
  }
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
