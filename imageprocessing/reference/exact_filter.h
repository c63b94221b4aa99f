// The filter's definition evaluated plainly, in double precision: the one
// exact filter that the library's tests and morvane-bench hold builds to.
// Knows nothing of any test framework, of Qt or of the library's own code.
//
// Y = 0.299 R + 0.587 G + 0.114 B; base = bilateral filter of Y with
// sigma_s = max(2, min(W, H) / 64) and sigma_r = 25 over the pixels inside the
// picture, truncated to a square window of radius ceil(3 sigma_s);
// out = I + 0.3 * strength * (Y - base), rounded to nearest and clamped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace exact {

// A picture in the caller's layout: B, G, R bytes, rows `stride` bytes apart.
struct PictureView {
  const std::uint8_t* bytes = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;

  const std::uint8_t* pixel(int x, int y) const {
    return bytes + static_cast<std::size_t>(y) * stride + 3 * static_cast<std::size_t>(x);
  }
};

// Sample pixels of a picture, row by row: (x0 + i * step, y0 + j * step)
// inside the picture, or, jittered, one pixel at a fixed pseudo-random place
// in each step x step cell of the picture, which keeps the samples evenly
// spread without lining them up with any period of the filter's own errors.
struct Lattice {
  int step = 1;
  int x0 = 0;
  int y0 = 0;
  bool jittered = false;

  int Columns(int width) const;
  int Rows(int height) const;
  // The pixel of sample (column, row) in a picture of that size.
  int X(int column, int row, int width) const;
  int Y(int column, int row, int height) const;
};

// About `samples` pixels, jittered, over the picture; every pixel when the
// picture has no more than that.
Lattice SampleLattice(int width, int height, int samples);

// The base at the lattice's pixels, row by row (Rows x Columns values). The
// work is split over the CPUs, up to eight.
std::vector<double> Base(const PictureView& src, const Lattice& lattice);

// One pixel of the output from its three bytes and its base.
void EnhancePixel(const std::uint8_t* bgr, double base, int strength, std::uint8_t* out);

}  // namespace exact
