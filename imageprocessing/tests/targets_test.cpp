// Runs the filter on every SIMD level this CPU supports, not only the best
// one the dispatcher would pick, and holds each to the reference: the AVX2,
// SSE4, SSSE3 and portable kernels would otherwise never run on a developer's
// AVX-512 machine.
#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <cstdio>

#include "ImageProcessing.h"
#include "test_support.h"

using namespace iptest;

namespace {

struct Level {
  std::int64_t bit;
  const char* name;
};

double FilteredPsnr(const Picture& src, const std::vector<double>& base, int strength) {
  Picture p = src;
  EXPECT_EQ(DetailEnhancementByBilaterFilter(p.data(), p.width, p.height, p.stride, strength),
            IMAGEPROCESSING_OK);
  return Psnr(p, ReferenceEnhance(src, base, strength));
}

}  // namespace

TEST(Targets, EverySupportedLevelMatchesTheReference) {
  const Level levels[] = {{HWY_AVX3, "AVX-512"}, {HWY_AVX2, "AVX2"}, {HWY_SSE4, "SSE4"},
                          {HWY_SSSE3, "SSSE3"},  {HWY_SCALAR, "scalar"}, {HWY_EMU128, "emu128"}};
  // One picture per path: the grid (astronaut) and the direct window (chelsea crop),
  // with widths that leave vector tails on every level.
  const Picture grid = Crop(LoadPpm("astronaut.ppm"), 3, 0, 509, 512);
  const Picture direct = Crop(LoadPpm("chelsea.ppm"), 0, 0, 203, 141);
  const std::vector<double> gridBase = ReferenceBase(grid);
  const std::vector<double> directBase = ReferenceBase(direct);
  const std::int64_t supported = hwy::SupportedTargets();
  int ran = 0;
  for (const Level& level : levels) {
    if ((supported & level.bit) == 0) continue;
    hwy::SetSupportedTargetsForTest(level.bit);
    if (hwy::SupportedTargets() != level.bit) continue;  // not compiled into this Highway
    ++ran;
    const double g5 = FilteredPsnr(grid, gridBase, 5), g10 = FilteredPsnr(grid, gridBase, 10);
    const double d5 = FilteredPsnr(direct, directBase, 5), d10 = FilteredPsnr(direct, directBase, 10);
    std::printf("[ target   ] %-8s grid %.2f / %.2f dB, direct %.2f / %.2f dB (strength 5 / 10)\n",
                level.name, g5, g10, d5, d10);
    EXPECT_GE(g5, 40.0) << level.name;
    EXPECT_GE(g10, 36.0) << level.name;
    EXPECT_GE(d5, 40.0) << level.name;
    EXPECT_GE(d10, 36.0) << level.name;
  }
  hwy::SetSupportedTargetsForTest(0);
  EXPECT_GE(ran, 1);
}

// AVX-512 slices large pictures through table lookups, the other levels
// through gathers; both read the same interpolated grid, so with FMA on both
// sides the bytes must agree exactly.
TEST(Targets, TableLookupsAgreeWithGathers) {
  const std::int64_t supported = hwy::SupportedTargets();
  if ((supported & HWY_AVX3) == 0 || (supported & HWY_AVX2) == 0) {
    GTEST_SKIP() << "needs a CPU with AVX-512 and AVX2";
  }
  const Picture src = Resample(LoadPpm("astronaut.ppm"), 1283, 1031);
  Picture viaTables = src, viaGathers = src;
  hwy::SetSupportedTargetsForTest(HWY_AVX3);
  ASSERT_EQ(DetailEnhancementByBilaterFilter(viaTables.data(), src.width, src.height, src.stride, 10),
            IMAGEPROCESSING_OK);
  hwy::SetSupportedTargetsForTest(HWY_AVX2);
  ASSERT_EQ(DetailEnhancementByBilaterFilter(viaGathers.data(), src.width, src.height, src.stride, 10),
            IMAGEPROCESSING_OK);
  hwy::SetSupportedTargetsForTest(0);
  EXPECT_TRUE(SameBytes(viaTables, viaGathers));
  EXPECT_FALSE(SameBytes(viaTables, src));
}
