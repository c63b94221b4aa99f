// GuardedBuffer: memory for a buffer handed to code that is not trusted to
// stay inside it. An inaccessible page, slack, the buffer, and an
// inaccessible page right after the buffer's last byte: any access past the
// end faults at once, one well before the start faults too, and a write into
// the slack can be found afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace platform {

class GuardedBuffer {
 public:
  // Room for buffers of up to Capacity bytes with at least MinimumSlack bytes
  // of slack before them. Throws PlatformError naming the size and the
  // system's reason.
  GuardedBuffer(std::size_t Capacity, std::size_t MinimumSlack);
  ~GuardedBuffer();
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  std::size_t Capacity() const { return capacity_; }

  // A buffer of Bytes (at most Capacity) whose last byte sits flush against
  // the page after it.
  std::uint8_t* Place(std::size_t Bytes) const { return end_ - Bytes; }
  // Everything accessible before the buffer of Bytes.
  std::span<std::uint8_t> SlackBefore(std::size_t Bytes) const { return {begin_, Place(Bytes)}; }

  // The accessible memory runs from Begin() to End(); one inaccessible page
  // of PageSize() bytes lies on either side.
  std::uintptr_t Begin() const { return reinterpret_cast<std::uintptr_t>(begin_); }
  std::uintptr_t End() const { return reinterpret_cast<std::uintptr_t>(end_); }
  static std::size_t PageSize();

 private:
  std::uint8_t* mapping_ = nullptr;
  std::size_t mapped_ = 0;
  std::uint8_t* begin_ = nullptr;
  std::uint8_t* end_ = nullptr;
  std::size_t capacity_ = 0;
};

}  // namespace platform
