// The PPM reader and the resampler behind photo.h.
#include "photo.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>

#ifndef MORVANE_TESTDATA_DIR
#error "MORVANE_TESTDATA_DIR must name imageprocessing/tests/data"
#endif

namespace iptest {

int DefaultStride(int width) { return (3 * width + 3) / 4 * 4; }

Picture MakePicture(int width, int height, int stride, std::uint8_t fill) {
  Picture p;
  p.width = width;
  p.height = height;
  p.stride = stride > 0 ? stride : DefaultStride(width);
  p.bytes.assign(static_cast<std::size_t>(p.stride) * height, fill);
  return p;
}

Picture LoadPpm(const std::string& name) {
  const std::string path = std::string(MORVANE_TESTDATA_DIR) + "/" + name;
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!f) throw std::runtime_error("cannot open " + path);
  char magic[3] = {};
  int w = 0, h = 0, maxval = 0;
  if (std::fscanf(f.get(), "%2s %d %d %d", magic, &w, &h, &maxval) != 4 ||
      std::string(magic) != "P6" || maxval != 255 || w < 1 || h < 1 || std::fgetc(f.get()) == EOF) {
    throw std::runtime_error(path + " is not an 8-bit P6 file");
  }
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(w) * h * 3);
  if (std::fread(rgb.data(), 1, rgb.size(), f.get()) != rgb.size()) {
    throw std::runtime_error(path + " is truncated");
  }
  Picture p = MakePicture(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::uint8_t* s = &rgb[(static_cast<std::size_t>(y) * w + x) * 3];
      std::uint8_t* d = p.pixel(x, y);
      d[0] = s[2];
      d[1] = s[1];
      d[2] = s[0];
    }
  }
  return p;
}

Picture Resample(const Picture& src, int width, int height) {
  Picture p = MakePicture(width, height);
  for (int y = 0; y < height; ++y) {
    const double sy = std::clamp((y + 0.5) * src.height / height - 0.5, 0.0, src.height - 1.0);
    const int y0 = static_cast<int>(sy);
    const int y1 = std::min(y0 + 1, src.height - 1);
    const double fy = sy - y0;
    for (int x = 0; x < width; ++x) {
      const double sx = std::clamp((x + 0.5) * src.width / width - 0.5, 0.0, src.width - 1.0);
      const int x0 = static_cast<int>(sx);
      const int x1 = std::min(x0 + 1, src.width - 1);
      const double fx = sx - x0;
      for (int c = 0; c < 3; ++c) {
        const double top = src.pixel(x0, y0)[c] * (1 - fx) + src.pixel(x1, y0)[c] * fx;
        const double bottom = src.pixel(x0, y1)[c] * (1 - fx) + src.pixel(x1, y1)[c] * fx;
        p.pixel(x, y)[c] = static_cast<std::uint8_t>(std::lround(top * (1 - fy) + bottom * fy));
      }
    }
  }
  return p;
}

}  // namespace iptest
