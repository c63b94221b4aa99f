// The filter's run of one call: the exact window for tiny pictures, the
// transpose for narrow ones, and for every other the grid, band after band,
// in the one allocation that the plan lays out (plan.h).
#include "enhance.h"

#include <omp.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "ImageProcessing.h"
#include "band.h"
#include "kernels.h"
#include "plan.h"
#include "schedule.h"

namespace morvane::imgproc {
namespace {

// A block of pixels: columns [x0, x1) of rows [y0, y1).
struct Region {
  int x0 = 0, x1 = 0, y0 = 0, y1 = 0;
};

// The pixels of band b that the next band splats as well.
Region KeptRegion(const GridPlan& p, const Band& b, const std::int32_t* colOff, int width,
                  int height) {
  if (p.bandsAcross) {
    const auto [x0, x1] = PixelsOfCells(colOff, width, b.sx1 - kHalo, b.sx1);
    return Region{x0, x1, 0, height};
  }
  return Region{0, width, StripStart(b.sy1 - kHalo, p.spacing, height),
                StripStart(b.sy1, p.spacing, height)};
}

// Exchanges the region's pixels with the packed copy in `buffer`, or with
// keepOnly just copies them there.
void SwapRegion(unsigned char* src, int stride, const Region& r, unsigned char* buffer,
                bool keepOnly = false) {
  const std::size_t bytes = 3 * static_cast<std::size_t>(r.x1 - r.x0);
  for (int y = r.y0; y < r.y1; ++y) {
    unsigned char* row = src + static_cast<std::ptrdiff_t>(y) * stride + 3 * r.x0;
    if (keepOnly) {
      std::memcpy(buffer, row, bytes);
    } else {
      std::swap_ranges(row, row + bytes, buffer);
    }
    buffer += bytes;
  }
}

// The grid, band after band. The kHalo cells of pixels that a band shares
// with the next are kept as they were until the next band has splatted them
// (two buffers of at most 3 * (3 * sigma_s + 2) * Height or Width bytes).
int RunGrid(unsigned char* src, int width, int height, int stride, const GridPlan& p, int threads,
            float gain) {
  const CallLayout layout = LayOutCall(p, threads);
  std::unique_ptr<unsigned char[]> memory(new (std::nothrow) unsigned char[layout.bytes]);
  if (!memory) return IMAGEPROCESSING_ERROR_OUT_OF_MEMORY;

  unsigned char* base = reinterpret_cast<unsigned char*>(
      RoundUp(reinterpret_cast<std::uintptr_t>(memory.get()), kAlign));
  auto* colOff = reinterpret_cast<std::int32_t*>(base + layout.colOff);
  auto* colW = reinterpret_cast<float*>(base + layout.colW);
  unsigned char* halo[2] = {base + layout.halo[0], base + layout.halo[1]};
  unsigned char* threadArea = base + layout.threads;
  unsigned char* area = base + layout.band;

  // u is never negative, so truncating is its floor, one conversion where
  // std::floor takes a dozen instructions on baseline x86-64.
  for (int x = 0; x < width; ++x) {
    const double u = x / p.spacing;
    const auto cell = static_cast<std::int32_t>(u);
    colOff[x] = cell * kCellFloats;
    colW[x] = static_cast<float>(u - cell);
  }
  for (std::size_t x = static_cast<std::size_t>(width); x < p.tableEntries; ++x) {
    colOff[x] = 0;
    colW[x] = 0.0f;
  }
  const ThreadLayout& scratch = layout.thread;
  for (int t = 0; t < threads; ++t) {
    std::memset(threadArea + static_cast<std::size_t>(t) * scratch.bytes + scratch.copies, 0,
                scratch.slice - scratch.copies);
  }
  const Call call{src, width, height, stride, p, colOff, colW, gain, threadArea, scratch};
  Region previous;
  for (int k = 0; k < p.bands; ++k) {
    const Band band = BandAt(p, k);
    const Region keep = k + 1 < p.bands ? KeptRegion(p, band, colOff, width, height) : Region{};
    // The next band splats these pixels too, so their originals wait here.
    SwapRegion(src, stride, keep, halo[k & 1], true);
    RunBand(call, band, area, threads);
    // This band has splatted the previous band's kept pixels: their
    // rewritten values go back in. Its own go out and the originals back.
    SwapRegion(src, stride, previous, halo[(k + 1) & 1]);
    SwapRegion(src, stride, keep, halo[k & 1]);
    previous = keep;
  }
  return IMAGEPROCESSING_OK;
}

// The exact window for tiny pictures (see schedule.h): a 16-bit luminance
// copy of the picture is all it allocates. Their sigma_s is always 2 px.
int RunWindow(unsigned char* src, int width, int height, int stride, float gain) {
  std::unique_ptr<std::uint16_t[]> luma(
      new (std::nothrow) std::uint16_t[static_cast<std::size_t>(width) * static_cast<std::size_t>(height)]);
  if (!luma) return IMAGEPROCESSING_ERROR_OUT_OF_MEMORY;
  // exp(-d^2 / (2 * 2^2)) for d = 0 .. 6, rounded to float: written out
  // because C libraries differ in the last bit of exp, and the bytes must not
  // depend on the one the library is linked with.
  static_assert(kWindowRadius == 6);
  constexpr float kSpatial[kWindowRadius + 1] = {0x1p+0f,        0x1.c3d6a2p-1f, 0x1.368b3p-1f,
                                                 0x1.4c71b2p-2f, 0x1.152aaap-3f, 0x1.67ee6ep-5f,
                                                 0x1.6c0504p-7f};
  float spatial[2 * kWindowRadius + 1];
  for (int d = -kWindowRadius; d <= kWindowRadius; ++d) spatial[d + kWindowRadius] = kSpatial[std::abs(d)];
  for (int y = 0; y < height; ++y) {
    LumaRow(src + static_cast<std::ptrdiff_t>(y) * stride, width, luma.get() + static_cast<std::ptrdiff_t>(y) * width);
  }
  // The luminance copy holds the original picture, so rows can be rewritten
  // in place while neighbouring rows still read their old values.
  for (int y = 0; y < height; ++y) {
    WindowRow(src + static_cast<std::ptrdiff_t>(y) * stride, y, luma.get(), width, height, spatial, gain);
  }
  return IMAGEPROCESSING_OK;
}

// Writes the transpose of the width x height picture at `from` to `to`:
// pixel (x, y) goes to row x, column y, kTransposeRows rows at a time.
void Transpose(const unsigned char* from, int fromStride, int width, int height, unsigned char* to,
               int toStride) {
  for (int y0 = 0; y0 < height; y0 += kTransposeRows) {
    const int y1 = std::min(height, y0 + kTransposeRows);
    for (int x = 0; x < width; ++x) {
      unsigned char* out = to + static_cast<std::ptrdiff_t>(x) * toStride + 3 * y0;
      const unsigned char* in = from + static_cast<std::ptrdiff_t>(y0) * fromStride + 3 * x;
      // Four bytes at a time, two moves where three take four: the fourth
      // byte read is still inside the picture (a later row follows) and the
      // fourth written is overwritten by the next pixel.
      for (int y = y0; y + 1 < y1; ++y, out += 3, in += fromStride) std::memcpy(out, in, 4);
      std::memcpy(out, in, 3);
    }
  }
}

// A picture a few pixels wide is filtered as its transpose (see
// kNarrowWidth). The filter treats both axes alike (sigma_s comes from the shorter side),
// and the copy, Width * Height * 3 bytes, fits the ceiling beside the grid.
int RunTransposed(unsigned char* src, int width, int height, int stride, double sigmaS,
                  int threads, float gain, std::size_t budget) {
  const std::size_t bytes = 3 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  std::unique_ptr<unsigned char[]> copy(new (std::nothrow) unsigned char[bytes]);
  if (!copy) return IMAGEPROCESSING_ERROR_OUT_OF_MEMORY;
  const int copyStride = 3 * height;
  Transpose(src, stride, width, height, copy.get(), copyStride);
  const GridPlan plan = PlanGrid(height, width, sigmaS, budget - bytes);
  const int rc = RunGrid(copy.get(), height, width, copyStride, plan, threads, gain);
  if (rc == IMAGEPROCESSING_OK) Transpose(copy.get(), copyStride, height, width, src, stride);
  return rc;
}

}  // namespace

int Enhance(unsigned char* src, int width, int height, int stride, int strength) {
  const double sigmaS = std::max(2.0, std::min(width, height) / 64.0);
  const float gain = 0.3f * static_cast<float>(strength);
  const std::size_t budget =
      static_cast<std::size_t>(stride) * static_cast<std::size_t>(height) + kWorkingBytes;
  const long long pixels = static_cast<long long>(width) * height;
  if (pixels <= kWindowPixels) return RunWindow(src, width, height, stride, gain);
  // The thread count follows OpenMP's setting (OMP_NUM_THREADS,
  // omp_set_num_threads), the knob a caller already uses for its own work.
  const int threads = static_cast<int>(std::clamp<long long>(
      pixels / kPixelsPerThread, 1, std::clamp(omp_get_max_threads(), 1, kMaxThreads)));
  if (width < kNarrowWidth && height > width) {
    return RunTransposed(src, width, height, stride, sigmaS, threads, gain, budget);
  }
  const GridPlan plan = PlanGrid(width, height, sigmaS, budget);
  return RunGrid(src, width, height, stride, plan, threads, gain);
}

}  // namespace morvane::imgproc
