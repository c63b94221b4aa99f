// The parts of morvane-bench whose faults the runs on real builds would not
// show plainly: the strength grammar and the option syntax, and the
// comparison of two outputs (padding ignored, box, PSNR, the most different
// spot).
#include "Difference.h"
#include "Options.h"
#include "Statistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using bench::ParseOptions;
using bench::ParseStrengths;
using bench::UsageError;

TEST(Options, StrengthListsInTheOrderGivenEachOnce) {
  EXPECT_EQ(ParseStrengths("5"), (std::vector<int>{5}));
  EXPECT_EQ(ParseStrengths("0-3"), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(ParseStrengths("10,1,5"), (std::vector<int>{10, 1, 5}));
  EXPECT_EQ(ParseStrengths("3,1-4"), (std::vector<int>{3, 1, 2, 4}));
  EXPECT_EQ(ParseStrengths("-2-1"), (std::vector<int>{-2, -1, 0, 1}));
  for (const char* bad : {"", "1,,2", "a", "5-", "1-2-3", "3-1", "1.5", "99999999999"}) {
    EXPECT_THROW(ParseStrengths(bad), UsageError) << bad;
  }
}

TEST(Options, ValuesFollowTheirOptionOrAnEqualsSign) {
  const bench::Options o = ParseOptions({"--runs=4", "--library", "a.so", "--library=b.so", "--env", "X=1=2",
                                         "--max-slowdown", "1.05", "--", "--odd-name.jpg"});
  EXPECT_EQ(o.runs, 4);
  EXPECT_EQ(o.libraries, (std::vector<std::string>{"a.so", "b.so"}));
  EXPECT_EQ(o.environment, (std::vector<std::string>{"X=1=2"}));
  EXPECT_EQ(o.max_slowdown, 1.05);
  EXPECT_EQ(o.inputs, (std::vector<std::string>{"--odd-name.jpg"}));
  EXPECT_THROW(ParseOptions({"pic.jpg", "--runs"}), UsageError);
  EXPECT_THROW(ParseOptions({"--quiet=yes", "pic.jpg"}), UsageError);
  EXPECT_THROW(ParseOptions({"--runs", "0", "pic.jpg"}), UsageError);
  EXPECT_THROW(ParseOptions({"--call-timeout", "-1", "pic.jpg"}), UsageError);
  EXPECT_THROW(ParseOptions({"--env", "=1", "pic.jpg"}), UsageError);
  EXPECT_THROW(ParseOptions({"--library", "a", "--library", "b", "--library", "c", "pic.jpg"}), UsageError);
  EXPECT_TRUE(ParseOptions({"--help"}).help);
}

// Two 5 x 3 pictures with rows padded to 16 bytes.
struct Pair {
  std::vector<std::uint8_t> a = std::vector<std::uint8_t>(16 * 3, 100);
  std::vector<std::uint8_t> b = std::vector<std::uint8_t>(16 * 3, 100);
  exact::PictureView A() const { return {a.data(), 5, 3, 16}; }
  exact::PictureView B() const { return {b.data(), 5, 3, 16}; }
};

TEST(Difference, PaddingIsNotComparedAndIdenticalHasNoBoxAndInfinitePsnr) {
  Pair p;
  p.b[15] = 0;  // the last byte of the first row: padding
  const bench::Difference d = bench::Compare(p.A(), p.B());
  EXPECT_TRUE(d.Identical());
  EXPECT_FALSE(d.bounds.has_value());
  EXPECT_TRUE(std::isinf(d.psnr_db));
}

TEST(Difference, CountsPixelsBoundsThemAndGivesTheLargestChannelDifference) {
  Pair p;
  p.b[16 * 0 + 3 * 1 + 2] = 103;  // pixel (1, 0), red +3
  p.b[16 * 2 + 3 * 3 + 0] = 90;   // pixel (3, 2), blue -10
  p.b[16 * 2 + 3 * 3 + 1] = 99;   // and green -1
  const bench::Difference d = bench::Compare(p.A(), p.B());
  EXPECT_EQ(d.differing_pixels, 2u);
  EXPECT_DOUBLE_EQ(d.differing_share, 2.0 / 15);
  EXPECT_EQ(d.max_abs_diff, (std::array<int, 3>{10, 1, 3}));
  ASSERT_TRUE(d.bounds.has_value());
  EXPECT_EQ(std::vector<int>({d.bounds->x, d.bounds->y, d.bounds->width, d.bounds->height}),
            std::vector<int>({1, 0, 3, 3}));
  EXPECT_NEAR(d.psnr_db, 10 * std::log10(255.0 * 255.0 * 45 / (9 + 100 + 1)), 1e-9);
}

TEST(Difference, TheMostDifferentSpotIsInTheTileThatDiffersMost) {
  constexpr int kWidth = 100, kHeight = 70, kStride = 300;
  std::vector<std::uint8_t> a(kStride * kHeight, 50), b = a;
  b[kStride * 5 + 3 * 5] = 60;      // one large difference in the first tile
  for (int x = 70; x < 80; ++x) {  // many small ones in the tile at (64, 48)
    b[kStride * 50 + 3 * x] = 53;
  }
  const bench::Point spot = bench::MostDifferentSpot({a.data(), kWidth, kHeight, kStride}, {b.data(), kWidth, kHeight, kStride});
  EXPECT_EQ(spot.x, 64 + 8);
  EXPECT_EQ(spot.y, 48 + 8);
  const bench::Box box = bench::BoxAround(spot, 128, 32, kWidth, kHeight);
  EXPECT_EQ(std::vector<int>({box.x, box.y, box.width, box.height}), std::vector<int>({0, 38, 100, 32}));
}

TEST(Statistics, QuantilesInterpolateBetweenRanks) {
  EXPECT_DOUBLE_EQ(bench::Median({3, 1, 2}), 2);
  EXPECT_DOUBLE_EQ(bench::Median({4, 1, 3, 2}), 2.5);
  EXPECT_DOUBLE_EQ(bench::Quantile({1, 2, 3, 4, 5}, 0.25), 2);
  EXPECT_DOUBLE_EQ(bench::Quantile({10, 20}, 0.75), 17.5);
  EXPECT_TRUE(std::isnan(bench::Median({})));
}

}  // namespace
