// The exact filter: a brute-force bilateral filter of the luminance at the
// pixels asked for, and the enhancement of one pixel from its base.
#include "exact_filter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <thread>

namespace exact {

namespace {

constexpr double kSigmaR = 25.0;

// Luminance times 1000 as an exact integer, so the range weight of a pair of
// pixels can come from a table without any rounding of the definition.
int Luma1000(const std::uint8_t* bgr) { return 299 * bgr[2] + 587 * bgr[1] + 114 * bgr[0]; }


// A well-mixed 32-bit number from a sample's place and an axis.
std::uint32_t Scatter(int column, int row, std::uint32_t axis) {
  std::uint32_t h = static_cast<std::uint32_t>(column) * 0x9E3779B1u ^ static_cast<std::uint32_t>(row) * 0x85EBCA77u ^ axis;
  h ^= h >> 16;
  h *= 0x7FEB352Du;
  h ^= h >> 15;
  h *= 0x846CA68Bu;
  return h ^ (h >> 16);
}

// Where in a cell of `step` pixels, cut short at the picture's edge at `size`.
int InCell(int cell, int step, int size, std::uint32_t scatter) {
  const int start = cell * step;
  return start + static_cast<int>(scatter % static_cast<std::uint32_t>(std::min(step, size - start)));
}

}  // namespace

int Lattice::Columns(int width) const {
  if (jittered) return (width + step - 1) / step;
  return x0 < width ? (width - 1 - x0) / step + 1 : 0;
}

int Lattice::Rows(int height) const {
  if (jittered) return (height + step - 1) / step;
  return y0 < height ? (height - 1 - y0) / step + 1 : 0;
}

int Lattice::X(int column, int row, int width) const {
  return jittered ? InCell(column, step, width, Scatter(column, row, 1)) : x0 + column * step;
}

int Lattice::Y(int column, int row, int height) const {
  return jittered ? InCell(row, step, height, Scatter(column, row, 2)) : y0 + row * step;
}

Lattice SampleLattice(int width, int height, int samples) {
  const double pixels = static_cast<double>(width) * height;
  if (pixels <= samples) return {};
  const int step = static_cast<int>(std::ceil(std::sqrt(pixels / samples)));
  return {step, 0, 0, true};
}

std::vector<double> Base(const PictureView& src, const Lattice& lattice) {
  const int w = src.width, h = src.height;
  const double sigmaS = std::max(2.0, std::min(w, h) / 64.0);
  // Outside a square of radius 3 sigma_s lies 0.54 % of the spatial weight,
  // and only pixels within a few sigma_r in luminance carry range weight, so
  // the cut moves the base by well under 0.1 level on photographs: far below
  // the 1-2 levels that the PSNR bounds allow.
  const int radius = static_cast<int>(std::ceil(3.0 * sigmaS));

  std::vector<int> luma(static_cast<std::size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) luma[static_cast<std::size_t>(y) * w + x] = Luma1000(src.pixel(x, y));

  std::vector<double> range(255001);
  for (std::size_t d = 0; d < range.size(); ++d) {
    const double levels = d / 1000.0;
    range[d] = std::exp(-(levels * levels) / (2.0 * kSigmaR * kSigmaR));
  }
  std::vector<double> spatial(2 * radius + 1);
  for (int d = -radius; d <= radius; ++d)
    spatial[d + radius] = std::exp(-(d * d) / (2.0 * sigmaS * sigmaS));

  const int columns = lattice.Columns(w), rows = lattice.Rows(h);
  std::vector<double> base(static_cast<std::size_t>(columns) * rows);
  auto some_rows = [&](int first, int every) {
    for (int row = first; row < rows; row += every) {
      for (int column = 0; column < columns; ++column) {
        const int x = lattice.X(column, row, w), y = lattice.Y(column, row, h);
        const int lp = luma[static_cast<std::size_t>(y) * w + x];
        const int left = std::max(0, x - radius), right = std::min(w - 1, x + radius);
        const int sx = radius - x;  // spatial[sx + qx] weighs column qx
        double sumV = 0, sumW = 0;
        for (int qy = std::max(0, y - radius); qy <= std::min(h - 1, y + radius); ++qy) {
          const double sy = spatial[qy - y + radius];
          const int* lq = luma.data() + static_cast<std::size_t>(qy) * w;
          // Four partial sums, so that each addition need not wait for the one before.
          double v[4] = {}, wt[4] = {};
          int qx = left;
          for (; qx + 3 <= right; qx += 4) {
            for (int k = 0; k < 4; ++k) {
              const double weight = sy * spatial[sx + qx + k] * range[std::abs(lp - lq[qx + k])];
              v[k] += weight * (lq[qx + k] / 1000.0);
              wt[k] += weight;
            }
          }
          for (; qx <= right; ++qx) {
            const double weight = sy * spatial[sx + qx] * range[std::abs(lp - lq[qx])];
            v[0] += weight * (lq[qx] / 1000.0);
            wt[0] += weight;
          }
          sumV += (v[0] + v[1]) + (v[2] + v[3]);
          sumW += (wt[0] + wt[1]) + (wt[2] + wt[3]);
        }
        base[static_cast<std::size_t>(row) * columns + column] = sumV / sumW;
      }
    }
  };
  const int threads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t) pool.emplace_back(some_rows, t, threads);
  for (auto& t : pool) t.join();
  return base;
}

void EnhancePixel(const std::uint8_t* bgr, double base, int strength, std::uint8_t* out) {
  const double gain = 0.3 * std::clamp(strength, 0, 10);
  const double detail = gain * (Luma1000(bgr) / 1000.0 - base);
  for (int c = 0; c < 3; ++c) {
    const double v = std::nearbyint(bgr[c] + detail);
    out[c] = static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
  }
}

}  // namespace exact
