// Counts the heap the filter asks for during one call and checks it against
// the picture's own size plus 4 MiB; also makes allocations fail to see the
// call refuse cleanly. Lives in its own executable because it replaces
// operator new (heap_counter.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "ImageProcessing.h"
#include "heap_counter.h"
#include "test_support.h"

namespace {

struct Usage {
  int result;
  long long peak;
  int calls;
};

Usage Measure(iptest::Picture& p, int strength, bool fail) {
  iptest::heap::Start(fail);
  const int result = DetailEnhancementByBilaterFilter(p.data(), p.width, p.height, p.stride, strength);
  const iptest::heap::Usage u = iptest::heap::Stop();
  return {result, u.peak, u.calls};
}

}  // namespace

TEST(Memory, PeakHeapStaysWithinThePictureSizePlusFourMiB) {
  const iptest::Picture photo = iptest::LoadPpm("chelsea.ppm");
  struct Shape {
    int w, h, extraStride;
  };
  for (const Shape s : {Shape{1, 1, 0}, Shape{2, 1, 0}, Shape{7, 3, 0}, Shape{64, 48, 0},
                        Shape{451, 300, 0}, Shape{380, 380, 0}, Shape{400, 400, 0},
                        Shape{512, 512, 0}, Shape{640, 480, 0}, Shape{2000, 379, 0},
                        Shape{5000, 200, 0}, Shape{1920, 1080, 0}, Shape{1920, 1080, 64},
                        Shape{4000, 3000, 0}, Shape{6000, 370, 0}, Shape{370, 6000, 0},
                        Shape{2000, 200, 0}, Shape{10000, 10, 0}, Shape{10, 10000, 0},
                        Shape{6000, 128, 0}, Shape{128, 6000, 0}, Shape{100, 2000, 0},
                        Shape{20000, 64, 0}, Shape{12, 40000, 0}}) {
    iptest::Picture p = iptest::Resample(photo, s.w, s.h);
    if (s.extraStride != 0) {
      iptest::Picture wide = iptest::MakePicture(s.w, s.h, iptest::DefaultStride(s.w) + s.extraStride);
      for (int y = 0; y < s.h; ++y) std::copy_n(p.pixel(0, y), 3 * s.w, wide.pixel(0, y));
      p = wide;
    }
    const long long picture = static_cast<long long>(p.stride) * p.height;
    const long long limit = picture + (4LL << 20);
    const Usage u = Measure(p, 5, false);
    ASSERT_EQ(u.result, IMAGEPROCESSING_OK);
    std::printf("[ memory   ] %5dx%-5d picture %10lld bytes, peak working memory %9lld bytes (%5.1f %%) in %d blocks\n",
                s.w, s.h, picture, u.peak, 100.0 * u.peak / picture, u.calls);
    EXPECT_LE(u.peak, limit) << s.w << "x" << s.h;
    EXPECT_GE(u.calls, 1) << "no allocation seen: the counter does not reach the library";
  }
}

TEST(Memory, FailedAllocationIsRefusedWithoutTouchingThePicture) {
  const iptest::Picture photo = iptest::LoadPpm("astronaut.ppm");
  for (const iptest::Picture& src : {photo, iptest::Crop(photo, 0, 0, 100, 80),
                                     iptest::Crop(photo, 0, 0, 12, 500),
                                     iptest::Resample(photo, 1280, 720)}) {
    iptest::Picture p = src;
    const Usage u = Measure(p, 7, true);
    EXPECT_EQ(u.result, IMAGEPROCESSING_ERROR_OUT_OF_MEMORY) << src.width << "x" << src.height;
    EXPECT_TRUE(iptest::SameBytes(p, src));
    // And the next call, with memory available again, works.
    EXPECT_EQ(Measure(p, 7, false).result, IMAGEPROCESSING_OK);
    EXPECT_FALSE(iptest::SameBytes(p, src));
  }
}
