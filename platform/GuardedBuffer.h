// GuardedBuffer: memory for a buffer handed to code that is not trusted to
// stay inside it: the buffer's last byte sits flush against an inaccessible
// page, and a short slack before its first byte follows inaccessible pages.
// Any access past the end faults at once, one more than a page before the
// start faults too, and a write into the slack can be found afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace platform {

class GuardedBuffer {
 public:
  // Room for buffers of up to Capacity bytes: address space only, memory is
  // taken as buffers are written. Throws PlatformError naming the size and
  // the system's reason.
  GuardedBuffer(std::size_t Capacity, std::size_t MinimumSlack);
  ~GuardedBuffer();
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  std::size_t Capacity() const { return capacity_; }

  // Places a buffer of Bytes (at most Capacity) flush against the page after
  // it, with at least MinimumSlack bytes and less than a page more of slack
  // before it, and everything before the slack made inaccessible. Throws
  // PlatformError with the system's reason.
  std::uint8_t* Place(std::size_t Bytes);
  // The buffer placed last, and the slack before it.
  std::uint8_t* Data() const { return end_ - placed_; }
  std::span<std::uint8_t> Slack() const { return {slack_, Data()}; }

  // The whole mapping, inaccessible pages included, runs from Begin() to
  // End() + PageSize(): a fault inside it is an access outside the buffer.
  std::uintptr_t Begin() const { return reinterpret_cast<std::uintptr_t>(mapping_); }
  std::uintptr_t End() const { return reinterpret_cast<std::uintptr_t>(end_); }
  static std::size_t PageSize();

 private:
  std::uint8_t* mapping_ = nullptr;
  std::size_t mapped_ = 0;
  std::size_t capacity_ = 0;
  std::size_t minimum_slack_ = 0;
  std::uint8_t* end_ = nullptr;
  std::uint8_t* slack_ = nullptr;
  std::size_t placed_ = 0;
};

}  // namespace platform
