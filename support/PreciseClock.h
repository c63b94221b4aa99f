// The millisecond clock of the API module: time stamps in ten-thousandths of a
// millisecond from the high-resolution counter, or from the millisecond tick
// count where there is no such counter.
#pragma once

#include <cstdint>
#include <functional>

namespace API {

// A millisecond time stamp: ten-thousandths of a millisecond, so milliseconds
// with four decimals. Only the difference of two stamps means anything.
using MsStamp = std::int64_t;

inline constexpr MsStamp kStampUnitsPerMs = 10000;

// The clocks a PreciseClock reads; the platform's by default, others in tests.
struct ClockSource {
  std::function<bool(std::int64_t& Frequency)> QueryPerformanceFrequency;
  std::function<std::int64_t()> QueryPerformanceCounter;
  std::function<std::uint32_t()> GetTickCount;
};

ClockSource PlatformClockSource();

class PreciseClock {
 public:
  explicit PreciseClock(ClockSource Source = PlatformClockSource());

  // The frequency is asked for on the first call only; a failed query switches
  // the clock to the tick count for good.
  MsStamp GetPreciseMs();

 private:
  ClockSource source_;
  // 0: not asked yet; > 0: counts per second; kNoCounter: no counter.
  std::int64_t CounterFrequency = 0;
};

// The process's clock over the platform's counters.
MsStamp GetPreciseMs();

}  // namespace API
