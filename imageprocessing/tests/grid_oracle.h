// The filter's algorithm in plain scalar code, apart from every question of
// speed: a bilateral grid in double precision, as the library defines it
// (kernels.h), in a few dozen lines. The oracle that the kernels and the
// whole filter are held to; pictures small enough for the exact window
// (schedule.h) are held to the exact filter instead (test_support.h).
#pragma once

#include <cstdint>

#include "photo.h"

namespace iptest::grid {

// 0.299 R + 0.587 G + 0.114 B of the B, G, R bytes at p, with the weights in
// 1/32768 that the library uses (exact on every target).
double Luma(const std::uint8_t* p);
// The lower of the two range bins (25 levels apart) around luma y, and the
// weight of the upper one.
void RangeBin(double y, int& bin, double& above);
// Tap d (-2..2) of the grid blur: exp(-d^2 / (2 * 2/3)), normalised.
double Tap(int d);
// Channel c plus the detail, which is rounded once per pixel, clamped.
std::uint8_t Enhanced(std::uint8_t c, double detail);

// The whole filter on a picture that takes the grid (more than 1024 pixels).
Picture Enhance(const Picture& src, int strength);

}  // namespace iptest::grid
