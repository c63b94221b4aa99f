// Plans one call of the filter: picks the grid or the direct path so that the
// working memory never exceeds the picture's own Stride * Height bytes, makes
// the single allocation, and runs the row kernels on OpenMP threads in an
// order that does not depend on how many threads there are.
//
// Working memory (one allocation, nothing else on the heap):
//   grid path   gy * rowFloats * 4                      the grid
//             + 8 * (Width + 16 rounded up to 16)       column index and weight
//             + T * (16 * rowFloats + 9216)             per thread: 4 accumulator
//                                                       rows + splat chunk
//             + 64                                      alignment slack
//     with gx = floor((W-1)/s) + 2, gy = floor((H-1)/s) + 2 (s = sigma_s) and
//     rowFloats = 24 * gx rounded up to 64. For 1920x1080 that is ~0.85 MB
//     against the picture's 6.2 MB; T is lowered (to 1 at worst) if needed.
//   direct path 2 * Width * Height                      16-bit luminance copy
//     used when the grid would not fit (short side below ~380 px), where
//     sigma_s < 6 keeps the exact window affordable.
// Both formulas are what GridBytes()/DirectBytes() compute, and the tests
// count the bytes actually requested.
#include "enhance.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "ImageProcessing.h"
#include "filter_internal.h"

namespace morvane::imgproc {
namespace {

constexpr std::size_t kAlign = 64;
constexpr std::size_t kTablePad = 16;  // vector loads of the column tables may run past Width
// Below this many pixels a second thread costs more to wake than it saves.
constexpr long long kPixelsPerThread = 16384;

std::size_t RoundUp(std::size_t v, std::size_t a) { return (v + a - 1) / a * a; }

struct GridPlan {
  double spacing = 0;   // grid step in pixels (= sigma_s)
  int gx = 0;           // cells across
  int strips = 0;       // pixel-row strips; grid rows are strips + 1
  std::size_t rowFloats = 0;
  std::size_t tableEntries = 0;
  std::size_t gridBytes = 0;
  std::size_t sharedBytes = 0;
  std::size_t threadBytes = 0;
};

// First pixel row of strip s. Rows of strip s lie between grid rows s and s+1;
// deriving both the strips and the row weights from this one function keeps
// the splat and the slice in exact agreement.
int StripStart(int s, double spacing, int height) {
  return static_cast<int>(std::min<double>(height, std::ceil(s * spacing)));
}

GridPlan PlanGrid(int width, int height, double spacing) {
  GridPlan p;
  p.spacing = spacing;
  p.gx = static_cast<int>(std::floor((width - 1) / spacing)) + 2;
  while (StripStart(p.strips, spacing, height) < height) ++p.strips;
  const std::size_t gy = static_cast<std::size_t>(p.strips) + 1;
  p.rowFloats = RoundUp(static_cast<std::size_t>(p.gx) * kCellFloats, kRowAlignFloats);
  p.tableEntries = RoundUp(static_cast<std::size_t>(width) + kTablePad, kTablePad);
  p.gridBytes = gy * p.rowFloats * sizeof(float);
  p.sharedBytes = p.gridBytes + p.tableEntries * (sizeof(std::int32_t) + sizeof(float));
  p.threadBytes = RoundUp(kSplatCopies * p.rowFloats * sizeof(float) +
                              kSplatChunk * (sizeof(std::int32_t) + 8 * sizeof(float)),
                          kAlign);
  return p;
}

std::size_t GridBytes(const GridPlan& p, int threads) {
  return p.sharedBytes + static_cast<std::size_t>(threads) * p.threadBytes + kAlign;
}

std::size_t DirectBytes(int width, int height) {
  return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * sizeof(std::uint16_t);
}

int RunGrid(unsigned char* src, int width, int height, int stride, const GridPlan& p, int threads,
            float gain) {
  const std::size_t bytes = GridBytes(p, threads);
  std::unique_ptr<unsigned char[]> memory(new (std::nothrow) unsigned char[bytes]);
  if (!memory) return IMAGEPROCESSING_ERROR_OUT_OF_MEMORY;

  unsigned char* cursor = reinterpret_cast<unsigned char*>(
      RoundUp(reinterpret_cast<std::uintptr_t>(memory.get()), kAlign));
  float* grid = reinterpret_cast<float*>(cursor);
  cursor += p.gridBytes;
  auto* colOff = reinterpret_cast<std::int32_t*>(cursor);
  cursor += p.tableEntries * sizeof(std::int32_t);
  auto* colW = reinterpret_cast<float*>(cursor);
  cursor += p.tableEntries * sizeof(float);
  cursor = reinterpret_cast<unsigned char*>(RoundUp(reinterpret_cast<std::uintptr_t>(cursor), kAlign));
  unsigned char* threadArea = cursor;  // the 64 bytes of slack cover this rounding too

  for (int x = 0; x < width; ++x) {
    const double u = x / p.spacing;
    const double cell = std::floor(u);
    colOff[x] = static_cast<std::int32_t>(cell) * kCellFloats;
    colW[x] = static_cast<float>(u - cell);
  }
  for (std::size_t x = static_cast<std::size_t>(width); x < p.tableEntries; ++x) {
    colOff[x] = 0;
    colW[x] = 0.0f;
  }

  const std::size_t rowFloats = p.rowFloats;
  const int gy = p.strips + 1;
  const std::size_t usedFloats = static_cast<std::size_t>(p.gx) * kCellFloats;
  const int yBlocks = static_cast<int>((usedFloats + kRowAlignFloats - 1) / kRowAlignFloats);

#pragma omp parallel num_threads(threads)
  {
    unsigned char* mine = threadArea + static_cast<std::size_t>(omp_get_thread_num()) * p.threadBytes;
    SplatScratch s;
    s.copies = reinterpret_cast<float*>(mine);
    s.off = reinterpret_cast<std::int32_t*>(mine + kSplatCopies * rowFloats * sizeof(float));
    s.near = reinterpret_cast<float*>(s.off + kSplatChunk);
    s.far = s.near + 4 * kSplatChunk;
    std::memset(s.copies, 0, kSplatCopies * rowFloats * sizeof(float));

#pragma omp for schedule(static)
    for (int r = 0; r < gy; ++r) std::memset(grid + r * rowFloats, 0, rowFloats * sizeof(float));

    // A strip adds into grid rows s and s+1. Even strips first, then odd ones:
    // within a phase no two strips share a grid row, and every grid row gets
    // its two contributions in the same order whatever the thread count.
    for (int phase = 0; phase < 2; ++phase) {
      const int count = (p.strips - phase + 1) / 2;
#pragma omp for schedule(static)
      for (int i = 0; i < count; ++i) {
        const int strip = phase + 2 * i;
        const int yEnd = StripStart(strip + 1, p.spacing, height);
        float* g0 = grid + static_cast<std::size_t>(strip) * rowFloats;
        float* g1 = g0 + rowFloats;
        for (int y = StripStart(strip, p.spacing, height); y < yEnd; ++y) {
          const float wy = static_cast<float>(std::clamp(y / p.spacing - strip, 0.0, 1.0));
          SplatRow(src + static_cast<std::ptrdiff_t>(y) * stride, width, colOff, colW, rowFloats, s);
          FlushRow(s.copies, rowFloats, g0, g1, 1.0f - wy, wy);
        }
      }
    }

#pragma omp for schedule(static)
    for (int r = 0; r < gy; ++r) {
      float* row = grid + static_cast<std::size_t>(r) * rowFloats;
      BlurRowRange(row, p.gx);
      BlurAxis(row, p.gx, kCellFloats, kCellFloats);
    }

#pragma omp for schedule(static)
    for (int b = 0; b < yBlocks; ++b) {
      const std::size_t first = static_cast<std::size_t>(b) * kRowAlignFloats;
      BlurAxis(grid + first, gy, rowFloats, std::min(kRowAlignFloats, usedFloats - first));
    }

#pragma omp for schedule(static)
    for (int strip = 0; strip < p.strips; ++strip) {
      const int yEnd = StripStart(strip + 1, p.spacing, height);
      const float* g0 = grid + static_cast<std::size_t>(strip) * rowFloats;
      for (int y = StripStart(strip, p.spacing, height); y < yEnd; ++y) {
        const float wy = static_cast<float>(std::clamp(y / p.spacing - strip, 0.0, 1.0));
        SliceRow(src + static_cast<std::ptrdiff_t>(y) * stride, width, g0, g0 + rowFloats, wy,
                 rowFloats, colOff, colW, gain, s.copies);
      }
    }
  }
  return IMAGEPROCESSING_OK;
}

int RunDirect(unsigned char* src, int width, int height, int stride, double sigmaS, int radius,
              int threads, float gain) {
  std::unique_ptr<std::uint16_t[]> luma(
      new (std::nothrow) std::uint16_t[static_cast<std::size_t>(width) * static_cast<std::size_t>(height)]);
  if (!luma) return IMAGEPROCESSING_ERROR_OUT_OF_MEMORY;

  float spatial[2 * kMaxDirectRadius + 1];
  for (int d = -radius; d <= radius; ++d) {
    spatial[d + radius] = static_cast<float>(std::exp(-(d * d) / (2.0 * sigmaS * sigmaS)));
  }
  std::uint16_t* lumaRows = luma.get();

#pragma omp parallel num_threads(threads)
  {
#pragma omp for schedule(static)
    for (int y = 0; y < height; ++y) {
      LumaRow(src + static_cast<std::ptrdiff_t>(y) * stride, width,
              lumaRows + static_cast<std::ptrdiff_t>(y) * width);
    }
    // The luminance copy holds the original picture, so rows can be rewritten
    // in place while neighbouring rows still read their old values.
#pragma omp for schedule(static)
    for (int y = 0; y < height; ++y) {
      DirectRow(src + static_cast<std::ptrdiff_t>(y) * stride, y, lumaRows, width, height, radius,
                spatial, gain);
    }
  }
  return IMAGEPROCESSING_OK;
}

}  // namespace

int Enhance(unsigned char* src, int width, int height, int stride, int strength) {
  const double sigmaS = std::max(2.0, std::min(width, height) / 64.0);
  const float gain = 0.3f * static_cast<float>(strength);
  const std::size_t budget = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
  const long long pixels = static_cast<long long>(width) * height;
  const int maxThreads = static_cast<int>(
      std::clamp<long long>(pixels / kPixelsPerThread, 1, std::max(1, omp_get_max_threads())));

  const GridPlan plan = PlanGrid(width, height, sigmaS);
  const int radius = static_cast<int>(std::ceil(3.0 * sigmaS));
  // The choice depends on the picture only, never on the thread count, so a
  // picture always takes the same path.
  if (GridBytes(plan, 1) > budget && radius <= kMaxDirectRadius &&
      DirectBytes(width, height) <= budget) {
    return RunDirect(src, width, height, stride, sigmaS, radius, maxThreads, gain);
  }
  int threads = maxThreads;
  while (threads > 1 && GridBytes(plan, threads) > budget) --threads;
  return RunGrid(src, width, height, stride, plan, threads, gain);
}

}  // namespace morvane::imgproc
