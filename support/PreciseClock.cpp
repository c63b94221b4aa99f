// Time stamps from the counter, in fixed point with four decimals.
//
// The count is scaled as count x 1000 x 10000 / frequency in 128-bit integers,
// so the stamp is exact (rounded half to even) for any counter value: a 64-bit
// product count x 1000 would overflow after about 107 days of a 1 GHz counter,
// and a double loses the last decimals once the uptime reaches a few days.
#include "PreciseClock.h"

#include "platform/Clock.h"

#include <utility>

namespace API {

namespace {

constexpr std::int64_t kNoCounter = -kStampUnitsPerMs;  // the fixed-point value -1

// Numerator / Denominator rounded to the nearest integer, halves to even.
// Denominator > 0.
__int128 DivideRoundingHalfEven(__int128 Numerator, __int128 Denominator) {
  __int128 quotient = Numerator / Denominator;
  __int128 remainder = Numerator % Denominator;
  if (remainder < 0) {  // make the remainder non-negative: floor division
    remainder += Denominator;
    quotient -= 1;
  }
  const __int128 twice = 2 * remainder;
  if (twice > Denominator || (twice == Denominator && (quotient % 2) != 0)) quotient += 1;
  return quotient;
}

}  // namespace

ClockSource PlatformClockSource() {
  return {platform::QueryPerformanceFrequency, platform::QueryPerformanceCounter,
          platform::GetTickCount};
}

PreciseClock::PreciseClock(ClockSource Source) : source_(std::move(Source)) {}

MsStamp PreciseClock::GetPreciseMs() {
  if (CounterFrequency == 0) {
    if (!source_.QueryPerformanceFrequency(CounterFrequency) || CounterFrequency <= 0) {
      CounterFrequency = kNoCounter;
    }
  }

  if (CounterFrequency == kNoCounter) {
    const auto ticks = static_cast<std::int32_t>(source_.GetTickCount());
    return MsStamp{ticks} * kStampUnitsPerMs;
  }

  const std::int64_t count = source_.QueryPerformanceCounter();
  // P = count x 1000 as a fixed-point number: raw(P) = count x 1000.
  const __int128 raw_product = static_cast<__int128>(count) * 1000;
  // m = P / frequency in milliseconds: raw(m) = raw(P) x 10000 / frequency.
  const __int128 raw_ms =
      DivideRoundingHalfEven(raw_product * kStampUnitsPerMs, CounterFrequency);
  return static_cast<MsStamp>(raw_ms);
}

MsStamp GetPreciseMs() {
  static PreciseClock clock;
  return clock.GetPreciseMs();
}

}  // namespace API
