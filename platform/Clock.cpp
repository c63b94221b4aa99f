// The counters over the monotonic clock.
#include "Clock.h"

#include <chrono>

namespace platform {

namespace {
using Ticks100ns = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;
}

bool QueryPerformanceFrequency(std::int64_t& Frequency) {
  Frequency = Ticks100ns::period::den;
  return true;
}

std::int64_t QueryPerformanceCounter() {
  return std::chrono::duration_cast<Ticks100ns>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::uint32_t GetTickCount() {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<std::uint32_t>(ms.count());
}

}  // namespace platform
