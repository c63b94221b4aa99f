// The image buffer: creation, copying, release, and the drawing in and out of it.
#include "Cimage.h"

#include "platform/Picture.h"
#include "platform/Screen.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

Cimage::~Cimage() { DisposeResource(); }

Cimage::Cimage(Cimage&& Other) noexcept
    : width_(std::exchange(Other.width_, 0)),
      height_(std::exchange(Other.height_, 0)),
      stride_(Other.stride_),
      hdc_(std::exchange(Other.hdc_, nullptr)),
      pointer_(std::exchange(Other.pointer_, nullptr)),
      handle_(std::exchange(Other.handle_, nullptr)),
      PreviousBitmap(std::exchange(Other.PreviousBitmap, nullptr)),
      pixel_bytes_(std::exchange(Other.pixel_bytes_, {})) {}

Cimage& Cimage::operator=(Cimage&& Other) noexcept {
  if (this != &Other) {
    DisposeResource();
    width_ = std::exchange(Other.width_, 0);
    height_ = std::exchange(Other.height_, 0);
    stride_ = Other.stride_;
    hdc_ = std::exchange(Other.hdc_, nullptr);
    pointer_ = std::exchange(Other.pointer_, nullptr);
    handle_ = std::exchange(Other.handle_, nullptr);
    PreviousBitmap = std::exchange(Other.PreviousBitmap, nullptr);
    pixel_bytes_ = std::exchange(Other.pixel_bytes_, {});
  }
  return *this;
}

bool Cimage::CreateNewImage(int Width, int Height) {
  if (Width < 1 || Height < 1) return false;
  DisposeResource();

  const std::int64_t stride = platform::StrideFor(Width);
  // Widths whose stride leaves 32 bits cannot be made; the stride stays as it was.
  if (stride > std::numeric_limits<std::int32_t>::max()) return false;
  stride_ = static_cast<int>(stride);

  platform::BitmapInfoHeader header;
  header.Width = Width;
  header.Height = -Height;
  header.SizeImage = static_cast<std::uint32_t>(stride * Height);

  platform::Hdc screen = platform::GetDC();
  hdc_ = platform::CreateCompatibleDC(screen);
  platform::ReleaseDC(screen);

  handle_ = platform::CreateDIBSection(hdc_, header, platform::DIB_RGB_COLORS, &pointer_);
  if (handle_ == nullptr) return false;

  PreviousBitmap = platform::SelectObject(hdc_, handle_);
  height_ = Height;
  width_ = Width;

  pixel_bytes_ = std::span<std::uint8_t>(pointer_, static_cast<std::size_t>(stride * Height));
  return true;
}

void Cimage::DisposeResource() {
  if (hdc_ == nullptr) return;
  if (PreviousBitmap != nullptr) platform::SelectObject(hdc_, PreviousBitmap);
  platform::DeleteDC(hdc_);
  if (handle_ != nullptr) platform::DeleteObject(handle_);
  pixel_bytes_ = {};
  width_ = 0;
  height_ = 0;
  handle_ = nullptr;
  PreviousBitmap = nullptr;
  pointer_ = nullptr;
  hdc_ = nullptr;
}

Cimage Cimage::Clone() const {
  Cimage copy;
  copy.CreateNewImage(width_, height_);
  // Without a bitmap of its own the copy has nowhere to put the bytes.
  if (copy.handle_ != nullptr) {
    std::memcpy(copy.pointer_, pointer_, static_cast<std::size_t>(stride_) * height_);
  }
  return copy;
}

bool Cimage::OutPut(platform::Hdc OutDC, int X, int Y, int Width, int Height, int SrcX,
                    int SrcY, std::uint32_t dwRop) const {
  if (Width == 0) Width = width_;
  if (Height == 0) Height = height_;
  return platform::BitBlt(OutDC, X, Y, Width, Height, hdc_, SrcX, SrcY, dwRop);
}

namespace {

// Negating INT_MIN has no 32-bit result; the nearest representable extent is used.
int Negated(int Value) {
  return Value == std::numeric_limits<int>::min() ? std::numeric_limits<int>::max() : -Value;
}

}  // namespace

bool Cimage::Render(platform::Hdc DestDC, int DestX, int DestY, int DestWidth, int DestHeight,
                    int SrcX, int SrcY, int SrcWidth, int SrcHeight) const {
  if (DestWidth == 0) DestWidth = width_;
  if (DestHeight == 0) DestHeight = height_;

  if (SrcX < 0) SrcX = 0;
  if (SrcY < 0) SrcY = 0;

  if (SrcWidth == 0) {
    SrcWidth = width_;
  } else if (SrcWidth < 0) {
    DestWidth = Negated(DestWidth);
    SrcWidth = Negated(SrcWidth);
  }
  if (SrcHeight == 0) {
    SrcHeight = height_;
  } else if (SrcHeight < 0) {
    DestHeight = Negated(DestHeight);
    SrcHeight = Negated(SrcHeight);
  }

  platform::SetStretchBltMode(DestDC, platform::COLORONCOLOR);
  return platform::StretchBlt(DestDC, DestX, DestY, DestWidth, DestHeight, hdc_, SrcX, SrcY,
                              SrcWidth, SrcHeight, platform::SRCCOPY);
}

bool Cimage::LoadPictureFromStdPicture(const platform::Picture* StdPic) {
  if (StdPic == nullptr) return false;
  const int W = HimetricToPixels(StdPic->Width(), true);
  const int H = HimetricToPixels(StdPic->Height(), false);
  if (!CreateNewImage(W, H)) return false;

  const std::int32_t h1 = StdPic->Height();
  const std::int32_t w = StdPic->Width();
  const std::int32_t h2 = StdPic->Height();
  StdPic->Render(hdc_, 0, 0, W, H, 0, h1, w, -h2, nullptr);
  return true;
}

int Cimage::HimetricToPixels(std::int32_t Himetric, bool Horizontal) const {
  return ::HimetricToPixels(Himetric,
                            Horizontal ? platform::TwipsPerPixelX() : platform::TwipsPerPixelY());
}

int HimetricToPixels(std::int32_t Himetric, float TwipsPerPixel) {
  // The product is formed in 64 bits, so only the final pixel count can overflow.
  const std::int64_t twips_times_2540 = std::int64_t{Himetric} * 1440;
  const double pixels = static_cast<double>(twips_times_2540) / 2540.0 / TwipsPerPixel;
  const double rounded = std::nearbyint(pixels);  // the default mode rounds halves to even
  if (!(rounded >= std::numeric_limits<std::int32_t>::min() &&
        rounded <= std::numeric_limits<std::int32_t>::max())) {
    throw std::overflow_error("picture extent of " + std::to_string(Himetric) +
                              " HIMETRIC units does not fit a 32-bit pixel count");
  }
  return static_cast<int>(rounded);
}
