// Difference: one pass over both pictures' pixel bytes.
#include "Difference.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

namespace bench {

namespace {

constexpr int kTile = 16;

}  // namespace

Difference Compare(const exact::PictureView& A, const exact::PictureView& B) {
  Difference d;
  double squares = 0;
  int left = A.width, top = A.height, right = -1, bottom = -1;
  for (int y = 0; y < A.height; ++y) {
    const std::uint8_t* a = A.pixel(0, y);
    const std::uint8_t* b = B.pixel(0, y);
    // Most rows of most comparisons are equal; memcmp skips them quickly.
    if (std::equal(a, a + 3 * static_cast<std::size_t>(A.width), b)) continue;
    std::uint64_t row_squares = 0;
    for (int x = 0; x < A.width; ++x) {
      bool differs = false;
      for (int c = 0; c < 3; ++c) {
        const int delta = std::abs(a[3 * x + c] - b[3 * x + c]);
        row_squares += static_cast<std::uint64_t>(delta * delta);
        d.max_abs_diff[c] = std::max(d.max_abs_diff[c], delta);
        differs |= delta != 0;
      }
      if (!differs) continue;
      ++d.differing_pixels;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
    squares += static_cast<double>(row_squares);
  }
  const double pixels = static_cast<double>(A.width) * A.height;
  d.differing_share = d.differing_pixels / pixels;
  const double mse = squares / (3 * pixels);
  d.psnr_db = mse == 0 ? std::numeric_limits<double>::infinity() : 10 * std::log10(255.0 * 255.0 / mse);
  if (right >= 0) d.bounds = Box{left, top, right - left + 1, bottom - top + 1};
  return d;
}

Point MostDifferentSpot(const exact::PictureView& A, const exact::PictureView& B) {
  const int columns = (A.width + kTile - 1) / kTile;
  const int rows = (A.height + kTile - 1) / kTile;
  std::vector<std::uint64_t> sums(static_cast<std::size_t>(columns) * rows);
  for (int y = 0; y < A.height; ++y) {
    const std::uint8_t* a = A.pixel(0, y);
    const std::uint8_t* b = B.pixel(0, y);
    std::uint64_t* tiles = &sums[static_cast<std::size_t>(y / kTile) * columns];
    for (int x = 0; x < 3 * A.width; ++x) tiles[x / (3 * kTile)] += static_cast<std::uint64_t>(std::abs(a[x] - b[x]));
  }
  const auto most = std::max_element(sums.begin(), sums.end());
  if (most == sums.end() || *most == 0) return {A.width / 2, A.height / 2};
  const auto tile = static_cast<int>(most - sums.begin());
  return {std::min(A.width - 1, (tile % columns) * kTile + kTile / 2),
          std::min(A.height - 1, (tile / columns) * kTile + kTile / 2)};
}

Box BoxAround(Point Centre, int Width, int Height, int PictureWidth, int PictureHeight) {
  Box box;
  box.width = std::min(Width, PictureWidth);
  box.height = std::min(Height, PictureHeight);
  box.x = std::clamp(Centre.x - box.width / 2, 0, PictureWidth - box.width);
  box.y = std::clamp(Centre.y - box.height / 2, 0, PictureHeight - box.height);
  return box;
}

}  // namespace bench
