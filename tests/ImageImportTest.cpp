// Filling a Cimage from a picture: the size in screen pixels from HIMETRIC, the
// exact pixels of real files, and pictures that leave the image as it was.
#include "imaging/Cimage.h"
#include "platform/Picture.h"

#include "TestSurfaces.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

TEST(HimetricToPixels, ConvertsAtTheScreenMetricRoundingHalvesToEven) {
  EXPECT_EQ(HimetricToPixels(16933, 15.0f), 640);  // 639.987
  EXPECT_EQ(HimetricToPixels(16933, 12.0f), 800);  // 799.984
  EXPECT_EQ(HimetricToPixels(12700, 15.0f), 480);
  EXPECT_EQ(HimetricToPixels(13, 15.0f), 0);
  EXPECT_EQ(HimetricToPixels(14, 15.0f), 1);
  EXPECT_EQ(HimetricToPixels(-12700, 15.0f), -480);
  // 2540 HIMETRIC at 1440 twips a pixel: exactly half a pixel goes to 0; 3 halves to 2.
  EXPECT_EQ(HimetricToPixels(1270, 1440.0f), 0);
  EXPECT_EQ(HimetricToPixels(3810, 1440.0f), 2);
}

TEST(HimetricToPixels, RaisesAnOverflowOutsideThirtyTwoBits) {
  EXPECT_THROW(HimetricToPixels(std::numeric_limits<std::int32_t>::max(), 0.01f),
               std::overflow_error);
  EXPECT_NO_THROW(HimetricToPixels(std::numeric_limits<std::int32_t>::max(), 15.0f));
}

using morvane_test::CoordinatePicture;

TEST(LoadPictureFromStdPicture, MakesABufferOfThePicturesPixelSizeHoldingItsPixels) {
  const platform::Picture picture = CoordinatePicture(37, 11);
  Cimage image;
  EXPECT_TRUE(image.LoadPictureFromStdPicture(&picture));
  ASSERT_NE(image.handle(), nullptr);
  EXPECT_EQ(image.Width(), 37);
  EXPECT_EQ(image.Height(), 11);
  for (int y = 0; y < 11; ++y)
    for (int x = 0; x < 37; ++x) {
      const std::uint8_t* p = image.Pointer() + y * image.Stride() + 3 * x;
      ASSERT_EQ(p[0], x);
      ASSERT_EQ(p[1], y);
      ASSERT_EQ(p[2], 99);
    }
}

TEST(LoadPictureFromStdPicture, ANullPictureLeavesTheImageAsItWas) {
  const platform::Picture picture = CoordinatePicture(4, 4);
  Cimage image;
  ASSERT_TRUE(image.LoadPictureFromStdPicture(&picture));
  const auto* pointer = image.Pointer();
  EXPECT_FALSE(image.LoadPictureFromStdPicture(nullptr));
  EXPECT_EQ(image.Pointer(), pointer);
  EXPECT_EQ(image.Width(), 4);
  EXPECT_EQ(image.Pointer()[3 * 3 + 3 * image.Stride()], 3);
}

TEST(LoadPictureFromStdPicture, APictureOfNoPixelsLeavesTheImageAsItWas) {
  const platform::Picture held = CoordinatePicture(4, 4);
  Cimage image;
  ASSERT_TRUE(image.LoadPictureFromStdPicture(&held));
  // Width 0 pixels: nothing can be made of it, so nothing is released either.
  const platform::Picture empty({}, 0, 0, 15.0f, 15.0f);
  EXPECT_FALSE(image.LoadPictureFromStdPicture(&empty));
  EXPECT_EQ(image.Width(), 4);
  EXPECT_NE(image.handle(), nullptr);
}

// Writes a bottom-up 24-bit BMP file by hand, the layout every BMP reader knows.
void WriteBmp24(const fs::path& Path, int Width, int Height,
                const std::vector<std::uint8_t>& TopDownBgr) {
  const int row = static_cast<int>(platform::StrideFor(Width));
  const std::uint32_t image_size = static_cast<std::uint32_t>(row * Height);
  std::vector<std::uint8_t> file(54 + image_size, 0);
  auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  file[0] = 'B';
  file[1] = 'M';
  put32(2, static_cast<std::uint32_t>(file.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<std::uint32_t>(Width));
  put32(22, static_cast<std::uint32_t>(Height));
  file[26] = 1;
  file[28] = 24;
  put32(34, image_size);
  for (int y = 0; y < Height; ++y)
    for (int i = 0; i < 3 * Width; ++i)
      file[54 + (Height - 1 - y) * row + i] = TopDownBgr[y * 3 * Width + i];
  std::ofstream(Path, std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
}

TEST(LoadPictureFromStdPicture, ARealBmpFileArrivesWithItsExactPixelsAndSize) {
  constexpr int kWidth = 7, kHeight = 5;  // odd width: padded rows in file and buffer
  std::vector<std::uint8_t> bgr(3 * kWidth * kHeight);
  for (std::size_t i = 0; i < bgr.size(); ++i) bgr[i] = static_cast<std::uint8_t>(i * 37 + 11);
  const fs::path path = fs::temp_directory_path() / "morvane_import_test.bmp";
  WriteBmp24(path, kWidth, kHeight, bgr);

  const auto picture = platform::LoadPicture(path.string());
  Cimage image;
  image.LoadPictureFromStdPicture(picture.get());
  fs::remove(path);
  ASSERT_EQ(image.Width(), kWidth);
  ASSERT_EQ(image.Height(), kHeight);
  for (int y = 0; y < kHeight; ++y)
    for (int i = 0; i < 3 * kWidth; ++i)
      ASSERT_EQ(image.Pointer()[y * image.Stride() + i], bgr[y * 3 * kWidth + i])
          << "row " << y << " byte " << i;
}

// Reads a binary PPM (P6) as top-down RGB.
std::vector<std::uint8_t> ReadPpm(const fs::path& Path, int& Width, int& Height) {
  std::ifstream in(Path, std::ios::binary);
  std::string magic;
  int max_value = 0;
  in >> magic >> Width >> Height >> max_value;
  in.get();
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(3) * Width * Height);
  in.read(reinterpret_cast<char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
  return in && magic == "P6" && max_value == 255 ? rgb : std::vector<std::uint8_t>{};
}

TEST(LoadPictureFromStdPicture, ARealJpegFileArrivesAtItsSizeWithItsDecodedPixels) {
  const fs::path jpeg = fs::path(MORVANE_TESTDATA) / "jpeg" / "testorig.jpg";
  const fs::path reference = fs::path(MORVANE_TESTDATA) / "jpeg" / "reference" / "testorig.ppm";
  ASSERT_TRUE(fs::exists(jpeg)) << jpeg;
  ASSERT_TRUE(fs::exists(reference)) << reference;
  int width = 0, height = 0;
  const std::vector<std::uint8_t> rgb = ReadPpm(reference, width, height);
  ASSERT_FALSE(rgb.empty());

  const auto picture = platform::LoadPicture(jpeg.string());
  Cimage image;
  image.LoadPictureFromStdPicture(picture.get());
  ASSERT_EQ(image.Width(), 227);
  ASSERT_EQ(image.Height(), 149);
  ASSERT_EQ(width, 227);
  // Decoders differ by an IDCT rounding or two; a wrong row order, channel order
  // or stride would be off by far more.
  int worst = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c) {
        const int decoded = image.Pointer()[y * image.Stride() + 3 * x + (2 - c)];
        const int expected = rgb[(y * width + x) * 3 + c];
        worst = std::max(worst, std::abs(decoded - expected));
      }
  EXPECT_LE(worst, 8);
}

}  // namespace
