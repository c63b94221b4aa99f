// The picture object: a decoded picture that knows its size in HIMETRIC units
// (0.01 mm) and draws itself into a drawing context; and the loader and saver
// that move pictures between files and such objects.
#pragma once

#include "Drawing.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// HIMETRIC extent of a pixel count at a screen metric, to the nearest unit.
// Throws PlatformError when the extent does not fit 32 bits.
std::int32_t PixelsToHimetric(std::int64_t Pixels, float TwipsPerPixel);

class Picture {
 public:
  // Pixels in the drawing layer's 24-bit layout (StrideFor(PixelWidth) bytes a
  // row), measured at the given screen metric. 0 x 0 (no pixels) is a valid,
  // empty picture. Throws PlatformError for a negative size, a pixel count that
  // does not match the size, or a metric that is not a positive number. CutShort
  // marks pixels decoded from a file that ended early.
  Picture(std::vector<std::uint8_t> Pixels, int PixelWidth, int PixelHeight,
          float TwipsPerPixelX, float TwipsPerPixelY, bool CutShort = false);

  std::int32_t Width() const { return himetric_width_; }
  std::int32_t Height() const { return himetric_height_; }
  int PixelWidth() const { return pixel_width_; }
  int PixelHeight() const { return pixel_height_; }
  const std::vector<std::uint8_t>& Pixels() const { return pixels_; }
  // True when the file ended before all of the picture was in it: what was never
  // decoded shows in a fixed colour.
  bool CutShort() const { return cut_short_; }

  // Draws the source rectangle, in HIMETRIC units with the vertical axis running
  // upward from the picture's bottom edge, into the destination rectangle (pixels)
  // of Dc. (0, Height(), Width(), -Height()) selects the whole picture upright.
  // Rows and columns are dropped or repeated, never blended; opposite signs of a
  // destination and source extent mirror. Bounds is for metafiles and must be null.
  // Throws PlatformError for a non-null Bounds, a null Dc or the screen's context
  // (which has no pixels to draw into). An empty picture draws nothing.
  void Render(Hdc Dc, int X, int Y, int Cx, int Cy, int XSrc, int YSrc, int CxSrc, int CySrc,
              const void* Bounds) const;

 private:
  std::vector<std::uint8_t> pixels_;
  int pixel_width_;
  int pixel_height_;
  std::int32_t himetric_width_;
  std::int32_t himetric_height_;
  bool cut_short_;
};

// Decodes a BMP, JPEG or PNG file (told by its content, not its name), measured
// at the screen's metric. Transparent pixels come out over white; JPEG orientation
// metadata is applied. Throws PictureLoadError naming the path, the reason and the
// kind of problem for a missing, empty, unreadable or undecodable file, for a file
// in any other format, and for one whose header claims more than 250 megapixels or
// a BMP compression that no decoder here reads (both refused before any pixel
// memory is taken), or for an uncompressed BMP holding less than a hundredth of the
// rows it claims. Any other file cut short either fails or, where the decoder
// accepts it, loads as a picture whose CutShort() is true, with what was never
// decoded in a fixed colour: white, or a palette file's first colour (JPEG
// decoders fill the rest grey themselves). Path is the system's bytes, taken as
// they are.
std::unique_ptr<Picture> LoadPicture(const std::string& Path);

// Writes the picture as a 24-bit BMP file, replacing a file of that name only once
// the new one is complete and on disk; a failure leaves an existing file as it was
// and no partial file. Throws PictureSaveError naming the path and the system's
// reason. Path is the system's bytes, taken as they are.
void SavePicture(const Picture& Picture, const std::string& Path);

}  // namespace platform
