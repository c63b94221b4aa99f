// Difference: how two outputs of the same picture differ, over the pixel
// bytes only (row padding is not compared), as image-comparison tools say it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "exact_filter.h"

namespace bench {

struct Box {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

struct Difference {
  std::uint64_t differing_pixels = 0;  // a pixel differs when any of its bytes does
  double differing_share = 0;          // of all pixels
  std::array<int, 3> max_abs_diff{};   // B, G, R
  double psnr_db = 0;                  // over all 3 x W x H bytes; infinite when identical
  std::optional<Box> bounds;           // of the differing pixels

  bool Identical() const { return differing_pixels == 0; }
};

// A and B must have the same width and height.
Difference Compare(const exact::PictureView& A, const exact::PictureView& B);

struct Point {
  int x = 0;
  int y = 0;
};

// Where B differs most from A: the centre of the tile of 16 x 16 pixels with
// the largest sum of absolute differences; the centre of the picture when
// they are identical.
Point MostDifferentSpot(const exact::PictureView& A, const exact::PictureView& B);

// The Width x Height box around Centre, moved inside and clipped to a
// picture of PictureWidth x PictureHeight.
Box BoxAround(Point Centre, int Width, int Height, int PictureWidth, int PictureHeight);

}  // namespace bench
