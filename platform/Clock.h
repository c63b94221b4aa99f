// The system's clocks as the millisecond clock reads them: a high-resolution
// counter with its frequency, and a coarse millisecond tick count.
#pragma once

#include <cstdint>

namespace platform {

// The monotonic clock in counts of 100 ns. A 10 MHz counter keeps count x 1000
// inside 64 bits for about 29 years of uptime.
bool QueryPerformanceFrequency(std::int64_t& Frequency);
std::int64_t QueryPerformanceCounter();

// Milliseconds of the monotonic clock, wrapping like a 32-bit counter.
std::uint32_t GetTickCount();

}  // namespace platform
