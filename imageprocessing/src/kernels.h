// The kernels of the bilateral grid, by stage, and what they share with the
// run of a call (enhance.cpp, band.cpp): the grid's layout and the entry
// points that kernels.cc dispatches to the best SIMD level. Each stage's SIMD
// code is in its own -inl.h: pixels (luma, range bins, rounding and applying
// the detail), splat, blur, slice, and the exact window for tiny pictures.
//
// Algorithm: a bilateral grid (Chen, Paris & Durand 2007, after Paris & Durand
// 2006). The luminance is splatted into a coarse 3-D grid of (sum w*Y, sum w)
// sampled at exactly sigma_s in x/y and sigma_r in range, blurred there with a
// small separable Gaussian, and sliced back by trilinear interpolation; the
// detail, gain * (Y - base), is added to every channel. The tests hold a plain
// scalar version of the whole pipeline (tests/grid_oracle.cpp).
// Why this one: its per-pixel cost is a fixed handful of operations whatever
// sigma_s is (sigma_s reaches 47 px at 4000x3000, where any windowed method
// pays for thousands of taps), the grid for these sigmas holds about 100
// floats per 30x30 pixels so it stays in L2, and against the exact filter it
// measures ~50 dB at strength 5 (the recursive filter cannot follow the
// range kernel exactly, the permutohedral lattice buys nothing in 3-D).
// Splat and slice both use tent (linear) weights in all three axes, which
// adds a variance of s^2/6 each; the grid blur therefore uses variance
// sigma^2 - s^2/3 = 2/3 cell^2 so that the total matches the exact Gaussian.
// Sampling coarser than sigma loses accuracy fast, finer sampling only grows
// the grid. Only tiny pictures (schedule.h) take the exact window instead.
//
// Every kernel works on whole rows and never depends on how rows are shared
// among threads, which keeps the output bit-identical for any thread count.
// The SIMD levels also agree byte for byte: the luma is exact integer
// arithmetic, the splat adds in one fixed order on every target, no float
// operation is fused (kernels -ffp-contract=off, MulThenAdd), and the output
// is one rounding of the detail per pixel.
#pragma once

#include <cstddef>
#include <cstdint>

namespace morvane::imgproc {

// The range axis is sampled at the range sigma (25 levels), so Y in [0, 255]
// lands in bins 0..10 and interpolates up to bin 11; bins beyond would only
// ever hold zeros, so they are not stored.
inline constexpr int kBins = 12;
inline constexpr float kSigmaR = 25.0f;
// Each grid cell holds, per range bin, the homogeneous pair (sum w*Y, sum w).
inline constexpr int kCellFloats = 2 * kBins;
// Grid rows are padded so that every kernel can run whole vectors of any width
// Highway may pick (AVX-512 = 16 floats) without a scalar tail.
inline constexpr std::size_t kRowAlignFloats = 64;

// Per-thread scratch of the splat. A segment's sums go into two copies of
// it, segmentFloats apart, even pixels into the first and odd ones into the
// second: neighbouring pixels usually hit the same cell and bin, and two
// copies break the store-to-load chain that would serialise their additions,
// while each further copy would be one more segment that every row's pass
// over the copies (PendRow, FlushStrip) reads.
struct SplatScratch {
  float* copies;       // the two copies, zero between strips
  std::int32_t* off;   // kBatchPixels first-float offsets into a segment
  float* near;         // 4 * kBatchPixels contributions to cell cx
  float* far;          // 4 * kBatchPixels contributions to cell cx + 1
};

// One segment of a pixel row: pixels [xBegin, xEnd), whose cells start at
// float `base` of a grid row; colOff[x] - base is then a float offset into
// the segment. colOff[x] = 24 * cx, colW[x] = weight of cell cx + 1.
struct Segment {
  int xBegin;
  int xEnd;
  std::int32_t base;
  std::size_t floats;  // floats of the grid row from `base` that it reads or writes
};

// Adds the segment's pixels into the two copies (tent weights in x and in
// range).
void SplatRow(const std::uint8_t* row, const Segment& seg, const std::int32_t* colOff,
              const float* colW, std::size_t segmentFloats, const SplatScratch& s);
// The pixel rows of a strip add into the copies one after another. After
// each row but the strip's last: pending (+)= step * (sum of the copies'
// `floats` floats), `first` for the strip's first row (pending is then
// written, not read); step = the next row's weight of g1 less this row's.
void PendRow(const float* copies, std::size_t segmentFloats, std::size_t floats, float* pending,
             float step, bool first);
// After the strip's last row: with sum the copies' sum (of every row of the
// strip) and p `pending` (zero when null, a strip of one row), adds
// w0 * sum + p to g0 and w1 * sum - p to g1, w1 the last row's weight of g1
// and w0 = 1 - w1; clears the copies for the next strip.
void FlushStrip(float* copies, std::size_t segmentFloats, std::size_t floats, const float* pending,
                float* g0, float* g1, float w0, float w1);
// SplatRow, PendRow and FlushStrip in one for small grid spacings: adds the segment's
// pixels straight into grid rows g0 and g1 (from seg.base on), weighted by
// w0 and w1; uses s.off, s.near and s.far, not the copies.
void SplatRowInto(const std::uint8_t* row, const Segment& seg, const std::int32_t* colOff,
                  const float* colW, float* g0, float* g1, float w0, float w1,
                  const SplatScratch& s);
// The splat by columns (grid spacings from kColumnSplatSpacing): adds the
// segment's pixels in the strip's `rows` pixel rows from `first` (`stride`
// bytes apart) into grid rows g0 and g1 (from seg.base on), the pixel rows
// weighing a, a + d, a + 2 d, ... in g1 and the rest in g0.
void SplatStrip(const std::uint8_t* first, std::ptrdiff_t stride, int rows, float a, float d,
                const Segment& seg, const std::int32_t* colOff, const float* colW, float* g0,
                float* g1);
// In-place Gaussian blur (sigma^2 = 2/3 cell) of the range axis of every cell
// of one grid row.
void BlurBins(float* row, int cells);
// In-place Gaussian blur (same kernel) along an axis: `count` samples
// `stride` floats apart, each a run of `width` floats (a multiple of 8).
void BlurAxis(float* base, int count, std::size_t stride, std::size_t width);
// The same blur across five rows (m2, m1, c, p1, p2: rows -2 .. +2), written
// to `out`; `floats` is a multiple of 8.
void BlurRows(const float* m2, const float* m1, const float* c, const float* p1, const float* p2,
              float* out, std::size_t floats);
// Floats of scratch that the slice of a segment of `floats` floats needs.
constexpr std::size_t SliceScratchFloats(std::size_t floats) { return 5 * floats + 8 * kCellFloats; }
// Prepares in `scratch` (SliceScratchFloats(seg.floats) floats) what the
// slice of the segment's pixel rows between blurred grid rows g0 and g1
// shares; SliceRow then slices each of them with the same scratch.
void SliceStrip(const Segment& seg, const float* g0, const float* g1, const std::int32_t* colOff,
                float* scratch);
// Interpolates the blurred grid at every pixel of the segment and writes the
// enhanced pixels back. g0/g1 are grid rows cy and cy + 1 (whole rows), wy the
// weight of g1; scratch is what SliceStrip prepared for them.
void SliceRow(std::uint8_t* row, const Segment& seg, const float* g0, const float* g1, float wy,
              const std::int32_t* colOff, const float* colW, float gain, float* scratch);

// Luminance of one row, in 1/256 levels.
void LumaRow(const std::uint8_t* row, int width, std::uint16_t* out);
// Exact windowed bilateral filter for one row from the luminance copy, then
// the enhancement written back into `row`. spatial[d + kWindowRadius] = exp(-d^2/2s^2).
void WindowRow(std::uint8_t* row, int y, const std::uint16_t* luma, int width, int height,
               const float* spatial, float gain);

}  // namespace morvane::imgproc
