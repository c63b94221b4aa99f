// The promises of the C entry point other than accuracy: refusals leave the
// picture alone, the strength clamp, bytes outside the pixels untouched, flat
// pictures, degenerate shapes, determinism across runs and thread counts, and
// concurrent calls.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <thread>

#include "ImageProcessing.h"
#include "test_support.h"

using namespace iptest;

namespace {

int Filter(Picture& p, int strength) {
  return DetailEnhancementByBilaterFilter(p.data(), p.width, p.height, p.stride, strength);
}

Picture Photo() { return LoadPpm("astronaut.ppm"); }

// Photo content at a size that takes the grid path with several threads.
Picture LargePhoto() { return Resample(LoadPpm("chelsea.ppm"), 1280, 720); }

}  // namespace

TEST(Refusals, EachReturnsItsCodeAndTouchesNothing) {
  Picture p = Crop(Photo(), 10, 10, 64, 48);
  const Picture before = p;
  unsigned char* d = p.data();
  EXPECT_EQ(DetailEnhancementByBilaterFilter(nullptr, 64, 48, p.stride, 5),
            IMAGEPROCESSING_ERROR_NULL_POINTER);
  EXPECT_EQ(DetailEnhancementByBilaterFilter(d, 0, 48, p.stride, 5), IMAGEPROCESSING_ERROR_BAD_SIZE);
  EXPECT_EQ(DetailEnhancementByBilaterFilter(d, 64, 0, p.stride, 5), IMAGEPROCESSING_ERROR_BAD_SIZE);
  EXPECT_EQ(DetailEnhancementByBilaterFilter(d, -5, 48, p.stride, 5), IMAGEPROCESSING_ERROR_BAD_SIZE);
  EXPECT_EQ(DetailEnhancementByBilaterFilter(d, 64, INT_MIN, p.stride, 5),
            IMAGEPROCESSING_ERROR_BAD_SIZE);
  EXPECT_EQ(DetailEnhancementByBilaterFilter(d, 64, 48, 3 * 64 - 1, 5),
            IMAGEPROCESSING_ERROR_BAD_STRIDE);
  EXPECT_EQ(DetailEnhancementByBilaterFilter(d, 64, 48, 0, 5), IMAGEPROCESSING_ERROR_BAD_STRIDE);
  EXPECT_EQ(DetailEnhancementByBilaterFilter(d, 64, 48, -192, 5), IMAGEPROCESSING_ERROR_BAD_STRIDE);
  // Byte counts past INT_MAX: the library never reads them, so the small
  // buffer is safe to pass.
  EXPECT_EQ(DetailEnhancementByBilaterFilter(d, 1 << 20, 1 << 12, 3 << 20, 5),
            IMAGEPROCESSING_ERROR_TOO_LARGE);
  EXPECT_EQ(DetailEnhancementByBilaterFilter(d, 64, INT_MAX, 192, 5), IMAGEPROCESSING_ERROR_TOO_LARGE);
  EXPECT_EQ(DetailEnhancementByBilaterFilter(d, INT_MAX / 3 + 1, 1, INT_MAX, 5),
            IMAGEPROCESSING_ERROR_TOO_LARGE);
  EXPECT_EQ(DetailEnhancementByBilaterFilter(d, INT_MAX, 1, INT_MAX, 5),
            IMAGEPROCESSING_ERROR_TOO_LARGE);
  // Refusals come before the strength is looked at, so strength 0 is refused too.
  EXPECT_EQ(DetailEnhancementByBilaterFilter(d, 64, 48, 10, 0), IMAGEPROCESSING_ERROR_BAD_STRIDE);
  EXPECT_TRUE(SameBytes(p, before));
}

TEST(Refusals, LargestAcceptedSizeIsExactlyIntMax) {
  // Stride * Height == INT_MAX is addressable with int arithmetic, one more is not.
  unsigned char byte = 0;
  EXPECT_EQ(DetailEnhancementByBilaterFilter(&byte, 1, 2, INT_MAX / 2 + 1, 5),
            IMAGEPROCESSING_ERROR_TOO_LARGE);
}

TEST(Strength, ZeroAndNegativeLeaveEveryByte) {
  Picture p = Crop(Photo(), 3, 5, 101, 67);
  p.stride = DefaultStride(101) + 9;
  p = MakePicture(101, 67, p.stride, 0xA5);
  const Picture photo = Photo();
  for (int y = 0; y < 67; ++y) std::memcpy(p.pixel(0, y), photo.pixel(3, 5 + y), 3 * 101);
  const Picture before = p;
  for (int s : {0, -1, -3, INT_MIN}) {
    EXPECT_EQ(Filter(p, s), IMAGEPROCESSING_OK);
    EXPECT_TRUE(SameBytes(p, before)) << "strength " << s;
  }
}

TEST(Strength, AboveTenActsAsTen) {
  const Picture src = Crop(Photo(), 40, 40, 300, 200);
  for (int s : {11, 15, INT_MAX}) {
    Picture ten = src, more = src;
    ASSERT_EQ(Filter(ten, 10), IMAGEPROCESSING_OK);
    ASSERT_EQ(Filter(more, s), IMAGEPROCESSING_OK);
    EXPECT_TRUE(SameBytes(ten, more)) << "strength " << s;
  }
  Picture five = src, ten = src;
  Filter(five, 5);
  Filter(ten, 10);
  EXPECT_FALSE(SameBytes(five, ten)) << "strength has no effect";
}

// Guard bytes before and after the buffer and in every row's padding must
// survive, on both paths (small picture: direct window; large: grid).
TEST(Layout, PaddingAndSurroundingBytesUntouched) {
  const Picture photo = LargePhoto();
  for (const auto& [w, h, extra] : {std::tuple{37, 23, 13}, std::tuple{333, 219, 5},
                                    std::tuple{1000, 700, 31}, std::tuple{1, 9, 3},
                                    std::tuple{12, 700, 7}}) {
    constexpr int kGuard = 256;
    constexpr std::uint8_t kMark = 0x5C;
    const int stride = 3 * w + extra;
    std::vector<std::uint8_t> block(kGuard + static_cast<std::size_t>(stride) * h + kGuard, kMark);
    std::uint8_t* pixels = block.data() + kGuard;
    for (int y = 0; y < h; ++y) std::memcpy(pixels + static_cast<std::size_t>(y) * stride, photo.pixel(0, y), 3 * w);
    const std::vector<std::uint8_t> before = block;
    ASSERT_EQ(DetailEnhancementByBilaterFilter(pixels, w, h, stride, 10), IMAGEPROCESSING_OK);
    for (std::size_t i = 0; i < kGuard; ++i) {
      ASSERT_EQ(block[i], kMark) << "byte " << kGuard - i << " before the buffer, " << w << "x" << h;
      ASSERT_EQ(block[block.size() - 1 - i], kMark) << "byte after the buffer, " << w << "x" << h;
    }
    bool changed = false;
    for (int y = 0; y < h; ++y) {
      const std::uint8_t* row = pixels + static_cast<std::size_t>(y) * stride;
      for (int i = 3 * w; i < stride; ++i) ASSERT_EQ(row[i], kMark) << "padding of row " << y;
      changed |= std::memcmp(row, before.data() + kGuard + static_cast<std::size_t>(y) * stride, 3 * w) != 0;
    }
    EXPECT_TRUE(changed || h * w < 16) << w << "x" << h << " was not filtered at all";
  }
}

TEST(Content, ConstantPicturesStayExactlyTheSame) {
  for (const auto& [w, h] : {std::pair{1, 1}, std::pair{17, 5}, std::pair{640, 480}, std::pair{1920, 1080}}) {
    for (std::uint8_t value : {std::uint8_t{0}, std::uint8_t{1}, std::uint8_t{128}, std::uint8_t{254},
                               std::uint8_t{255}}) {
      Picture p = MakePicture(w, h, 0, value);
      const Picture before = p;
      ASSERT_EQ(Filter(p, 10), IMAGEPROCESSING_OK);
      EXPECT_TRUE(SameBytes(p, before)) << w << "x" << h << " of " << int(value);
    }
  }
}

TEST(Content, FlatColourStaysFlat) {
  // Not grey: the three channels differ, luminance is still constant.
  Picture p = MakePicture(800, 500);
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      p.pixel(x, y)[0] = 30;
      p.pixel(x, y)[1] = 140;
      p.pixel(x, y)[2] = 220;
    }
  const Picture before = p;
  ASSERT_EQ(Filter(p, 7), IMAGEPROCESSING_OK);
  EXPECT_TRUE(SameBytes(p, before));
}

TEST(Content, OnePixelAndOnePixelWideShapes) {
  const Picture photo = Photo();
  for (const auto& [w, h] : {std::pair{1, 1}, std::pair{1, 500}, std::pair{500, 1}, std::pair{2, 2},
                             std::pair{1, 2}, std::pair{3, 1}}) {
    const Picture src = Crop(photo, 5, 5, w, h);
    const std::vector<double> base = ReferenceBase(src);
    for (int s : {1, 5, 10}) {
      Picture p = src;
      ASSERT_EQ(Filter(p, s), IMAGEPROCESSING_OK) << w << "x" << h;
      const Picture ref = ReferenceEnhance(src, base, s);
      // Within one level of the definition everywhere, not just on average.
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < 3 * w; ++x)
          ASSERT_LE(std::abs(int(p.pixel(0, y)[x]) - int(ref.pixel(0, y)[x])), 1)
              << w << "x" << h << " strength " << s << " at byte " << x << " row " << y;
    }
  }
  // A lone pixel has nothing to contrast with: its base is itself.
  Picture one = Crop(photo, 100, 100, 1, 1);
  const Picture before = one;
  Filter(one, 10);
  EXPECT_TRUE(SameBytes(one, before));
}

TEST(Determinism, RepeatedRunsGiveTheSameBytes) {
  for (const Picture& src : {LargePhoto(), LoadPpm("chelsea.ppm")}) {
    Picture first = src;
    ASSERT_EQ(Filter(first, 6), IMAGEPROCESSING_OK);
    for (int i = 0; i < 3; ++i) {
      Picture again = src;
      Filter(again, 6);
      EXPECT_TRUE(SameBytes(first, again)) << "run " << i;
    }
  }
}

TEST(Determinism, ThreadCountDoesNotChangeTheResult) {
  const int saved = omp_get_max_threads();
  // 6000x128 and 100x2000 are cut into bands (see the memory tests); 12x3000
  // into chunks of many strips of few pixels; 10000x10 into columns.
  for (const Picture& src : {LargePhoto(), LoadPpm("chelsea.ppm"), Photo(), Resample(Photo(), 1001, 777),
                             Resample(Photo(), 6000, 128), Resample(Photo(), 100, 2000),
                             Resample(Photo(), 12, 3000), Resample(Photo(), 10000, 10)}) {
    omp_set_num_threads(1);
    Picture one = src;
    ASSERT_EQ(Filter(one, 8), IMAGEPROCESSING_OK);
    EXPECT_FALSE(SameBytes(one, src));
    for (int threads : {2, 3, 4}) {
      omp_set_num_threads(threads);
      Picture many = src;
      ASSERT_EQ(Filter(many, 8), IMAGEPROCESSING_OK);
      EXPECT_TRUE(SameBytes(one, many)) << threads << " threads, " << src.width << "x" << src.height;
    }
  }
  omp_set_num_threads(saved);
}

TEST(Concurrency, TwoThreadsOnDifferentBuffersMatchSequentialCalls) {
  const Picture a = LargePhoto();
  const Picture b = LoadPpm("chelsea.ppm");
  Picture seqA = a, seqB = b;
  ASSERT_EQ(Filter(seqA, 9), IMAGEPROCESSING_OK);
  ASSERT_EQ(Filter(seqB, 4), IMAGEPROCESSING_OK);
  for (int round = 0; round < 3; ++round) {
    Picture parA = a, parB = b;
    int ra = -100, rb = -100;
    std::thread ta([&] {
      for (int i = 0; i < 2; ++i) {
        parA = a;
        ra = Filter(parA, 9);
      }
    });
    std::thread tb([&] {
      for (int i = 0; i < 3; ++i) {
        parB = b;
        rb = Filter(parB, 4);
      }
    });
    ta.join();
    tb.join();
    EXPECT_EQ(ra, IMAGEPROCESSING_OK);
    EXPECT_EQ(rb, IMAGEPROCESSING_OK);
    EXPECT_TRUE(SameBytes(parA, seqA));
    EXPECT_TRUE(SameBytes(parB, seqB));
  }
}
