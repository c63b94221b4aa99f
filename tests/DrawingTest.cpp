// The drawing layer: bitmap creation limits, selection rules, and the pixels that
// BitBlt and StretchBlt produce, mirroring and clipping included.
#include "platform/Drawing.h"

#include "TestSurfaces.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

using platform::Hbitmap;
using platform::Hdc;

// A surface whose pixels can be given and read back as coordinates.
class Surface : public morvane_test::MemorySurface {
 public:
  using MemorySurface::MemorySurface;
  Hdc dc() const { return Dc(); }
  // Gives every pixel a distinct value: blue = x, green = y, red = 7.
  void FillCoordinates() {
    for (int y = 0; y < Height(); ++y)
      for (int x = 0; x < Width(); ++x) Set(x, y, static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 7);
  }
  void Set(int X, int Y, std::uint8_t B, std::uint8_t G, std::uint8_t R) {
    Pixel(X, Y)[0] = B;
    Pixel(X, Y)[1] = G;
    Pixel(X, Y)[2] = R;
  }
  // (x, y) of the source pixel that FillCoordinates put here, or (-1, -1) for
  // a pixel still at its initial zero.
  std::pair<int, int> Source(int X, int Y) const {
    const std::uint8_t* p = Pixel(X, Y);
    if (p[2] != 7) return {-1, -1};
    return {p[0], p[1]};
  }
};

platform::BitmapInfoHeader Header(int Width, int Height) {
  platform::BitmapInfoHeader header;
  header.Width = Width;
  header.Height = Height;
  return header;
}

TEST(DibSection, IsZeroFilledTopDownMemoryOfTheStride) {
  Hdc dc = platform::CreateCompatibleDC(platform::GetDC());
  std::uint8_t* bits = nullptr;
  Hbitmap bitmap = platform::CreateDIBSection(dc, Header(5, -3), platform::DIB_RGB_COLORS, &bits);
  ASSERT_NE(bitmap, nullptr);
  ASSERT_NE(bits, nullptr);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(bits) % 4, 0u);
  for (int i = 0; i < 16 * 3; ++i) EXPECT_EQ(bits[i], 0) << i;
  EXPECT_TRUE(platform::DeleteObject(bitmap));
  EXPECT_TRUE(platform::DeleteDC(dc));
}

TEST(DibSection, RefusesWhatItCannotMakeWithoutThrowing) {
  Hdc dc = platform::CreateCompatibleDC(platform::GetDC());
  std::uint8_t* bits = reinterpret_cast<std::uint8_t*>(1);
  // Stride x Height beyond the signed 32-bit range.
  EXPECT_EQ(platform::CreateDIBSection(dc, Header(40000, -20000), platform::DIB_RGB_COLORS, &bits), nullptr);
  EXPECT_EQ(bits, nullptr);
  // A stride alone beyond it.
  EXPECT_EQ(platform::CreateDIBSection(dc, Header(std::numeric_limits<int>::max(), -1), platform::DIB_RGB_COLORS, &bits), nullptr);
  // Bottom-up, empty, and other depths are not what this layer makes.
  EXPECT_EQ(platform::CreateDIBSection(dc, Header(4, 4), platform::DIB_RGB_COLORS, &bits), nullptr);
  EXPECT_EQ(platform::CreateDIBSection(dc, Header(0, -4), platform::DIB_RGB_COLORS, &bits), nullptr);
  auto depth32 = Header(4, -4);
  depth32.BitCount = 32;
  EXPECT_EQ(platform::CreateDIBSection(dc, depth32, platform::DIB_RGB_COLORS, &bits), nullptr);
  EXPECT_EQ(platform::CreateDIBSection(dc, Header(4, std::numeric_limits<int>::min()), platform::DIB_RGB_COLORS, &bits), nullptr);
  platform::DeleteDC(dc);
}

TEST(DibSection, LargestSizeThatFitsIsMadeOrRefusedButNeverCrashes) {
  // 2^31 - 4 bytes: fits the signed 32-bit count; memory may or may not be had.
  Hdc dc = platform::CreateCompatibleDC(platform::GetDC());
  std::uint8_t* bits = nullptr;
  Hbitmap bitmap = platform::CreateDIBSection(dc, Header(4, -(std::numeric_limits<int>::max() / 12)),
                                              platform::DIB_RGB_COLORS, &bits);
  EXPECT_EQ(bitmap == nullptr, bits == nullptr);
  if (bitmap != nullptr) {
    EXPECT_TRUE(platform::DeleteObject(bitmap));
  }
  platform::DeleteDC(dc);
}

TEST(Selection, ReturnsThePreviousObjectAndGuardsSelectedBitmaps) {
  Hdc first = platform::CreateCompatibleDC(platform::GetDC());
  Hdc second = platform::CreateCompatibleDC(platform::GetDC());
  std::uint8_t* bits = nullptr;
  Hbitmap bitmap = platform::CreateDIBSection(first, Header(2, -2), platform::DIB_RGB_COLORS, &bits);
  Hbitmap stock = platform::SelectObject(first, bitmap);
  ASSERT_NE(stock, nullptr);
  EXPECT_FALSE(platform::DeleteObject(stock)) << "the stock bitmap is never deleted";
  EXPECT_EQ(platform::SelectObject(second, bitmap), nullptr) << "one bitmap, one context";
  EXPECT_FALSE(platform::DeleteObject(bitmap)) << "a selected bitmap cannot be deleted";
  EXPECT_EQ(platform::SelectObject(first, stock), bitmap);
  EXPECT_TRUE(platform::DeleteObject(bitmap));
  EXPECT_TRUE(platform::DeleteDC(first));
  EXPECT_TRUE(platform::DeleteDC(second));
  EXPECT_FALSE(platform::DeleteDC(platform::GetDC())) << "the screen's context is not ours";
}

TEST(BitBlt, CopiesTheBlockOneToOne) {
  Surface src(8, 6), dest(10, 10);
  src.FillCoordinates();
  ASSERT_TRUE(platform::BitBlt(dest.dc(), 1, 2, 3, 2, src.dc(), 4, 3, platform::SRCCOPY));
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) {
      const bool inside = x >= 1 && x < 4 && y >= 2 && y < 4;
      const auto expected = inside ? std::pair{x - 1 + 4, y - 2 + 3} : std::pair{-1, -1};
      EXPECT_EQ(dest.Source(x, y), expected) << x << "," << y;
    }
}

TEST(BitBlt, ClipsToBothSurfacesAndRefusesOtherRops) {
  Surface src(4, 4), dest(5, 5);
  src.FillCoordinates();
  // Destination partly off the left/top, source partly off its right/bottom.
  ASSERT_TRUE(platform::BitBlt(dest.dc(), -1, -1, 6, 6, src.dc(), 1, 1, platform::SRCCOPY));
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x) {
      const int sx = x + 1 + 1, sy = y + 1 + 1;
      const auto expected = (sx < 4 && sy < 4) ? std::pair{sx, sy} : std::pair{-1, -1};
      EXPECT_EQ(dest.Source(x, y), expected) << x << "," << y;
    }
  EXPECT_FALSE(platform::BitBlt(dest.dc(), 0, 0, 2, 2, src.dc(), 0, 0, 0x00EE0086));
  EXPECT_FALSE(platform::BitBlt(nullptr, 0, 0, 2, 2, src.dc(), 0, 0, platform::SRCCOPY));
}

TEST(BitBlt, OverlappingCopyWithinOneSurfaceReadsBeforeWriting) {
  Surface s(6, 1);
  s.FillCoordinates();
  ASSERT_TRUE(platform::BitBlt(s.dc(), 1, 0, 5, 1, s.dc(), 0, 0, platform::SRCCOPY));
  EXPECT_EQ(s.Source(0, 0), (std::pair{0, 0}));
  for (int x = 1; x < 6; ++x) EXPECT_EQ(s.Source(x, 0), (std::pair{x - 1, 0}));
}

TEST(StretchBlt, DropsOrRepeatsWholePixels) {
  Surface src(4, 2), dest(8, 1);
  src.FillCoordinates();
  ASSERT_TRUE(platform::StretchBlt(dest.dc(), 0, 0, 8, 1, src.dc(), 0, 0, 4, 2, platform::SRCCOPY));
  for (int x = 0; x < 8; ++x) EXPECT_EQ(dest.Source(x, 0).first, x / 2) << x;
  EXPECT_EQ(dest.Source(0, 0).second, 1) << "one row from two: the centre sample is row 1";

  Surface shrunk(2, 1);
  ASSERT_TRUE(platform::StretchBlt(shrunk.dc(), 0, 0, 2, 1, src.dc(), 0, 0, 4, 1, platform::SRCCOPY));
  EXPECT_EQ(shrunk.Source(0, 0).first, 1);
  EXPECT_EQ(shrunk.Source(1, 0).first, 3);
}

TEST(StretchBlt, OppositeSignsMirrorAndEqualSignsDoNot) {
  Surface src(4, 3);
  src.FillCoordinates();
  {
    Surface dest(6, 3);
    ASSERT_TRUE(platform::StretchBlt(dest.dc(), 4, 0, -4, 3, src.dc(), 0, 0, 4, 3, platform::SRCCOPY));
    for (int x = 0; x < 6; ++x) {
      const auto expected = (x >= 1 && x <= 4) ? std::pair{4 - x, 0} : std::pair{-1, -1};
      EXPECT_EQ(dest.Source(x, 0), expected) << x;
    }
  }
  {
    Surface dest(4, 3);
    ASSERT_TRUE(platform::StretchBlt(dest.dc(), 0, 2, 4, -3, src.dc(), 0, 0, 4, 3, platform::SRCCOPY));
    for (int y = 0; y < 3; ++y) EXPECT_EQ(dest.Source(1, y), (std::pair{1, 2 - y})) << y;
  }
  {
    Surface dest(4, 3);
    ASSERT_TRUE(platform::StretchBlt(dest.dc(), 3, 0, -4, 3, src.dc(), 3, 0, -4, 3, platform::SRCCOPY));
    for (int x = 0; x < 4; ++x) EXPECT_EQ(dest.Source(x, 0), (std::pair{x, 0})) << x;
  }
}

TEST(StretchBlt, HugeExtentsAreClippedNotIterated) {
  Surface src(2, 2), dest(3, 3);
  src.FillCoordinates();
  ASSERT_TRUE(platform::StretchBlt(dest.dc(), -2000000000, 0,
                                   std::numeric_limits<int>::max(), 3, src.dc(), 0, 0, 2, 2,
                                   platform::SRCCOPY));
  EXPECT_EQ(dest.Source(0, 0).first, 1) << "x = 0 lies at 93% of the stretched extent";
  ASSERT_TRUE(platform::StretchBlt(dest.dc(), 0, 0, 0, 3, src.dc(), 0, 0, 2, 2, platform::SRCCOPY));
}

TEST(StretchMode, IsKeptPerContextAndReportsThePreviousMode) {
  Surface s(1, 1);
  EXPECT_EQ(platform::GetStretchBltMode(s.dc()), platform::BLACKONWHITE);
  EXPECT_EQ(platform::SetStretchBltMode(s.dc(), platform::COLORONCOLOR), platform::BLACKONWHITE);
  EXPECT_EQ(platform::GetStretchBltMode(s.dc()), platform::COLORONCOLOR);
  EXPECT_EQ(platform::SetStretchBltMode(s.dc(), 99), 0);
  EXPECT_EQ(platform::GetStretchBltMode(s.dc()), platform::COLORONCOLOR);
}

}  // namespace
