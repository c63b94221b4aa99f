// Test helpers for the filter: crops and synthetic pictures, a slow
// reference of the filter's definition, and PSNR. Pictures and photographs
// come from photo.h, which the benchmark shares.
#pragma once

#include "photo.h"

#include <cstdint>
#include <random>
#include <vector>

namespace iptest {

Picture Crop(const Picture& src, int x0, int y0, int width, int height);

Picture RandomPicture(int width, int height, std::uint32_t seed);
// Slowly varying colours with a little noise: what a smooth sky or skin gives.
Picture SmoothPicture(int width, int height, std::uint32_t seed);

// The exact filter (exact_filter.h) on a whole picture. Returns the base per
// pixel; with a step, only at pixels whose x and y are multiples of it (NaN
// elsewhere), which keeps the reference affordable at the large sigma_s of big
// pictures.
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
