// Plans one call of the filter: sizes the bilateral grid, splits it into
// bands when it would not fit the memory ceiling, makes the single
// allocation, and runs the row kernels on OpenMP threads in an order that
// does not depend on how many threads there are.
//
// Working memory (one allocation, nothing else on the heap), at most the
// picture's Stride * Height plus 4 MiB:
//   the grid of one band      rows * rowFloats * 4 (+ 64 floats of slack)
//   column index and weight   8 * (Width + 16 rounded up to 16)
//   per thread                4 accumulator segments + splat chunk, ~60 KB
// with gx = floor((W-1)/s) + 2 cells across, gy = floor((H-1)/s) + 2 grid
// rows (s = sigma_s) and rowFloats = 24 * cells rounded up to 64. For
// 1920x1080 the whole grid is ~0.8 MB. Only very flat or very tall pictures
// with a small sigma_s (e.g. 6000x128, where the grid holds 24 bytes per
// pixel against the picture's 3) need more: their grid is then split along
// its long axis into bands that each carry 3 cells of overlap, the reach of
// the grid blur plus the slice, so every band computes its cells exactly as
// the whole grid would. The filter works in place, so the 3 cells of pixels
// that a band shares with the next are kept as they were until the next band
// has splatted them (at most 3 * (3 * sigma_s + 2) * Height or Width bytes).
//
// Pictures of at most kDirectPixels pixels take the exact window instead
// (see kernels-inl.h), which allocates a 16-bit luminance copy and nothing else.
#include "enhance.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "ImageProcessing.h"
#include "kernels.h"

namespace morvane::imgproc {
namespace {

constexpr std::size_t kAlign = 64;
constexpr std::size_t kTablePad = 16;  // vector loads of the column tables may run past Width
constexpr std::size_t kExtraBytes = std::size_t{4} << 20;
// Cells of overlap a band needs on each side: the grid blur reaches 2 cells,
// the slice 1 more.
constexpr int kHalo = 3;
// Threads a call uses at most; the plan reserves scratch for this many.
constexpr int kMaxThreads = 8;
// Below this many pixels a second thread costs more to wake than it saves.
constexpr long long kPixelsPerThread = 16384;

std::size_t RoundUp(std::size_t v, std::size_t a) { return (v + a - 1) / a * a; }

std::size_t RowFloats(int cells) {
  return RoundUp(static_cast<std::size_t>(cells) * kCellFloats, kRowAlignFloats);
}

// First pixel row of strip s. Rows of strip s lie between grid rows s and s+1;
// deriving both the strips and the row weights from this one function keeps
// the splat and the slice in exact agreement.
int StripStart(int s, double spacing, int height) {
  return static_cast<int>(std::min<double>(height, std::ceil(s * spacing)));
}

struct GridPlan {
  double spacing = 0;  // grid step in pixels (= sigma_s)
  int gx = 0;          // cells across; pixels lie in cells 0 .. gx - 2
  int strips = 0;      // pixel-row strips; grid rows are strips + 1
  bool bandsAcross = true;  // bands split the cells across, else the strips
  int bandLength = 0;       // cells or strips each band slices
  int bands = 1;
  std::size_t tableEntries = 0;
  std::size_t segmentFloats = 0;
  std::size_t threadBytes = 0;
  std::size_t sharedBytes = 0;  // column tables and the overlap's pixels
  std::size_t haloBytes = 0;
};

// The part of the grid one band works on: it slices pixel cells
// [sx0, sx1) of strips [sy0, sy1) and holds grid cells [cx0, cx1) of grid
// rows [ry0, ry1), into which it splats pixel cells [cx0, cx1 - 1) of strips
// [ry0, ry1 - 1).
struct Band {
  int sx0, sx1, sy0, sy1;
  int cx0, cx1, ry0, ry1;
  std::size_t rowFloats;
};

// A block of pixels: columns [x0, x1) of rows [y0, y1).
struct Region {
  int x0 = 0, x1 = 0, y0 = 0, y1 = 0;
};

// The pixels of a band's last kHalo cells or strips, which the next band
// splats: they must still be the original pixels when it does.
struct Overlap {
  Region restore;     // the previous band's: rewritten pixels go back after the splat
  Region keep;        // this band's: originals put back after the slice
  unsigned char* buffer;
};

Band BandAt(const GridPlan& p, int k) {
  Band b{};
  b.sx0 = 0;
  b.sx1 = p.gx - 1;
  b.sy0 = 0;
  b.sy1 = p.strips;
  if (p.bandsAcross) {
    b.sx0 = k * p.bandLength;
    b.sx1 = std::min(b.sx1, b.sx0 + p.bandLength);
  } else {
    b.sy0 = k * p.bandLength;
    b.sy1 = std::min(b.sy1, b.sy0 + p.bandLength);
  }
  b.cx0 = std::max(0, b.sx0 - kHalo);
  b.cx1 = std::min(p.gx, b.sx1 + kHalo + 1);
  b.ry0 = std::max(0, b.sy0 - kHalo);
  b.ry1 = std::min(p.strips + 1, b.sy1 + kHalo + 1);
  b.rowFloats = RowFloats(b.cx1 - b.cx0);
  return b;
}

std::size_t BandGridBytes(const Band& b) {
  return (static_cast<std::size_t>(b.ry1 - b.ry0) * b.rowFloats + kRowAlignFloats) * sizeof(float);
}

std::size_t TotalBytes(const GridPlan& p, int threads) {
  std::size_t grid = 0;
  for (int k = 0; k < p.bands; ++k) grid = std::max(grid, BandGridBytes(BandAt(p, k)));
  return grid + p.sharedBytes + static_cast<std::size_t>(threads) * p.threadBytes + kAlign;
}

GridPlan PlanGrid(int width, int height, double spacing, int threads, std::size_t budget) {
  GridPlan p;
  p.spacing = spacing;
  p.gx = static_cast<int>(std::floor((width - 1) / spacing)) + 2;
  while (StripStart(p.strips, spacing, height) < height) ++p.strips;
  p.tableEntries = RoundUp(static_cast<std::size_t>(width) + kTablePad, kTablePad);
  p.segmentFloats = std::min(RowFloats(kSegmentCells + 1), RowFloats(p.gx));
  p.threadBytes = RoundUp(kSplatCopies * p.segmentFloats * sizeof(float) +
                              kSplatChunk * (sizeof(std::int32_t) + 8 * sizeof(float)),
                          kAlign);
  p.sharedBytes = RoundUp(p.tableEntries * (sizeof(std::int32_t) + sizeof(float)), kAlign);
  // Bands run along the grid's long axis; the short one has at most ~66
  // cells (sigma_s is 1/64 of the short side), so a band of a few cells
  // always fits in the 4 MiB above the picture.
  p.bandsAcross = p.gx - 1 >= p.strips;
  const int length = p.bandsAcross ? p.gx - 1 : p.strips;
  p.bandLength = length;
  if (TotalBytes(p, threads) > budget) {
    const std::size_t pixels = static_cast<std::size_t>(std::ceil(kHalo * spacing)) + 2;
    p.haloBytes = RoundUp(3 * pixels * static_cast<std::size_t>(p.bandsAcross ? height : width), kAlign);
    p.sharedBytes += p.haloBytes;
    // A band at least kHalo long leaves the next band's overlap within its own cells.
    while (p.bandLength > kHalo && TotalBytes(p, threads) > budget) {
      p.bandLength = std::max(kHalo, p.bandLength * 3 / 4);
      p.bands = (length + p.bandLength - 1) / p.bandLength;
    }
  }
  return p;
}

// Pixel columns whose cell lies in [c0, c1): colOff is non-decreasing.
std::pair<int, int> Columns(const std::int32_t* colOff, int width, int c0, int c1) {
  const std::int32_t* end = colOff + width;
  const int x0 = static_cast<int>(std::lower_bound(colOff, end, c0 * kCellFloats) - colOff);
  const int x1 = static_cast<int>(std::lower_bound(colOff, end, c1 * kCellFloats) - colOff);
  return {x0, x1};
}

// Segment j of a band row whose pixels lie in cells [c0, c1), of which the
// band's grid row holds the cells from cx0 on.
Segment SegmentAt(const GridPlan& p, const Band& b, const std::int32_t* colOff, int width, int c0,
                  int c1, int j) {
  const int first = c0 + j * kSegmentCells;
  const auto [x0, x1] = Columns(colOff, width, first, std::min(c1, first + kSegmentCells));
  const std::size_t offset = static_cast<std::size_t>(first - b.cx0) * kCellFloats;
  return Segment{x0, x1, first * kCellFloats, std::min(p.segmentFloats, b.rowFloats - offset)};
}

int Segments(int c0, int c1) { return (c1 - c0 + kSegmentCells - 1) / kSegmentCells; }

// The pixels of band b that the next band splats as well.
Region KeptRegion(const GridPlan& p, const Band& b, const std::int32_t* colOff, int width,
                  int height) {
  if (p.bandsAcross) {
    const auto [x0, x1] = Columns(colOff, width, b.sx1 - kHalo, b.sx1);
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

float RowWeight(int y, int strip, double spacing) {
  return static_cast<float>(std::clamp(y / spacing - strip, 0.0, 1.0));
}

void RunBand(unsigned char* src, int width, int height, int stride, const GridPlan& p,
             const Band& b, const Overlap& overlap, float* grid, const std::int32_t* colOff,
             const float* colW, unsigned char* threadArea, int threads, float gain) {
  const std::size_t rowFloats = b.rowFloats;
  const int rows = b.ry1 - b.ry0;
  const int cells = b.cx1 - b.cx0;
  const std::size_t usedFloats = static_cast<std::size_t>(cells) * kCellFloats;
  const int yBlocks = static_cast<int>((usedFloats + kRowAlignFloats - 1) / kRowAlignFloats);
  const int splatStrips = rows - 1;
  auto gridRow = [&](int r) { return grid + static_cast<std::size_t>(r - b.ry0) * rowFloats; };
  auto rowOf = [&](int y) { return src + static_cast<std::ptrdiff_t>(y) * stride; };

#pragma omp parallel num_threads(threads)
  {
    unsigned char* mine = threadArea + static_cast<std::size_t>(omp_get_thread_num()) * p.threadBytes;
    SplatScratch s;
    s.copies = reinterpret_cast<float*>(mine);
    s.off = reinterpret_cast<std::int32_t*>(mine + kSplatCopies * p.segmentFloats * sizeof(float));
    s.near = reinterpret_cast<float*>(s.off + kSplatChunk);
    s.far = s.near + 4 * kSplatChunk;
    std::memset(s.copies, 0, kSplatCopies * p.segmentFloats * sizeof(float));

    // A strip adds into grid rows s and s+1. Even strips first, then odd ones:
    // within a phase no two strips share a grid row, and every grid row gets
    // its two contributions in the same order whatever the thread count.
    // Every row's first contribution comes from an even strip, so the even
    // strips clear the grid as they go instead of a pass with a barrier of
    // its own: each its two rows, the last one every row after them and the
    // slack that whole-vector reads may run into.
    const int splatSegments = Segments(b.cx0, b.cx1 - 1);
    for (int phase = 0; phase < 2; ++phase) {
      const int count = (splatStrips - phase + 1) / 2;
#pragma omp for schedule(static)
      for (int i = 0; i < count; ++i) {
        const int strip = b.ry0 + phase + 2 * i;
        const int yEnd = StripStart(strip + 1, p.spacing, height);
        float* g0 = gridRow(strip);
        float* g1 = g0 + rowFloats;
        if (phase == 0) {
          const bool last = i + 1 == count;
          const std::size_t rowsCleared = last ? static_cast<std::size_t>(rows - (strip - b.ry0)) : 2;
          const std::size_t floats = rowsCleared * rowFloats + (last ? kRowAlignFloats : 0);
          std::memset(g0, 0, floats * sizeof(float));
        }
        for (int y = StripStart(strip, p.spacing, height); y < yEnd; ++y) {
          const float wy = RowWeight(y, strip, p.spacing);
          for (int j = 0; j < splatSegments; ++j) {
            const Segment seg = SegmentAt(p, b, colOff, width, b.cx0, b.cx1 - 1, j);
            const std::size_t at = static_cast<std::size_t>(j) * kSegmentCells * kCellFloats;
            SplatRow(rowOf(y), seg, colOff, colW, p.segmentFloats, s);
            FlushRow(s.copies, p.segmentFloats, seg.floats, g0 + at, g1 + at, 1.0f - wy, wy);
          }
        }
      }
    }

    if (p.bands > 1) {
#pragma omp single
      {
        // The previous band's rewritten pixels go back in; this band's own
        // shared pixels are copied out while still original.
        SwapRegion(src, stride, overlap.restore, overlap.buffer);
        SwapRegion(src, stride, overlap.keep, overlap.buffer, true);
      }
    }

#pragma omp for schedule(static)
    for (int r = 0; r < rows; ++r) {
      float* row = grid + static_cast<std::size_t>(r) * rowFloats;
      BlurRowRange(row, cells);
      BlurAxis(row, cells, kCellFloats, kCellFloats);
    }

#pragma omp for schedule(static)
    for (int k = 0; k < yBlocks; ++k) {
      const std::size_t first = static_cast<std::size_t>(k) * kRowAlignFloats;
      BlurAxis(grid + first, rows, rowFloats, std::min(kRowAlignFloats, usedFloats - first));
    }

    const int sliceSegments = Segments(b.sx0, b.sx1);
    // The end of the parallel region waits for every thread anyway.
#pragma omp for schedule(static) nowait
    for (int strip = b.sy0; strip < b.sy1; ++strip) {
      const int yEnd = StripStart(strip + 1, p.spacing, height);
      const float* g0 = gridRow(strip);
      for (int y = StripStart(strip, p.spacing, height); y < yEnd; ++y) {
        const float wy = RowWeight(y, strip, p.spacing);
        for (int j = 0; j < sliceSegments; ++j) {
          const Segment seg = SegmentAt(p, b, colOff, width, b.sx0, b.sx1, j);
          const std::size_t at = static_cast<std::size_t>(seg.base / kCellFloats - b.cx0) * kCellFloats;
          SliceRow(rowOf(y), seg, g0 + at, g0 + rowFloats + at, wy, colOff, colW, gain, s.copies);
        }
      }
    }
  }
  // The next band splats these pixels: the originals go back for it, the
  // rewritten ones wait in the buffer.
  SwapRegion(src, stride, overlap.keep, overlap.buffer);
}

int RunGrid(unsigned char* src, int width, int height, int stride, const GridPlan& p, int threads,
            float gain) {
  const std::size_t bytes = TotalBytes(p, threads);
  std::unique_ptr<unsigned char[]> memory(new (std::nothrow) unsigned char[bytes]);
  if (!memory) return IMAGEPROCESSING_ERROR_OUT_OF_MEMORY;

  unsigned char* base = reinterpret_cast<unsigned char*>(
      RoundUp(reinterpret_cast<std::uintptr_t>(memory.get()), kAlign));
  auto* colOff = reinterpret_cast<std::int32_t*>(base);
  auto* colW = reinterpret_cast<float*>(colOff + p.tableEntries);
  unsigned char* haloBuffer = base + p.sharedBytes - p.haloBytes;
  unsigned char* threadArea = base + p.sharedBytes;
  auto* grid = reinterpret_cast<float*>(threadArea + static_cast<std::size_t>(threads) * p.threadBytes);

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
  Overlap overlap{Region{}, Region{}, haloBuffer};
  for (int k = 0; k < p.bands; ++k) {
    const Band band = BandAt(p, k);
    overlap.keep = k + 1 < p.bands ? KeptRegion(p, band, colOff, width, height) : Region{};
    RunBand(src, width, height, stride, p, band, overlap, grid, colOff, colW, threadArea, threads,
            gain);
    overlap.restore = overlap.keep;
  }
  return IMAGEPROCESSING_OK;
}

// The exact window for tiny pictures (see kernels-inl.h): a 16-bit luminance
// copy of the picture is all it allocates.
int RunDirect(unsigned char* src, int width, int height, int stride, double sigmaS, float gain) {
  std::unique_ptr<std::uint16_t[]> luma(
      new (std::nothrow) std::uint16_t[static_cast<std::size_t>(width) * static_cast<std::size_t>(height)]);
  if (!luma) return IMAGEPROCESSING_ERROR_OUT_OF_MEMORY;
  float spatial[2 * kDirectRadius + 1];
  for (int d = -kDirectRadius; d <= kDirectRadius; ++d) {
    spatial[d + kDirectRadius] = static_cast<float>(std::exp(-(d * d) / (2.0 * sigmaS * sigmaS)));
  }
  for (int y = 0; y < height; ++y) {
    LumaRow(src + static_cast<std::ptrdiff_t>(y) * stride, width, luma.get() + static_cast<std::ptrdiff_t>(y) * width);
  }
  // The luminance copy holds the original picture, so rows can be rewritten
  // in place while neighbouring rows still read their old values.
  for (int y = 0; y < height; ++y) {
    DirectRow(src + static_cast<std::ptrdiff_t>(y) * stride, y, luma.get(), width, height,
              kDirectRadius, spatial, gain);
  }
  return IMAGEPROCESSING_OK;
}

}  // namespace

int Enhance(unsigned char* src, int width, int height, int stride, int strength) {
  const double sigmaS = std::max(2.0, std::min(width, height) / 64.0);
  const float gain = 0.3f * static_cast<float>(strength);
  const std::size_t budget =
      static_cast<std::size_t>(stride) * static_cast<std::size_t>(height) + kExtraBytes;
  const long long pixels = static_cast<long long>(width) * height;
  if (pixels <= kDirectPixels) return RunDirect(src, width, height, stride, sigmaS, gain);
  const int threads = static_cast<int>(std::clamp<long long>(
      pixels / kPixelsPerThread, 1, std::clamp(omp_get_max_threads(), 1, kMaxThreads)));
  // Bands are planned for kMaxThreads whatever the count at hand, so that a
  // picture is always cut the same way and its bytes never depend on it.
  const GridPlan plan = PlanGrid(width, height, sigmaS, kMaxThreads, budget);
  return RunGrid(src, width, height, stride, plan, threads, gain);
}

}  // namespace morvane::imgproc
