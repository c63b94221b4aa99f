// Runs the filter on every SIMD level this CPU supports, not only the best
// one the dispatcher would pick, and holds each to the reference: the AVX2,
// SSE4, SSSE3 and portable kernels would otherwise never run on a developer's
// AVX-512 machine.
#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <cstdio>
#include <iterator>
#include <vector>

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
  // One picture per way through the filter, with widths that leave vector
  // tails on every level: the grid at a spacing of 8 px (AVX2 looks its
  // corners up in registers, AVX-512 gathers), the grid at 3.2 px (both
  // gather), and the exact window of a tiny picture.
  const Picture astronaut = LoadPpm("astronaut.ppm");
  const Picture pictures[] = {Crop(astronaut, 3, 0, 509, 512), Crop(LoadPpm("chelsea.ppm"), 0, 0, 203, 141),
                              Crop(astronaut, 300, 200, 37, 23)};
  std::vector<std::vector<double>> bases;
  for (const Picture& p : pictures) bases.push_back(ReferenceBase(p));
  const std::int64_t supported = hwy::SupportedTargets();
  int ran = 0;
  for (const Level& level : levels) {
    if ((supported & level.bit) == 0) continue;
    hwy::SetSupportedTargetsForTest(level.bit);
    if (hwy::SupportedTargets() != level.bit) continue;  // not compiled into this Highway
    ++ran;
    for (std::size_t i = 0; i < std::size(pictures); ++i) {
      const double p5 = FilteredPsnr(pictures[i], bases[i], 5);
      const double p10 = FilteredPsnr(pictures[i], bases[i], 10);
      std::printf("[ target   ] %-8s %4dx%-4d %.2f / %.2f dB (strength 5 / 10)\n", level.name,
                  pictures[i].width, pictures[i].height, p5, p10);
      EXPECT_GE(p5, 45.0) << level.name << " picture " << i;
      EXPECT_GE(p10, 40.0) << level.name << " picture " << i;
    }
  }
  hwy::SetSupportedTargetsForTest(0);
  EXPECT_GE(ran, 1);
}

// AVX-512 and AVX2 look the grid up in tables from different spacings on
// (5 px and 8 px) and load the interpolated row below them; every way reads
// the same interpolated grid with FMA, so the bytes must agree exactly.
TEST(Targets, AvxLevelsAgreeByteForByte) {
  const std::int64_t supported = hwy::SupportedTargets();
  if ((supported & HWY_AVX3) == 0 || (supported & HWY_AVX2) == 0) {
    GTEST_SKIP() << "needs a CPU with AVX-512 and AVX2";
  }
  const Picture astronaut = LoadPpm("astronaut.ppm");
  for (const Picture& src : {Resample(astronaut, 1283, 1031), Resample(astronaut, 700, 600),
                             Resample(astronaut, 400, 352), Resample(astronaut, 300, 250)}) {
    Picture avx512 = src, avx2 = src;
    hwy::SetSupportedTargetsForTest(HWY_AVX3);
    ASSERT_EQ(DetailEnhancementByBilaterFilter(avx512.data(), src.width, src.height, src.stride, 10),
              IMAGEPROCESSING_OK);
    hwy::SetSupportedTargetsForTest(HWY_AVX2);
    ASSERT_EQ(DetailEnhancementByBilaterFilter(avx2.data(), src.width, src.height, src.stride, 10),
              IMAGEPROCESSING_OK);
    hwy::SetSupportedTargetsForTest(0);
    EXPECT_TRUE(SameBytes(avx512, avx2)) << src.width << "x" << src.height;
    EXPECT_FALSE(SameBytes(avx512, src));
  }
}
