// The millisecond clock: fixed-point stamps from injected counters, the one-time
// frequency query, the tick-count fallback, and exactness at any uptime.
#include "support/PreciseClock.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// A clock whose counter readings, frequency and tick count the test decides.
struct FakeClock {
  std::int64_t frequency = 10'000'000;
  bool frequency_ok = true;
  std::vector<std::int64_t> counts;
  std::uint32_t ticks = 0;
  int frequency_queries = 0;
  int counter_reads = 0;

  API::ClockSource Source() {
    return {[this](std::int64_t& f) {
              ++frequency_queries;
              f = frequency;
              return frequency_ok;
            },
            [this] { return counts.at(counter_reads++); },
            [this] { return ticks; }};
  }
};

API::MsStamp StampAt(std::int64_t Count, std::int64_t Frequency) {
  FakeClock fake;
  fake.frequency = Frequency;
  fake.counts = {Count};
  API::PreciseClock clock(fake.Source());
  return clock.GetPreciseMs();
}

TEST(PreciseClock, ConvertsCountsToTenThousandthsOfAMillisecond) {
  EXPECT_EQ(StampAt(12'345, 10'000'000), 12'345);          // 1.2345 ms
  EXPECT_EQ(StampAt(3'579'545, 3'579'545), 10'000'000);    // 1000 ms
  EXPECT_EQ(StampAt(1, 3), 3'333'333);                     // 333.3333 ms
  EXPECT_EQ(StampAt(2, 3), 6'666'667);                     // 666.6667 ms
  EXPECT_EQ(StampAt(0, 10'000'000), 0);
}

TEST(PreciseClock, RoundsHalvesToEven) {
  EXPECT_EQ(StampAt(1, 20'000'000), 0);  // 0.5 units
  EXPECT_EQ(StampAt(3, 20'000'000), 2);  // 1.5 units
  EXPECT_EQ(StampAt(5, 20'000'000), 2);  // 2.5 units
}

TEST(PreciseClock, StaysExactForCountersThatRanForYears) {
  constexpr std::int64_t kTenYearsOfSeconds = 10LL * 365 * 24 * 3600;
  // A 1 GHz counter after ten years: count x 1000 is far beyond 64 bits.
  EXPECT_EQ(StampAt(kTenYearsOfSeconds * 1'000'000'000 + 123'400, 1'000'000'000),
            kTenYearsOfSeconds * 1000 * 10000 + 1234);
  // The platform's 10 MHz counter after 100 years.
  EXPECT_EQ(StampAt(10 * kTenYearsOfSeconds * 10'000'000 + 7, 10'000'000),
            10 * kTenYearsOfSeconds * 1000 * 10000 + 7);
}

TEST(PreciseClock, AsksForTheFrequencyOnlyOnce) {
  FakeClock fake;
  fake.counts = {10, 20, 30};
  API::PreciseClock clock(fake.Source());
  EXPECT_EQ(clock.GetPreciseMs(), 10);
  EXPECT_EQ(clock.GetPreciseMs(), 20);
  EXPECT_EQ(clock.GetPreciseMs(), 30);
  EXPECT_EQ(fake.frequency_queries, 1);
  EXPECT_EQ(fake.counter_reads, 3);
}

TEST(PreciseClock, FallsBackToTheTickCountForGoodWhenThereIsNoCounter) {
  FakeClock fake;
  fake.frequency_ok = false;
  fake.ticks = 86'400'000;
  API::PreciseClock clock(fake.Source());
  EXPECT_EQ(clock.GetPreciseMs(), 864'000'000'000);
  fake.ticks = 2'147'483'648u;
  EXPECT_EQ(clock.GetPreciseMs(), -2'147'483'648LL * 10000);
  EXPECT_EQ(fake.frequency_queries, 1);
  EXPECT_EQ(fake.counter_reads, 0);
}

TEST(PreciseClock, TreatsAZeroFrequencyAsNoCounter) {
  FakeClock fake;
  fake.frequency = 0;
  fake.ticks = 5;
  API::PreciseClock clock(fake.Source());
  EXPECT_EQ(clock.GetPreciseMs(), 50'000);
}

TEST(PreciseClock, ThePlatformClockRunsForward) {
  const API::MsStamp first = API::GetPreciseMs();
  API::MsStamp later = first;
  for (int i = 0; i < 1'000'000 && later == first; ++i) later = API::GetPreciseMs();
  EXPECT_GT(later, first);
}

}  // namespace
