// Test fixtures shared by the drawing, picture and image tests: a memory
// context holding a DIB section (made and released through Drawing.h), and a
// picture whose pixels name their own coordinates.
#pragma once

#include "platform/Drawing.h"
#include "platform/Picture.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace morvane_test {

// A w x h top-down DIB section selected into its own memory context, released at scope exit.
class MemorySurface {
 public:
  MemorySurface(int Width, int Height, std::uint8_t Fill = 0) : width_(Width), height_(Height) {
    platform::BitmapInfoHeader header;
    header.Width = Width;
    header.Height = -Height;
    dc_ = platform::CreateCompatibleDC(platform::GetDC());
    bitmap_ = platform::CreateDIBSection(dc_, header, platform::DIB_RGB_COLORS, &bits_);
    previous_ = platform::SelectObject(dc_, bitmap_);
    // Pixels only: the padding stays as CreateDIBSection left it, zero.
    if (bits_ != nullptr && Fill != 0)
      for (int y = 0; y < Height; ++y) std::memset(Pixel(0, y), Fill, 3 * static_cast<std::size_t>(Width));
  }
  ~MemorySurface() {
    platform::SelectObject(dc_, previous_);
    platform::DeleteDC(dc_);
    platform::DeleteObject(bitmap_);
  }
  MemorySurface(const MemorySurface&) = delete;
  MemorySurface& operator=(const MemorySurface&) = delete;

  bool Valid() const { return bits_ != nullptr && previous_ != nullptr; }
  platform::Hdc Dc() const { return dc_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  std::uint8_t* Pixel(int X, int Y) const {
    return bits_ + static_cast<std::ptrdiff_t>(Y) * platform::StrideFor(width_) + 3 * X;
  }
  // Every byte of the bitmap, padding included.
  std::vector<std::uint8_t> Contents() const {
    return {bits_, bits_ + static_cast<std::size_t>(platform::StrideFor(width_)) * height_};
  }

 private:
  int width_;
  int height_;
  platform::Hdc dc_ = nullptr;
  platform::Hbitmap bitmap_ = nullptr;
  platform::Hbitmap previous_ = nullptr;
  std::uint8_t* bits_ = nullptr;
};

// A picture whose pixels carry their coordinates: blue = x, green = y, red = 99.
inline platform::Picture CoordinatePicture(int Width, int Height, float TwipsPerPixel = 15.0f) {
  const auto stride = static_cast<std::size_t>(platform::StrideFor(Width));
  std::vector<std::uint8_t> pixels(stride * Height, 0);
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) {
      std::uint8_t* p = &pixels[y * stride + 3 * x];
      p[0] = static_cast<std::uint8_t>(x);
      p[1] = static_cast<std::uint8_t>(y);
      p[2] = 99;
    }
  return platform::Picture(std::move(pixels), Width, Height, TwipsPerPixel, TwipsPerPixel);
}

}  // namespace morvane_test
