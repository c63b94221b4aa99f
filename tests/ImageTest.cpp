// Cimage: the buffer layout, its states, refusals, cloning, and drawing out of it
// with OutPut and Render, checked on pixels.
#include "imaging/Cimage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <utility>

namespace {

void SetPixel(const Cimage& Image, int X, int Y, std::uint8_t B, std::uint8_t G, std::uint8_t R) {
  std::uint8_t* p = Image.Pointer() + Y * Image.Stride() + 3 * X;
  p[0] = B;
  p[1] = G;
  p[2] = R;
}

// Marks every pixel with its coordinates: blue = x, green = y, red = 200.
Cimage CoordinateImage(int Width, int Height) {
  Cimage image;
  EXPECT_TRUE(image.CreateNewImage(Width, Height));
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x)
      SetPixel(image, x, y, static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 200);
  return image;
}

// The coordinates a CoordinateImage pixel carried here, (-1, -1) if untouched.
std::pair<int, int> SourceAt(const Cimage& Image, int X, int Y) {
  const std::uint8_t* p = Image.Pointer() + Y * Image.Stride() + 3 * X;
  if (p[2] != 200) return {-1, -1};
  return {p[0], p[1]};
}

TEST(ImageBuffer, StrideIsThreeBytesAPixelRoundedUpToFour) {
  const int expected[] = {4, 8, 12, 12, 16, 20, 24, 24};
  for (int width = 1; width <= 8; ++width) {
    Cimage image;
    ASSERT_TRUE(image.CreateNewImage(width, 3));
    EXPECT_EQ(image.Stride(), expected[width - 1]) << "width " << width;
    EXPECT_EQ(image.PixelBytes().size(), static_cast<std::size_t>(expected[width - 1] * 3));
    EXPECT_EQ(image.PixelBytes().data(), image.Pointer());
  }
  Cimage single;
  ASSERT_TRUE(single.CreateNewImage(1, 1));
  EXPECT_EQ(single.Stride(), 4);
  EXPECT_EQ(single.PixelBytes().size(), 4u);
}

TEST(ImageBuffer, BytesAreBlueGreenRedTopDownAsTheContextDrawsThem) {
  Cimage source = CoordinateImage(3, 2);
  SetPixel(source, 0, 0, 10, 20, 30);
  SetPixel(source, 0, 1, 40, 50, 60);
  Cimage target;
  ASSERT_TRUE(target.CreateNewImage(3, 2));
  ASSERT_TRUE(source.OutPut(target.hdc()));
  const std::uint8_t* bytes = target.Pointer();
  EXPECT_EQ(bytes[0], 10);  // blue of the top-left pixel
  EXPECT_EQ(bytes[1], 20);
  EXPECT_EQ(bytes[2], 30);
  EXPECT_EQ(bytes[target.Stride()], 40);  // blue of the second row's first pixel
}

TEST(ImageStates, ANewImageIsEmpty) {
  Cimage image;
  EXPECT_EQ(image.Width(), 0);
  EXPECT_EQ(image.Height(), 0);
  EXPECT_EQ(image.Stride(), 0);
  EXPECT_EQ(image.Pointer(), nullptr);
  EXPECT_EQ(image.hdc(), nullptr);
  EXPECT_EQ(image.handle(), nullptr);
  EXPECT_TRUE(image.PixelBytes().empty());
}

TEST(ImageStates, HoldingThenReleasedKeepsOnlyTheStride) {
  Cimage image;
  ASSERT_TRUE(image.CreateNewImage(5, 3));
  EXPECT_EQ(image.Width(), 5);
  EXPECT_EQ(image.Height(), 3);
  EXPECT_NE(image.Pointer(), nullptr);
  EXPECT_NE(image.hdc(), nullptr);
  EXPECT_NE(image.handle(), nullptr);
  image.DisposeResource();
  EXPECT_EQ(image.Width(), 0);
  EXPECT_EQ(image.Height(), 0);
  EXPECT_EQ(image.Pointer(), nullptr);
  EXPECT_EQ(image.hdc(), nullptr);
  EXPECT_EQ(image.handle(), nullptr);
  EXPECT_TRUE(image.PixelBytes().empty());
  EXPECT_EQ(image.Stride(), 16);
  image.DisposeResource();  // a second release does nothing
  EXPECT_EQ(image.hdc(), nullptr);
}

TEST(ImageStates, ABitmapThatCannotBeMadeLeavesOnlyTheContext) {
  Cimage image;
  ASSERT_TRUE(image.CreateNewImage(4, 4));
  // 40000 x 20000 pixels need 2.4 GB: more than a signed 32-bit byte count.
  EXPECT_FALSE(image.CreateNewImage(40000, 20000));
  EXPECT_EQ(image.handle(), nullptr);
  EXPECT_NE(image.hdc(), nullptr);
  EXPECT_EQ(image.Width(), 0);
  EXPECT_EQ(image.Height(), 0);
  EXPECT_EQ(image.Pointer(), nullptr);
  EXPECT_EQ(image.Stride(), 120000);
  image.DisposeResource();
  EXPECT_EQ(image.hdc(), nullptr);
}

TEST(ImageStates, SizesBelowOneAreRefusedWithoutTouchingTheHeldImage) {
  Cimage image = CoordinateImage(6, 4);
  const auto* pointer = image.Pointer();
  const auto hdc = image.hdc();
  const auto handle = image.handle();
  for (auto [w, h] : {std::pair{0, 10}, std::pair{10, -1}, std::pair{-5, -5},
                      std::pair{std::numeric_limits<int>::min(), 1}}) {
    EXPECT_FALSE(image.CreateNewImage(w, h)) << w << " x " << h;
    EXPECT_EQ(image.Width(), 6);
    EXPECT_EQ(image.Height(), 4);
    EXPECT_EQ(image.Stride(), 20);
    EXPECT_EQ(image.Pointer(), pointer);
    EXPECT_EQ(image.hdc(), hdc);
    EXPECT_EQ(image.handle(), handle);
  }
  EXPECT_EQ(SourceAt(image, 5, 3), (std::pair{5, 3})) << "pixels still readable";
}

TEST(ImageStates, ANewSizeReplacesTheOldBufferWithABlankOne) {
  Cimage image = CoordinateImage(4, 4);
  ASSERT_TRUE(image.CreateNewImage(4, 4));
  for (std::uint8_t byte : image.PixelBytes()) ASSERT_EQ(byte, 0);
  ASSERT_TRUE(image.CreateNewImage(7, 2));
  EXPECT_EQ(image.Width(), 7);
  EXPECT_EQ(image.Stride(), 24);
}

TEST(ImageStates, MovingHandsOverTheBufferAndReleasesTheTargetsOwn) {
  Cimage first = CoordinateImage(3, 3);
  const auto* pointer = first.Pointer();
  Cimage second = CoordinateImage(2, 2);
  second = std::move(first);
  EXPECT_EQ(second.Pointer(), pointer);
  EXPECT_EQ(second.Width(), 3);
  EXPECT_EQ(first.handle(), nullptr);  // NOLINT(bugprone-use-after-move): the moved-from state is defined
  EXPECT_EQ(first.Width(), 0);
}

TEST(ImageClone, CopiesEveryByteIncludingPaddingIntoIndependentMemory) {
  Cimage source;
  ASSERT_TRUE(source.CreateNewImage(5, 3));
  auto bytes = source.PixelBytes();
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);

  Cimage copy = source.Clone();
  ASSERT_NE(copy.handle(), nullptr);
  EXPECT_EQ(copy.Width(), 5);
  EXPECT_EQ(copy.Height(), 3);
  EXPECT_EQ(copy.Stride(), 16);
  ASSERT_EQ(copy.PixelBytes().size(), 48u);
  EXPECT_NE(copy.Pointer(), source.Pointer());
  for (std::size_t i = 0; i < 48; ++i) EXPECT_EQ(copy.PixelBytes()[i], bytes[i]) << i;

  copy.PixelBytes()[0] = 0xEE;
  bytes[47] = 0xDD;
  EXPECT_EQ(bytes[0], 1);
  EXPECT_EQ(copy.PixelBytes()[47], static_cast<std::uint8_t>(47 * 7 + 1));
}

TEST(ImageClone, OfAnEmptyImageIsAnotherEmptyImage) {
  Cimage empty;
  Cimage copy = empty.Clone();
  EXPECT_EQ(copy.handle(), nullptr);
  EXPECT_EQ(copy.Pointer(), nullptr);
  EXPECT_EQ(copy.Width(), 0);
}

TEST(ImageOutPut, DefaultsCopyTheWholeImageToTheTopLeft) {
  Cimage source = CoordinateImage(4, 3);
  Cimage target;
  ASSERT_TRUE(target.CreateNewImage(6, 5));
  ASSERT_TRUE(source.OutPut(target.hdc()));
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 6; ++x) {
      const auto expected = (x < 4 && y < 3) ? std::pair{x, y} : std::pair{-1, -1};
      EXPECT_EQ(SourceAt(target, x, y), expected) << x << "," << y;
    }
}

TEST(ImageOutPut, PlacesAPartAtAnOffsetAndPassesOtherValuesThrough) {
  Cimage source = CoordinateImage(4, 4);
  Cimage target;
  ASSERT_TRUE(target.CreateNewImage(5, 5));
  ASSERT_TRUE(source.OutPut(target.hdc(), 2, 1, 2, 0, 1, 2));  // height 0: the image's own
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x) {
      const bool inside = x >= 2 && x < 4 && y >= 1 && y < 5 && y - 1 + 2 < 4;
      const auto expected = inside ? std::pair{x - 2 + 1, y - 1 + 2} : std::pair{-1, -1};
      EXPECT_EQ(SourceAt(target, x, y), expected) << x << "," << y;
    }
  EXPECT_FALSE(source.OutPut(target.hdc(), 0, 0, 0, 0, 0, 0, 0x00EE0086)) << "unsupported rop";
  EXPECT_FALSE(source.OutPut(nullptr));
}

TEST(ImageOutPut, FromAnEmptyImageDrawsNothing) {
  Cimage empty;
  Cimage target = CoordinateImage(2, 2);
  empty.OutPut(target.hdc());
  EXPECT_EQ(SourceAt(target, 0, 0), (std::pair{0, 0}));
  EXPECT_EQ(SourceAt(target, 1, 1), (std::pair{1, 1}));
}

TEST(ImageRender, DrawsOneToOneAtTheGivenCorner) {
  Cimage source = CoordinateImage(3, 2);
  Cimage target;
  ASSERT_TRUE(target.CreateNewImage(16, 24));
  source.Render(target.hdc(), 10, 20);
  EXPECT_EQ(SourceAt(target, 10, 20), (std::pair{0, 0}));
  EXPECT_EQ(SourceAt(target, 12, 21), (std::pair{2, 1}));
  EXPECT_EQ(SourceAt(target, 13, 21), (std::pair{-1, -1}));
  EXPECT_EQ(SourceAt(target, 9, 20), (std::pair{-1, -1}));
  EXPECT_EQ(SourceAt(target, 10, 22), (std::pair{-1, -1}));
  EXPECT_EQ(platform::GetStretchBltMode(target.hdc()), platform::COLORONCOLOR);
}

TEST(ImageRender, StretchesByRepeatingAndDroppingPixels) {
  Cimage source = CoordinateImage(4, 4);
  Cimage target;
  ASSERT_TRUE(target.CreateNewImage(8, 2));
  source.Render(target.hdc(), 0, 0, 8, 2, 0, 0, 4, 4);
  for (int x = 0; x < 8; ++x) EXPECT_EQ(SourceAt(target, x, 0).first, x / 2) << x;
  EXPECT_EQ(SourceAt(target, 0, 0).second, 1);
  EXPECT_EQ(SourceAt(target, 0, 1).second, 3);
}

TEST(ImageRender, ANegativeSourceWidthMirrorsLeftToRight) {
  Cimage source = CoordinateImage(4, 2);
  Cimage target;
  ASSERT_TRUE(target.CreateNewImage(6, 2));
  // The destination extent is negated: the first column lands at x = 4 and the
  // picture runs leftwards to x = 1.
  source.Render(target.hdc(), 4, 0, 4, 2, 0, 0, -4, 0);
  for (int x = 0; x < 6; ++x) {
    const auto expected = (x >= 1 && x <= 4) ? std::pair{4 - x, 0} : std::pair{-1, -1};
    EXPECT_EQ(SourceAt(target, x, 0), expected) << x;
  }
}

TEST(ImageRender, ANegativeSourceHeightMirrorsTopToBottomAtTheImagesOwnSize) {
  Cimage source = CoordinateImage(2, 3);
  Cimage target;
  ASSERT_TRUE(target.CreateNewImage(2, 4));
  source.Render(target.hdc(), 0, 2, 0, 0, 0, 0, 0, -3);
  EXPECT_EQ(SourceAt(target, 1, 2), (std::pair{1, 0}));
  EXPECT_EQ(SourceAt(target, 1, 1), (std::pair{1, 1}));
  EXPECT_EQ(SourceAt(target, 1, 0), (std::pair{1, 2}));
  EXPECT_EQ(SourceAt(target, 1, 3), (std::pair{-1, -1}));
}

TEST(ImageRender, NegativeSourceOriginsStartAtZero) {
  Cimage source = CoordinateImage(50, 50);
  Cimage target;
  ASSERT_TRUE(target.CreateNewImage(30, 40));
  source.Render(target.hdc(), 0, 0, 30, 40, -5, -7, 30, 40);
  EXPECT_EQ(SourceAt(target, 0, 0), (std::pair{0, 0}));
  EXPECT_EQ(SourceAt(target, 29, 39), (std::pair{29, 39}));
}

}  // namespace
