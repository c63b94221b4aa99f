// Test helpers for the filter: pictures in the caller's layout, the PPM
// reader for the committed photographs, a slow reference of the filter's
// definition, and PSNR.
#pragma once

#include <cstdint>
#include <random>
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

// Reads an 8-bit binary PPM (P6) into B, G, R order; fails the current test
// (and returns an empty picture) when the file is missing or malformed.
Picture LoadPpm(const std::string& name);
Picture Crop(const Picture& src, int x0, int y0, int width, int height);
// Bilinear resampling to a new size, used to make smaller or larger photo content.
Picture Resample(const Picture& src, int width, int height);

Picture RandomPicture(int width, int height, std::uint32_t seed);
// Slowly varying colours with a little noise: what a smooth sky or skin gives.
Picture SmoothPicture(int width, int height, std::uint32_t seed);

// The filter's definition evaluated plainly: Y = 0.299 R + 0.587 G + 0.114 B,
// base = bilateral filter of Y with sigma_s = max(2, min(W, H) / 64) and
// sigma_r = 25 over the pixels inside the picture, truncated to a square
// window of radius ceil(3 sigma_s). Returns the base per pixel; with a step,
// only at pixels whose x and y are multiples of it (NaN elsewhere), which keeps
// the reference affordable at the large sigma_s of big pictures.
std::vector<double> ReferenceBase(const Picture& src, int step = 1);
// out = I + 0.3 * strength * (Y - base), rounded to nearest and clamped;
// pixels without a base stay as they are.
Picture ReferenceEnhance(const Picture& src, const std::vector<double>& base, int strength);

// The pixels whose x and y are multiples of `step`, as a picture of their own.
Picture Subsample(const Picture& src, int step);

// PSNR over the 3 * width pixel bytes of each row (padding is ignored).
double Psnr(const Picture& a, const Picture& b);
// True when every byte, padding included, is equal.
bool SameBytes(const Picture& a, const Picture& b);

}  // namespace iptest
