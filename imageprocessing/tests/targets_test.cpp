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

constexpr Level kLevels[] = {{HWY_AVX3, "AVX-512"}, {HWY_AVX2, "AVX2"}, {HWY_SSE4, "SSE4"},
                             {HWY_SSSE3, "SSSE3"},  {HWY_SCALAR, "scalar"}, {HWY_EMU128, "emu128"}};

double FilteredPsnr(const Picture& src, const std::vector<double>& base, int strength) {
  Picture p = src;
  EXPECT_EQ(DetailEnhancementByBilaterFilter(p.data(), p.width, p.height, p.stride, strength),
            IMAGEPROCESSING_OK);
  return Psnr(p, ReferenceEnhance(src, base, strength));
}

}  // namespace

TEST(Targets, EverySupportedLevelMatchesTheReference) {
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
  for (const Level& level : kLevels) {
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

// Every level must write the same bytes as the best one: the luma is exact,
// the splat adds in one fixed order, and no level fuses a multiply and an
// add (SSE4 and below have no FMA). A 32-bit Windows build, which compiles
// only SSE4 and below, relies on this. Pictures for each way through the
// filter: table lookups (AVX2 from 8 px, AVX-512 from 5 px), the loads below
// them, strips splatted by columns (from 5.5 px), the splat straight into the
// grid rows (under 2.5 px), bands, a strip cut into chunks across, a narrow
// tall picture run through its transpose, and the exact window; each at a
// weak, a middle and the strongest strength, whose gains round differently.
TEST(Targets, EverySupportedLevelWritesTheSameBytes) {
  const Picture astronaut = LoadPpm("astronaut.ppm");
  const Picture chelsea = LoadPpm("chelsea.ppm");
  const Picture pictures[] = {Resample(astronaut, 1283, 1031), Resample(astronaut, 400, 352),
                              Resample(chelsea, 300, 250),     Crop(chelsea, 0, 0, 203, 141),
                              Resample(chelsea, 2000, 128),    Resample(Crop(astronaut, 0, 250, 512, 10), 3000, 10),
                              Resample(chelsea, 12, 1500),     Crop(astronaut, 300, 200, 37, 23)};
  const std::int64_t supported = hwy::SupportedTargets();
  int levels = 0;
  for (const Level& level : kLevels) {
    hwy::SetSupportedTargetsForTest(level.bit);
    levels += (supported & level.bit) != 0 && hwy::SupportedTargets() == level.bit;
  }
  hwy::SetSupportedTargetsForTest(0);
  // The best level and at least one below it, or nothing is compared.
  ASSERT_GE(levels, 2);
  for (const Picture& src : pictures) {
    for (const int strength : {1, 5, 10}) {
      Picture best = src;
      ASSERT_EQ(DetailEnhancementByBilaterFilter(best.data(), src.width, src.height, src.stride, strength),
                IMAGEPROCESSING_OK);
      EXPECT_FALSE(SameBytes(best, src));
      for (const Level& level : kLevels) {
        if ((supported & level.bit) == 0) continue;
        hwy::SetSupportedTargetsForTest(level.bit);
        if (hwy::SupportedTargets() != level.bit) continue;  // not compiled into this Highway
        Picture out = src;
        ASSERT_EQ(DetailEnhancementByBilaterFilter(out.data(), src.width, src.height, src.stride, strength),
                  IMAGEPROCESSING_OK);
        long differ = 0;
        for (int y = 0; y < src.height; ++y)
          for (int x = 0; x < 3 * src.width; ++x) differ += out.pixel(0, y)[x] != best.pixel(0, y)[x];
        EXPECT_EQ(differ, 0) << level.name << " " << src.width << "x" << src.height << " strength "
                             << strength;
      }
      hwy::SetSupportedTargetsForTest(0);
    }
  }
}
