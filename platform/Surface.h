// The objects behind the drawing layer's handles: bitmaps that own 24-bit pixel
// memory and the contexts that bitmaps are selected into. Used inside platform/
// by the picture object and the picture boxes; other folders see only Drawing.h.
#pragma once

#include "Drawing.h"

#include <cstdint>
#include <memory>

namespace platform {

// A borrowed view of 24-bit pixel memory.
struct SurfaceView {
  std::uint8_t* Bits = nullptr;
  int Width = 0;
  int Height = 0;
  int Stride = 0;
};

class Bitmap {
 public:
  // nullptr when Stride x Height does not fit a signed 32-bit number or the memory
  // cannot be had. The pixels start zeroed.
  static std::unique_ptr<Bitmap> Create(int Width, int Height) noexcept;

  ~Bitmap();
  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;

  SurfaceView View() const { return {bits_, width_, height_, stride_}; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  int Stride() const { return stride_; }
  std::uint8_t* Bits() const { return bits_; }

  // The context this bitmap is selected into, nullptr when none.
  DeviceContext* SelectedInto() const { return selected_into_; }

 private:
  Bitmap(std::uint8_t* Bits, int Width, int Height, int Stride)
      : bits_(Bits), width_(Width), height_(Height), stride_(Stride) {}

  friend class DeviceContext;

  std::uint8_t* bits_;
  int width_;
  int height_;
  int stride_;
  DeviceContext* selected_into_ = nullptr;
};

// The bitmap that every new memory context holds until another is selected.
Bitmap& StockBitmap();

class DeviceContext {
 public:
  DeviceContext();  // with the stock bitmap selected
  ~DeviceContext();  // lets go of its bitmap without deleting it
  DeviceContext(const DeviceContext&) = delete;
  DeviceContext& operator=(const DeviceContext&) = delete;

  // Selects Object and returns the one it replaces, nullptr when Object is
  // selected into another context.
  Bitmap* Select(Bitmap& Object);
  Bitmap& Selected() const { return *selected_; }
  SurfaceView View() const { return selected_->View(); }

  int StretchMode() const { return stretch_mode_; }
  void SetStretchMode(int Mode) { stretch_mode_ = Mode; }

 private:
  Bitmap* selected_;
  int stretch_mode_ = BLACKONWHITE;
};

// The pixel work of StretchBlt (and of BitBlt, a stretch with equal extents) on
// raw surfaces, with the same clipping and mirroring rules.
void StretchPixels(const SurfaceView& Dest, int X, int Y, int Width, int Height,
                   const SurfaceView& Src, int SrcX, int SrcY, int SrcWidth, int SrcHeight);

// The pixel work of StretchDifference.
void StretchDifferencePixels(const SurfaceView& Dest, int X, int Y, int Width, int Height,
                             const SurfaceView& After, const SurfaceView& Before, int SrcX,
                             int SrcY, int SrcWidth, int SrcHeight);

}  // namespace platform
