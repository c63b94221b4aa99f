// Test helpers: crops and synthetic pictures, the exact filter laid out as
// the tests' pictures, and PSNR.
#include "test_support.h"

#include "exact_filter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

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

exact::PictureView View(const Picture& p) { return {p.bytes.data(), p.width, p.height, p.stride}; }

}  // namespace

std::vector<double> ReferenceBase(const Picture& src, int step) {
  const exact::Lattice lattice{step, 0, 0};
  const std::vector<double> samples = exact::Base(View(src), lattice);
  const int columns = lattice.Columns(src.width);
  std::vector<double> base(static_cast<std::size_t>(src.width) * src.height,
                           std::numeric_limits<double>::quiet_NaN());
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const int x = static_cast<int>(i % columns) * step, y = static_cast<int>(i / columns) * step;
    base[static_cast<std::size_t>(y) * src.width + x] = samples[i];
  }
  return base;
}

Picture ReferenceEnhance(const Picture& src, const std::vector<double>& base, int strength) {
  Picture out = src;
  for (int y = 0; y < src.height; ++y) {
    for (int x = 0; x < src.width; ++x) {
      const double b = base[static_cast<std::size_t>(y) * src.width + x];
      if (!std::isnan(b)) exact::EnhancePixel(src.pixel(x, y), b, strength, out.pixel(x, y));
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
