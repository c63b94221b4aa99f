// Internal shapes shared by the entry point, the orchestration and the SIMD
// kernels: grid constants, the per-row kernel signatures that the dispatcher
// exposes, and nothing that leaves the library.
#pragma once

#include <cstddef>
#include <cstdint>

namespace morvane::imgproc {

// The range axis is sampled at the range sigma (25 levels), so Y in [0, 255]
// lands in cells 0..10 and interpolates up to cell 11; cells beyond would only
// ever hold zeros, so they are not stored.
inline constexpr int kBins = 12;
inline constexpr float kSigmaR = 25.0f;
// Each grid cell holds, per range bin, the homogeneous pair (sum w*Y, sum w).
inline constexpr int kCellFloats = 2 * kBins;
// Grid rows are padded so that every kernel can run whole vectors of any width
// Highway may pick (AVX-512 = 16 floats) without a scalar tail.
inline constexpr std::size_t kRowAlignFloats = 64;
// Pixels splatted per pass, so that per-pixel scratch does not grow with Width.
inline constexpr int kSplatChunk = 256;
// Independent copies of the row accumulator: neighbouring pixels usually hit
// the same cell and bin, and spreading them over copies breaks the
// store-to-load dependency chain that would otherwise serialise the splat.
inline constexpr int kSplatCopies = 4;
// Largest window radius of the direct path; its spatial weights live on the
// stack, so the direct path allocates nothing but the luminance copy.
inline constexpr int kMaxDirectRadius = 64;

// Per-thread scratch of the splat (the slice reuses its start for one grid row).
struct SplatScratch {
  float* copies;       // kSplatCopies rows of rowFloats, zero between rows
  std::int32_t* off;   // kSplatChunk first-float offsets into a row
  float* near;         // 4 * kSplatChunk contributions to cell cx
  float* far;          // 4 * kSplatChunk contributions to cell cx + 1
};

// Adds the pixels of one row into the accumulator copies (tent weights in x
// and in range). colOff[x] = 24 * cx, colW[x] = weight of cell cx + 1.
void SplatRow(const std::uint8_t* row, int width, const std::int32_t* colOff,
              const float* colW, std::size_t rowFloats, const SplatScratch& s);
// Sums the copies in a fixed order, adds w0 * sum to g0 and w1 * sum to g1, and
// clears the copies for the next row.
void FlushRow(float* copies, std::size_t rowFloats, float* g0, float* g1, float w0,
              float w1);
// In-place Gaussian blur (sigma^2 = 2/3 cell) of the range axis of every cell
// of one grid row.
void BlurRowRange(float* row, int cells);
// In-place Gaussian blur (same kernel) along an axis: `count` samples
// `stride` floats apart, each a run of `width` floats (a multiple of 8).
void BlurAxis(float* base, int count, std::size_t stride, std::size_t width);
// Interpolates the blurred grid at every pixel of one row and writes the
// enhanced pixels back. g0/g1 are grid rows cy and cy + 1, wy the weight of g1;
// rowScratch holds kSplatCopies * rowFloats floats.
void SliceRow(std::uint8_t* row, int width, const float* g0, const float* g1, float wy,
              std::size_t rowFloats, const std::int32_t* colOff, const float* colW,
              float gain, float* rowScratch);

// Luminance of one row, in 1/256 levels.
void LumaRow(const std::uint8_t* row, int width, std::uint16_t* out);
// Exact windowed bilateral filter for one row from the luminance copy, then
// the enhancement written back into `row`. spatial[d + radius] = exp(-d^2/2s^2).
void DirectRow(std::uint8_t* row, int y, const std::uint16_t* luma, int width, int height,
               int radius, const float* spatial, float gain);

}  // namespace morvane::imgproc
