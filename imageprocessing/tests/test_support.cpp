// Test helpers: crops and synthetic pictures, the brute-force reference of
// the filter's definition, and PSNR.
#include "test_support.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

namespace iptest {

Picture Crop(const Picture& src, int x0, int y0, int width, int height) {
  Picture p = MakePicture(width, height);
  for (int y = 0; y < height; ++y) {
    std::copy_n(src.pixel(x0, y0 + y), 3 * width, p.pixel(0, y));
  }
  return p;
}

Picture RandomPicture(int width, int height, std::uint32_t seed) {
  Picture p = MakePicture(width, height);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < 3 * width; ++x) p.pixel(0, y)[x] = static_cast<std::uint8_t>(byte(rng));
  return p;
}

Picture SmoothPicture(int width, int height, std::uint32_t seed) {
  Picture p = MakePicture(width, height);
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> phase(0.0, 6.283185307179586);
  std::normal_distribution<double> noise(0.0, 2.0);
  const double a = phase(rng), b = phase(rng), c = phase(rng);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double u = static_cast<double>(x) / std::max(1, width - 1);
      const double v = static_cast<double>(y) / std::max(1, height - 1);
      const double base[3] = {128 + 90 * std::sin(3 * u + a) * std::cos(2 * v + b),
                              128 + 80 * std::sin(2 * v + c + u),
                              128 + 100 * std::cos(4 * u * v + a + b)};
      for (int k = 0; k < 3; ++k) {
        p.pixel(x, y)[k] =
            static_cast<std::uint8_t>(std::clamp(std::lround(base[k] + noise(rng)), 0L, 255L));
      }
    }
  }
  return p;
}

namespace {

// Luminance times 1000 as an exact integer, so the range weight of a pair of
// pixels can come from a table without any rounding of the definition.
int Luma1000(const std::uint8_t* bgr) { return 299 * bgr[2] + 587 * bgr[1] + 114 * bgr[0]; }

}  // namespace

std::vector<double> ReferenceBase(const Picture& src, int step) {
  const int w = src.width, h = src.height;
  const double sigmaS = std::max(2.0, std::min(w, h) / 64.0);
  const double sigmaR = 25.0;
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
    range[d] = std::exp(-(levels * levels) / (2.0 * sigmaR * sigmaR));
  }
  std::vector<double> spatial(2 * radius + 1);
  for (int d = -radius; d <= radius; ++d)
    spatial[d + radius] = std::exp(-(d * d) / (2.0 * sigmaS * sigmaS));

  std::vector<double> base(luma.size(), std::numeric_limits<double>::quiet_NaN());
  auto rows = [&](int first, int every) {
    for (int y = first * step; y < h; y += every * step) {
      for (int x = 0; x < w; x += step) {
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
        base[static_cast<std::size_t>(y) * w + x] = sumV / sumW;
      }
    }
  };
  const int threads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t) pool.emplace_back(rows, t, threads);
  for (auto& t : pool) t.join();
  return base;
}

Picture ReferenceEnhance(const Picture& src, const std::vector<double>& base, int strength) {
  Picture out = src;
  const double gain = 0.3 * std::clamp(strength, 0, 10);
  for (int y = 0; y < src.height; ++y) {
    for (int x = 0; x < src.width; ++x) {
      if (std::isnan(base[static_cast<std::size_t>(y) * src.width + x])) continue;
      const double detail =
          gain * (Luma1000(src.pixel(x, y)) / 1000.0 - base[static_cast<std::size_t>(y) * src.width + x]);
      for (int c = 0; c < 3; ++c) {
        const double v = std::nearbyint(src.pixel(x, y)[c] + detail);
        out.pixel(x, y)[c] = static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
      }
    }
  }
  return out;
}

double Psnr(const Picture& a, const Picture& b) {
  double sum = 0;
  for (int y = 0; y < a.height; ++y) {
    for (int x = 0; x < 3 * a.width; ++x) {
      const double d = static_cast<double>(a.pixel(0, y)[x]) - b.pixel(0, y)[x];
      sum += d * d;
    }
  }
  const double mse = sum / (3.0 * a.width * a.height);
  return mse == 0 ? 200.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

Picture Subsample(const Picture& src, int step) {
  Picture out = MakePicture((src.width + step - 1) / step, (src.height + step - 1) / step);
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x) std::memcpy(out.pixel(x, y), src.pixel(x * step, y * step), 3);
  return out;
}

bool SameBytes(const Picture& a, const Picture& b) {
  return a.width == b.width && a.height == b.height && a.stride == b.stride && a.bytes == b.bytes;
}

}  // namespace iptest
