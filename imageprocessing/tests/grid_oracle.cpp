// The bilateral grid (Chen, Paris & Durand 2007): splat with tent weights
// into cells sigma_s apart in x and y and 25 levels apart in range, blur
// with five taps along each axis, slice by trilinear interpolation.
#include "grid_oracle.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace iptest::grid {
namespace {

constexpr int kBins = 12;  // luma 0..255 lies in bins 0..10; bin 11 is its upper neighbour

// Cells x rows x bins of (sum w * Y, sum w), zero outside.
struct Grid {
  int cells, rows;
  std::vector<double> sums;
  double& At(int cell, int row, int bin, int k) {
    return sums[((static_cast<std::size_t>(row) * cells + cell) * kBins + bin) * 2 + k];
  }
  double Get(int cell, int row, int bin, int k) const {
    if (cell < 0 || cell >= cells || row < 0 || row >= rows || bin < 0 || bin >= kBins) return 0;
    return sums[((static_cast<std::size_t>(row) * cells + cell) * kBins + bin) * 2 + k];
  }
};

// The integer cell of u and the weight of the one after it.
void Tent(double u, int& cell, double& next) {
  cell = static_cast<int>(std::floor(u));
  next = u - cell;
}

// Calls fn(cell, row, bin, weight) for the 8 grid corners around pixel (x, y)
// of luma l, at spacing s.
template <class Fn>
void ForEachCorner(double s, int x, int y, double l, Fn fn) {
  int c[3];
  double w[3];
  Tent(x / s, c[0], w[0]);
  Tent(y / s, c[1], w[1]);
  RangeBin(l, c[2], w[2]);
  for (int corner = 0; corner < 8; ++corner) {
    double weight = 1;
    for (int a = 0; a < 3; ++a) weight *= (corner >> a & 1) ? w[a] : 1 - w[a];
    fn(c[0] + (corner & 1), c[1] + (corner >> 1 & 1), c[2] + (corner >> 2), weight);
  }
}

}  // namespace

double Luma(const std::uint8_t* p) { return (3735.0 * p[0] + 19235.0 * p[1] + 9798.0 * p[2]) / 32768; }

void RangeBin(double y, int& bin, double& above) { Tent(y / 25.0, bin, above); }

double Tap(int d) {
  auto g = [](int i) { return std::exp(-i * i / (2.0 * 2.0 / 3.0)); };
  return g(d) / (g(0) + 2 * g(1) + 2 * g(2));
}

std::uint8_t Enhanced(std::uint8_t c, double detail) {
  return static_cast<std::uint8_t>(std::clamp(c + std::nearbyint(detail), 0.0, 255.0));
}

Picture Enhance(const Picture& src, int strength) {
  const double s = std::max(2.0, std::min(src.width, src.height) / 64.0);
  Grid g{static_cast<int>(std::floor((src.width - 1) / s)) + 2,
         static_cast<int>(std::floor((src.height - 1) / s)) + 2, {}};
  g.sums.assign(static_cast<std::size_t>(g.cells) * g.rows * kBins * 2, 0.0);
  for (int y = 0; y < src.height; ++y)
    for (int x = 0; x < src.width; ++x) {
      const double l = Luma(src.pixel(x, y));
      ForEachCorner(s, x, y, l, [&](int cell, int row, int bin, double w) {
        g.At(cell, row, bin, 0) += w * l;
        g.At(cell, row, bin, 1) += w;
      });
    }
  for (int axis = 0; axis < 3; ++axis) {
    Grid blurred = g;
    for (int row = 0; row < g.rows; ++row)
      for (int cell = 0; cell < g.cells; ++cell)
        for (int bin = 0; bin < kBins; ++bin)
          for (int k = 0; k < 2; ++k) {
            double sum = 0;
            for (int d = -2; d <= 2; ++d) {
              sum += Tap(d) * g.Get(cell + (axis == 0) * d, row + (axis == 1) * d, bin + (axis == 2) * d, k);
            }
            blurred.At(cell, row, bin, k) = sum;
          }
    g = blurred;
  }
  Picture out = src;
  for (int y = 0; y < src.height; ++y)
    for (int x = 0; x < src.width; ++x) {
      const double l = Luma(src.pixel(x, y));
      double vw[2] = {0, 0};
      ForEachCorner(s, x, y, l, [&](int cell, int row, int bin, double w) {
        for (int k = 0; k < 2; ++k) vw[k] += w * g.Get(cell, row, bin, k);
      });
      const double detail = 0.3 * strength * (l - vw[0] / vw[1]);
      for (int ch = 0; ch < 3; ++ch) out.pixel(x, y)[ch] = Enhanced(src.pixel(x, y)[ch], detail);
    }
  return out;
}

}  // namespace iptest::grid
