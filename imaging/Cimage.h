// Cimage: an image that owns one 24-bit pixel buffer which is at once directly
// addressable memory and the bitmap selected into the image's own memory drawing
// context. The filter works on the bytes through Pointer(); pictures are drawn in
// and out through hdc(); both see the same memory, so nothing is ever copied
// between them.
#pragma once

#include "platform/Drawing.h"

#include <cstdint>
#include <span>

namespace platform {
class Picture;
}

class Cimage {
 public:
  Cimage() = default;
  ~Cimage();
  Cimage(Cimage&& Other) noexcept;
  Cimage& operator=(Cimage&& Other) noexcept;
  Cimage(const Cimage&) = delete;
  Cimage& operator=(const Cimage&) = delete;

  int Width() const { return width_; }
  int Height() const { return height_; }
  // Bytes per row; set by every creation that passes the size check and kept
  // after release. Whether pixels are held is told by handle(), never by Stride().
  int Stride() const { return stride_; }
  std::uint8_t* Pointer() const { return pointer_; }
  platform::Hdc hdc() const { return hdc_; }
  platform::Hbitmap handle() const { return handle_; }
  // A byte view over the whole pixel memory, padding included; empty without pixels.
  std::span<std::uint8_t> PixelBytes() const { return pixel_bytes_; }

  // Makes a blank image of Width x Height pixels, releasing what was held first.
  // False without any change for a size below 1; false after the release, with
  // the new context kept but no bitmap, when the bitmap cannot be made.
  bool CreateNewImage(int Width, int Height);

  // Copies the image 1:1 into OutDC. A Width or Height of 0 means the image's own.
  bool OutPut(platform::Hdc OutDC, int X = 0, int Y = 0, int Width = 0, int Height = 0,
              int SrcX = 0, int SrcY = 0, std::uint32_t dwRop = platform::SRCCOPY) const;

  // Stretches the source rectangle into the destination rectangle of DestDC,
  // dropping or repeating pixels. Zero extents mean the image's own; a negative
  // source extent mirrors the picture in that direction.
  bool Render(platform::Hdc DestDC, int DestX = 0, int DestY = 0, int DestWidth = 0,
              int DestHeight = 0, int SrcX = 0, int SrcY = 0, int SrcWidth = 0,
              int SrcHeight = 0) const;

  // A new image with its own copy of the pixels, row padding included. When the
  // new image's bitmap cannot be made, the new image comes back empty.
  Cimage Clone() const;

  // Releases the drawing context, bitmap and pixel memory. Does nothing when empty.
  void DisposeResource();

  // Fills the image with the picture at the picture's size in screen pixels.
  // A null picture, or one that measures 0 pixels either way, leaves the image as
  // it was. Throws std::overflow_error, before changing anything, for a picture
  // whose pixel size does not fit 32 bits.
  bool LoadPictureFromStdPicture(const platform::Picture* StdPic);

 private:
  int HimetricToPixels(std::int32_t Himetric, bool Horizontal) const;

  int width_ = 0;
  int height_ = 0;
  int stride_ = 0;
  platform::Hdc hdc_ = nullptr;
  std::uint8_t* pointer_ = nullptr;
  platform::Hbitmap handle_ = nullptr;
  platform::Hbitmap PreviousBitmap = nullptr;
  std::span<std::uint8_t> pixel_bytes_;
};

// Pixels for a HIMETRIC extent at a screen metric, to the nearest pixel with
// halves to even. Throws std::overflow_error outside the signed 32-bit range.
int HimetricToPixels(std::int32_t Himetric, float TwipsPerPixel);
