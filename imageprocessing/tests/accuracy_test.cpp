// Holds the fast filter to the plain reference of its definition: PSNR on the
// photographs, on crops of them, on odd small sizes, and on random and smooth
// pictures of fixed seed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ImageProcessing.h"
#include "grid_oracle.h"
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
Measured CheckAgainstReference(const Picture& src, const std::string& label, double bound5 = 45.0,
                               double bound10 = 40.0) {
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

// The filter against the plain grid it computes, on a picture of every way
// the run of a call cuts its work: the bytes may differ only where the
// float arithmetic rounds the detail the other way, by one level, at a few
// pixels (seen: at most 0.006 % of the bytes). A fault in a piece of the
// schedule (a cut between chunks, a segment, the transpose) moves whole
// levels; an overlap one cell short of the blur's reach, 0.013 to 0.026 %.
TEST(GridOracle, EveryWayThroughTheScheduleGivesThePlainGrid) {
  const Picture chelsea = LoadPpm("chelsea.ppm");
  const Picture astronaut = LoadPpm("astronaut.ppm");
  const struct {
    Picture picture;
    const char* way;
  } cases[] = {
      {chelsea, "one band, chunks of strips"},
      {Resample(astronaut, 902, 600), "slice lookups (spacing 9.4 px)"},
      {Resample(chelsea, 2000, 200), "two bands across"},
      {Resample(Crop(astronaut, 200, 0, 100, 512), 100, 2500), "two bands down, splat into the rows"},
      {Resample(Crop(astronaut, 0, 250, 512, 10), 10000, 10), "bands cut into chunks across"},
      {Resample(Crop(astronaut, 250, 0, 12, 512), 12, 3000), "transposed, chunks across"},
      {Resample(Crop(astronaut, 0, 260, 512, 1), 1100, 1), "a single row"},
  };
  for (const auto& c : cases) {
    const Picture& src = c.picture;
    const Picture out = Filtered(src, 10);
    const Picture want = grid::Enhance(src, 10);
    int worst = 0;
    long differ = 0;
    for (int y = 0; y < src.height; ++y)
      for (int x = 0; x < 3 * src.width; ++x) {
        const int d = std::abs(out.pixel(0, y)[x] - want.pixel(0, y)[x]);
        worst = std::max(worst, d);
        differ += d != 0;
      }
    const double share = differ / (3.0 * src.width * src.height);
    std::printf("[ oracle   ] %-38s %5dx%-5d %ld bytes differ (%.4f %%), by %d at most\n", c.way,
                src.width, src.height, differ, 100 * share, worst);
    EXPECT_LE(worst, 1) << c.way;
    EXPECT_LT(share, 1e-4) << c.way;
  }
}

// Every band of eight rows, and of eight columns, holds the bound on its own,
// not only the picture as a whole: the filter works on the picture in pieces
// of rows, or of columns for a strip a few rows high, and a fault where two
// pieces meet spoils a few rows or columns that an average over the picture
// hides (a lost grid row there still measures 47 dB over the whole picture).
TEST(Accuracy, NoBandOfRowsOrColumnsFallsBehind) {
  // Bands of at least 640 pixels, and a lower bound for the strip: on a
  // picture 10 rows high the grid's own error reaches 39.6 dB in a piece of
  // 640 pixels, while columns left unfiltered where two pieces meet give 28 dB.
  constexpr int kBand = 8;
  constexpr int kBandPixels = 640;
  const Picture strip = Resample(Crop(LoadPpm("astronaut.ppm"), 0, 250, 512, 10), 10000, 10);
  for (const Picture& src : {Resample(LoadPpm("chelsea.ppm"), 640, 400),
                             Resample(LoadPpm("astronaut.ppm"), 300, 700), strip}) {
    const Picture out = Filtered(src, 10);
    const Picture ref = ReferenceEnhance(src, ReferenceBase(src), 10);
    for (const bool rows : {true, false}) {
      const int length = rows ? src.height : src.width;
      const int band = std::max(kBand, kBandPixels / (rows ? src.width : src.height));
      double worst = 200;
      int worstAt = 0;
      for (int at = 0; at + band <= length; at += band) {
        const double psnr = rows ? Psnr(Crop(out, 0, at, src.width, band), Crop(ref, 0, at, src.width, band))
                                 : Psnr(Crop(out, at, 0, band, src.height), Crop(ref, at, 0, band, src.height));
        if (psnr < worst) {
          worst = psnr;
          worstAt = at;
        }
      }
      const char* what = rows ? "rows" : "columns";
      std::printf("[ psnr     ] %5dx%-5d worst band of %d %s, strength 10: %6.2f dB at %d\n", src.width,
                  src.height, band, what, worst, worstAt);
      EXPECT_GE(worst, src.height < 16 ? 35.0 : 40.0) << src.width << "x" << src.height << " " << what << " " << worstAt << " on";
    }
  }
}

// Filters `src` and holds it to the reference at every step-th pixel in x
// and y, which keeps the reference affordable at the large sigma_s of big
// pictures (46.9 px at 4000x3000).
void CheckOnLattice(const Picture& src, int step, const std::string& label) {
  const std::vector<double> base = ReferenceBase(src, step);
  for (int strength : {5, 10}) {
    const double psnr = Psnr(Subsample(Filtered(src, strength), step),
                             Subsample(ReferenceEnhance(src, base, strength), step));
    std::printf("[ psnr     ] %-24s %5dx%-5d every %2dth px  strength %2d: %6.2f dB\n", label.c_str(),
                src.width, src.height, step, strength, psnr);
    EXPECT_GE(psnr, strength == 5 ? 45.0 : 40.0) << label << " " << src.width << "x" << src.height;
  }
}

TEST(Accuracy, LargePhotosOnASampleOfPixels) {
  const Picture astronaut = LoadPpm("astronaut.ppm");
  CheckOnLattice(Resample(astronaut, 1920, 1080), 16, "astronaut");
  CheckOnLattice(Resample(astronaut, 1283, 1031), 16, "astronaut");
  CheckOnLattice(Resample(astronaut, 4000, 3000), 64, "astronaut");
}

// Panoramas and tall pictures, some of them so flat that their grid is cut
// into bands (6000x128, 100x2000), and strips of photo content.
TEST(Accuracy, PanoramasAndStrips) {
  const Picture chelsea = LoadPpm("chelsea.ppm");
  const Picture astronaut = LoadPpm("astronaut.ppm");
  CheckOnLattice(Resample(chelsea, 6000, 370), 8, "panorama");
  CheckOnLattice(Resample(Crop(astronaut, 100, 0, 300, 512), 370, 6000), 8, "tall panorama");
  CheckOnLattice(Resample(chelsea, 2000, 200), 4, "panorama");
  CheckOnLattice(Resample(chelsea, 6000, 128), 4, "banded panorama");
  CheckOnLattice(Resample(Crop(astronaut, 200, 0, 100, 512), 100, 2000), 2, "banded tall");
  CheckOnLattice(Resample(Crop(astronaut, 0, 250, 512, 10), 10000, 10), 1, "strip");
  CheckOnLattice(Resample(Crop(astronaut, 250, 0, 10, 512), 10, 10000), 1, "strip");
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
      EXPECT_GE(psnr, 40.0) << w << "x" << h;
      worst = std::min(worst, psnr);
      const Picture tall = Crop(photo, 200 + h, 180 + w, h, w);
      const std::vector<double> tallBase = ReferenceBase(tall);
      const double tallPsnr = Psnr(Filtered(tall, 10), ReferenceEnhance(tall, tallBase, 10));
      EXPECT_GE(tallPsnr, 40.0) << h << "x" << w;
      worst = std::min(worst, tallPsnr);
    }
  }
  std::printf("[ psnr     ] small sizes 1..37 x {1,2,3,5,9,17} and transposed, strength 10: worst %.2f dB\n",
              worst);
}

// The smallest pictures the grid takes, just past the exact window's limit,
// among them single rows and columns.
TEST(Accuracy, SmallestPicturesOnTheGrid) {
  const Picture photo = LoadPpm("astronaut.ppm");
  CheckAgainstReference(Crop(photo, 200, 180, 33, 32), "crop 33x32");
  CheckAgainstReference(Crop(photo, 150, 220, 64, 17), "crop 64x17");
  CheckAgainstReference(Crop(photo, 220, 150, 17, 64), "crop 17x64");
  CheckAgainstReference(Resample(Crop(photo, 0, 260, 512, 1), 1100, 1), "row 1100x1");
  CheckAgainstReference(Resample(Crop(photo, 260, 0, 1, 512), 1, 1100), "column 1x1100");
}
