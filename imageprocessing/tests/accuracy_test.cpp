// Holds the fast filter to the plain reference of its definition: PSNR on the
// photographs, on crops of them, on odd small sizes, and on random and smooth
// pictures of fixed seed.
#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <string>

#include "ImageProcessing.h"
#include "test_support.h"

using namespace iptest;

namespace {

Picture Filtered(Picture p, int strength) {
  EXPECT_EQ(DetailEnhancementByBilaterFilter(p.data(), p.width, p.height, p.stride, strength),
            IMAGEPROCESSING_OK);
  return p;
}

struct Measured {
  double psnr5;
  double psnr10;
};

// Reports both strengths and checks them against the bounds; the reference
// base is computed once per picture because it does not depend on strength.
Measured CheckAgainstReference(const Picture& src, const std::string& label, double bound5 = 40.0,
                               double bound10 = 36.0) {
  const std::vector<double> base = ReferenceBase(src);
  Measured m{};
  m.psnr5 = Psnr(Filtered(src, 5), ReferenceEnhance(src, base, 5));
  m.psnr10 = Psnr(Filtered(src, 10), ReferenceEnhance(src, base, 10));
  std::printf("[ psnr     ] %-28s %4dx%-4d  strength 5: %6.2f dB  strength 10: %6.2f dB\n",
              label.c_str(), src.width, src.height, m.psnr5, m.psnr10);
  EXPECT_GE(m.psnr5, bound5) << label << " at strength 5";
  EXPECT_GE(m.psnr10, bound10) << label << " at strength 10";
  return m;
}

// The enhancement must actually do something on a photograph; a filter that
// returned its input would otherwise pass a loose PSNR bound on flat regions.
void ExpectChanged(const Picture& src) {
  const Picture out = Filtered(src, 10);
  EXPECT_LT(Psnr(out, src), 45.0) << "strength 10 barely changed the picture";
}

}  // namespace

TEST(Accuracy, ChelseaFullPicture) {
  const Picture p = LoadPpm("chelsea.ppm");
  ASSERT_EQ(p.width, 451);
  CheckAgainstReference(p, "chelsea");
  ExpectChanged(p);
}

TEST(Accuracy, AstronautFullPicture) {
  const Picture p = LoadPpm("astronaut.ppm");
  ASSERT_EQ(p.width, 512);
  CheckAgainstReference(p, "astronaut");
  ExpectChanged(p);
}

TEST(Accuracy, PhotoCrops256) {
  const Picture a = LoadPpm("astronaut.ppm");
  const Picture c = LoadPpm("chelsea.ppm");
  CheckAgainstReference(Crop(a, 0, 0, 256, 256), "astronaut crop (0,0)");
  CheckAgainstReference(Crop(a, 256, 256, 256, 256), "astronaut crop (256,256)");
  CheckAgainstReference(Crop(a, 128, 64, 256, 256), "astronaut crop (128,64)");
  CheckAgainstReference(Crop(c, 0, 0, 256, 256), "chelsea crop (0,0)");
  CheckAgainstReference(Crop(c, 195, 44, 256, 256), "chelsea crop (195,44)");
}

// Crops large enough for the grid, with widths whose vector tails differ
// (400 = 16*25, 407 and 413 leave 7 and 13 lanes).
TEST(Accuracy, LargeCropsWithVectorTails) {
  const Picture a = LoadPpm("astronaut.ppm");
  CheckAgainstReference(Crop(a, 0, 0, 400, 400), "astronaut crop 400");
  CheckAgainstReference(Crop(a, 105, 50, 407, 400), "astronaut crop 407");
  CheckAgainstReference(Crop(a, 99, 112, 413, 400), "astronaut crop 413");
}

TEST(Accuracy, UpscaledPhotoOnTheGrid) {
  // Twice the size of chelsea: sigma_s 9.4 px, the grid path with all threads.
  const Picture p = Resample(LoadPpm("chelsea.ppm"), 902, 600);
  CheckAgainstReference(p, "chelsea x2");
}

// The sizes users open: sigma_s 16.9 px at 1920x1080 and 46.9 px at 4000x3000,
// where the exact filter costs too much at every pixel, so it is held to the
// reference on a lattice of pixels.
TEST(Accuracy, LargePhotosOnASampleOfPixels) {
  const Picture astronaut = LoadPpm("astronaut.ppm");
  const struct {
    int width, height, step;
  } sizes[] = {{1920, 1080, 16}, {1283, 1031, 16}, {4000, 3000, 64}};
  for (const auto& size : sizes) {
    const Picture src = Resample(astronaut, size.width, size.height);
    const std::vector<double> base = ReferenceBase(src, size.step);
    for (int strength : {5, 10}) {
      const double psnr = Psnr(Subsample(Filtered(src, strength), size.step),
                               Subsample(ReferenceEnhance(src, base, strength), size.step));
      std::printf("[ psnr     ] astronaut %4dx%-4d every %2dth px  strength %2d: %6.2f dB\n",
                  size.width, size.height, size.step, strength, psnr);
      EXPECT_GE(psnr, strength == 5 ? 40.0 : 36.0) << size.width << "x" << size.height;
    }
  }
}

TEST(Accuracy, SmoothAndRandomPictures) {
  CheckAgainstReference(SmoothPicture(400, 420, 7), "smooth 400x420");
  CheckAgainstReference(SmoothPicture(123, 77, 8), "smooth 123x77");
  CheckAgainstReference(RandomPicture(97, 61, 9), "random 97x61");
  CheckAgainstReference(RandomPicture(401, 400, 10), "random 401x400");
}

TEST(Accuracy, SmallOddWidthsAndHeights) {
  const Picture photo = LoadPpm("astronaut.ppm");
  double worst = 200;
  for (int w = 1; w <= 37; ++w) {
    for (int h : {1, 2, 3, 5, 9, 17}) {
      const Picture src = Crop(photo, 180 + w, 200 + h, w, h);
      const std::vector<double> base = ReferenceBase(src);
      const double psnr = Psnr(Filtered(src, 10), ReferenceEnhance(src, base, 10));
      EXPECT_GE(psnr, 36.0) << w << "x" << h;
      worst = std::min(worst, psnr);
      const Picture tall = Crop(photo, 200 + h, 180 + w, h, w);
      const std::vector<double> tallBase = ReferenceBase(tall);
      const double tallPsnr = Psnr(Filtered(tall, 10), ReferenceEnhance(tall, tallBase, 10));
      EXPECT_GE(tallPsnr, 36.0) << h << "x" << w;
      worst = std::min(worst, tallPsnr);
    }
  }
  std::printf("[ psnr     ] small sizes 1..37 x {1,2,3,5,9,17} and transposed, strength 10: worst %.2f dB\n",
              worst);
}
