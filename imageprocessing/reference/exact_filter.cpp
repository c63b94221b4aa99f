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

}  // namespace

Lattice SampleLattice(int width, int height, int samples) {
  const double pixels = static_cast<double>(width) * height;
  if (pixels <= samples) return {};
  const int step = static_cast<int>(std::ceil(std::sqrt(pixels / samples)));
  return {step, step / 2, step / 2};
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
      const int y = lattice.y0 + row * lattice.step;
      for (int column = 0; column < columns; ++column) {
        const int x = lattice.x0 + column * lattice.step;
        const int lp = luma[static_cast<std::size_t>(y) * w + x];
        double sumV = 0, sumW = 0;
        for (int qy = std::max(0, y - radius); qy <= std::min(h - 1, y + radius); ++qy) {
          for (int qx = std::max(0, x - radius); qx <= std::min(w - 1, x + radius); ++qx) {
            const int lq = luma[static_cast<std::size_t>(qy) * w + qx];
            const double weight =
                spatial[qy - y + radius] * spatial[qx - x + radius] * range[std::abs(lp - lq)];
            sumV += weight * (lq / 1000.0);
            sumW += weight;
          }
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
