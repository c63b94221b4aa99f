// Photo content for the tests and the benchmark: pictures in the caller's
// layout, the reader for the committed PPM photographs, and resampling to any
// size. Knows nothing of the test framework.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace iptest {

// A picture laid out as the caller lays it out: B, G, R bytes, rows `stride`
// apart. Padding bytes are part of `bytes`.
struct Picture {
  int width = 0;
  int height = 0;
  int stride = 0;
  std::vector<std::uint8_t> bytes;

  std::uint8_t* data() { return bytes.data(); }
  const std::uint8_t* pixel(int x, int y) const {
    return bytes.data() + static_cast<std::size_t>(y) * stride + 3 * static_cast<std::size_t>(x);
  }
  std::uint8_t* pixel(int x, int y) {
    return bytes.data() + static_cast<std::size_t>(y) * stride + 3 * static_cast<std::size_t>(x);
  }
};

// The caller's stride: 3 * width rounded up to a multiple of 4.
int DefaultStride(int width);
Picture MakePicture(int width, int height, int stride = 0, std::uint8_t fill = 0);

// Reads an 8-bit binary PPM (P6) from the test data folder into B, G, R
// order; throws std::runtime_error naming the file when it is missing or
// malformed.
Picture LoadPpm(const std::string& name);
// Bilinear resampling to a new size, used to make smaller or larger photo content.
Picture Resample(const Picture& src, int width, int height);

}  // namespace iptest
