// Plans one call of the filter: sizes the bilateral grid, splits it into
// bands when it would not fit the memory ceiling, makes the single
// allocation, and runs the row kernels on the calling thread and helper
// threads (workers.h) without a barrier, in an order whose result does not
// depend on how many threads there are.
//
// Schedule. The strips of a band (the pixel rows between two grid rows) are
// cut into chunks of kChunkStrips or a few more strips, a cut that depends
// on the picture alone. Threads take chunks from an atomic counter, so a thread
// that wakes late or is descheduled simply takes fewer, and nobody waits for
// it except at the end of the call. Inside a chunk one thread runs the whole
// pipeline on a rolling window (as Halide's bilateral_grid schedule does):
// it splats a strip, blurs a grid row across x and range once both its
// strips are in, blurs across y (out of place, into a two-row ring) once
// the row's four neighbours are in, and slices a strip as soon as its two
// blurred rows exist, while the strip's pixels are still in cache.
// Where two chunks meet at strip k, each chunk adds its half of grid row k
// into a row of its own, and whichever of the two finishes its part second
// adds the halves (always in the same order), blurs row k and slices strips
// k-3 .. k+2, the ones whose blurred rows reach across k. Only one blurred
// row per cut is computed twice, no thread ever waits for another, and the
// strips next to a cut are rewritten only after both chunks have splatted
// them (the filter works in place). The grid rows in x/range-blurred form stay intact for
// that job; only the ring rows are overwritten.
// A band too low for two chunks (a strip of a few grid rows) is cut across
// x into columns instead, each one chunk with kHalo cells of overlap like a
// band; the kHalo pixel cells on each side of a cut, which both columns
// splat, are sliced by whichever of the two finishes second, from its
// neighbour's rows as well as its own. So a 10000x10 strip keeps both
// threads busy, and still no thread waits for another.
//
// Working memory (one allocation, nothing else on the heap), at most the
// picture's Stride * Height plus 4 MiB:
//   the grid of one band      rows * rowFloats * 4
//   halves at chunk cuts      one row per cut, plus one row of zeros
//   per thread                4 ring rows, 2 accumulator segments, the
//                             slice's scratch and the splat chunk
//   column index and weight   8 * (Width + 16 rounded up to 16)
// (a band cut into columns holds each column's rows, 2 * kHalo + 1 cells
// wider, and rings as wide as its widest column),
// with gx = floor((W-1)/s) + 2 cells across, gy = floor((H-1)/s) + 2 grid
// rows (s = sigma_s) and rowFloats = 24 * cells rounded up to 64. For
// 1920x1080 the whole grid is ~0.8 MB. Only very flat or very tall pictures
// with a small sigma_s (e.g. 6000x128, where the grid holds 24 bytes per
// pixel against the picture's 3) need more: their grid is then split along
// its long axis into bands that each carry 3 cells of overlap, the reach of
// the grid blur plus the slice, so every band computes its cells exactly as
// the whole grid would. The 3 cells of pixels that a band shares with the
// next are kept as they were until the next band has splatted them (two
// buffers of at most 3 * (3 * sigma_s + 2) * Height or Width bytes).
//
// A picture narrower than kNarrowWidth is filtered as its transpose, a copy
// of Width * Height * 3 bytes allocated beside the grid's area and counted
// in the ceiling.
//
// Pictures of at most kDirectPixels pixels take the exact window instead
// (see kernels-inl.h), which allocates a 16-bit luminance copy and nothing else.
#include "enhance.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "ImageProcessing.h"
#include "kernels.h"
#include "workers.h"

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
// Strips per chunk at least. The job at a cut reads grid rows k-5 .. k+5,
// which both chunks beside it must have finished, so 6 is the least that
// works; it cuts the usual 64 strips into 10 chunks, and the smaller the
// chunk a descheduled thread holds, the less the others wait for it at the
// end. A cut costs one row addition and one blurred row made twice.
constexpr int kChunkStrips = 6;
// Pixels a chunk holds at least: handing out a chunk and the job at its cut
// (atomics whose cache lines travel between cores, a row added, a blurred
// row made twice) must stay small beside the chunk's own work. A strip of a
// 10-pixel-wide picture holds 20 pixels.
constexpr double kChunkPixels = 8192;
// Pictures narrower than this (and taller than wide) are filtered through
// their transpose (see RunTransposed). Measured on AVX2: 15 px wide, the
// transpose saves a fifth of the instructions; 24 px wide it costs 7 % more.
constexpr int kNarrowWidth = 16;
// Grid spacings below this (short sides under 160 px) splat straight into
// the grid rows (SplatRowInto) instead of through the accumulator copies and
// their passes. Measured on an AMD EPYC: 10-15 % faster splat and slice of a
// call at 2 px, even at 2.3 px, a tenth slower at 3.1 px (2000x200).
constexpr double kSplatIntoSpacing = 2.5;
// Blurred rows each thread keeps: two for its chunk, two for a job at a cut.
constexpr int kRingRows = 4;
// Cells per column at least, when a band too short for two chunks is cut
// across x instead (see Columns): each column splats and blurs 2 * kHalo + 1
// cells beyond its own, so narrower ones would mostly redo their neighbours'
// work.
constexpr int kColumnCells = 32;

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
  std::size_t threadBytes = 0;  // per thread, besides its ring rows
  std::size_t sharedBytes = 0;  // column tables and the overlap's pixels
  std::size_t haloBytes = 0;    // one of the two overlap buffers
};

// The part of the grid one band works on: it slices pixel cells
// [sx0, sx1) of strips [sy0, sy1) and holds grid cells [cx0, cx1) of grid
// rows [ry0, ry1), into which it splats pixel cells [cx0, cx1 - 1) of strips
// [ry0, ry1 - 1). Its chunks slice cells [slice0, slice1) of them; a column
// leaves the rest to the jobs at its cuts.
struct Band {
  int sx0, sx1, sy0, sy1;
  int cx0, cx1, ry0, ry1;
  int slice0, slice1;
  std::size_t rowFloats;
  int chunks;
  int columns;  // more than 1: the band runs as that many columns of one chunk
};

// A block of pixels: columns [x0, x1) of rows [y0, y1).
struct Region {
  int x0 = 0, x1 = 0, y0 = 0, y1 = 0;
};

// Chunks of `strips` strips, each at least kChunkStrips long and of at
// least kChunkPixels pixels when there is more than one.
int Chunks(int strips, double pixelsPerStrip) {
  const int least =
      std::max(kChunkStrips, static_cast<int>(std::ceil(kChunkPixels / pixelsPerStrip)));
  return std::max(1, strips / least);
}

// Segments of kSegmentCells cells that cells [c0, c1) take.
int Segments(int c0, int c1) { return (c1 - c0 + kSegmentCells - 1) / kSegmentCells; }

// The segments a band row splats, then those it slices.
int BandSegments(const Band& b) { return Segments(b.cx0, b.cx1 - 1) + Segments(b.sx0, b.sx1); }

// Pixel cells [sx0, sx1) and the grid cells around them that a band or a
// column of one needs.
void SetCells(const GridPlan& p, Band& b, int sx0, int sx1) {
  b.sx0 = b.slice0 = sx0;
  b.sx1 = b.slice1 = sx1;
  b.cx0 = std::max(0, sx0 - kHalo);
  b.cx1 = std::min(p.gx, sx1 + kHalo + 1);
  b.rowFloats = RowFloats(b.cx1 - b.cx0);
}

// A band of a single chunk (a strip of a picture a few grid rows high, or a
// band a few cells wide of a very flat one) would leave every other thread
// idle, so it is cut across x into columns of at least kColumnCells cells
// and kChunkPixels pixels, a cut that depends on the picture alone.
int Columns(const GridPlan& p, const Band& b) {
  if (b.chunks > 1) return 1;
  const double pixelsPerCell = p.spacing * p.spacing * (b.ry1 - 1 - b.ry0);
  const int least = std::max(kColumnCells, static_cast<int>(std::ceil(kChunkPixels / pixelsPerCell)));
  return std::max(1, (b.sx1 - b.sx0) / least);
}

// Column j of band b: one chunk that holds the grid cells its pixel cells
// need, as a band does. Where two columns meet, the kHalo pixel cells on
// each side are splatted by both, so neither slices them in place while the
// other may still read them: the job at the cut slices them once both
// columns are done.
Band ColumnAt(const GridPlan& p, const Band& b, int j) {
  const long long cells = b.sx1 - b.sx0;
  Band c = b;
  SetCells(p, c, b.sx0 + static_cast<int>(cells * j / b.columns),
           b.sx0 + static_cast<int>(cells * (j + 1) / b.columns));
  if (j > 0) c.slice0 += kHalo;
  if (j + 1 < b.columns) c.slice1 -= kHalo;
  c.chunks = 1;
  c.columns = 1;
  return c;
}

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
  SetCells(p, b, b.sx0, b.sx1);
  b.ry0 = std::max(0, b.sy0 - kHalo);
  b.ry1 = std::min(p.strips + 1, b.sy1 + kHalo + 1);
  b.chunks = Chunks(b.ry1 - 1 - b.ry0, (b.cx1 - b.cx0) * p.spacing * p.spacing);
  b.columns = Columns(p, b);
  return b;
}

// Hands out consecutive aligned pieces of one area; without an area it only
// adds up their sizes, so that planning and running share one layout.
class Carver {
 public:
  explicit Carver(unsigned char* base) : base_(base) {}

  template <class T>
  T* Take(std::size_t count) {
    T* piece = base_ != nullptr ? reinterpret_cast<T*>(base_ + used_) : nullptr;
    used_ += RoundUp(count * sizeof(T), kAlign);
    return piece;
  }

  std::size_t Used() const { return used_; }

 private:
  unsigned char* base_;
  std::size_t used_ = 0;
};

// Where one band, or one column of it, keeps its rows.
struct BandMemory {
  float* grid;                  // its grid rows, then one half-row per cut
  const float* zeros;           // a row of zeros, at least rowFloats long
  float* rings;                 // kRingRows rows per thread, ringFloats apart
  std::size_t ringFloats;
  Segment* segments;            // BandSegments of them
  std::atomic<int>* arrivals;   // one per chunk
};

// The row of zeros and every thread's ring, ringFloats wide (whole-vector
// reads of a segment that starts inside a band's halo run up to 15 floats
// past the row, hence the slack), zeroed when there is an area.
BandMemory TakeShared(Carver& area, std::size_t ringFloats, int threads) {
  BandMemory m{};
  float* zeros = area.Take<float>(ringFloats);
  const std::size_t ringsFloats = static_cast<std::size_t>(kRingRows) * threads * ringFloats;
  m.rings = area.Take<float>(ringsFloats + kRowAlignFloats);
  m.ringFloats = ringFloats;
  if (zeros != nullptr) {
    std::memset(zeros, 0, ringFloats * sizeof(float));
    std::memset(m.rings + ringsFloats, 0, kRowAlignFloats * sizeof(float));
  }
  m.zeros = zeros;
  return m;
}

// Band b's (or a column's) grid rows, half-rows, segments and arrivals.
void TakeOwn(Carver& area, const Band& b, BandMemory& m) {
  m.grid = area.Take<float>((static_cast<std::size_t>(b.ry1 - b.ry0) + b.chunks - 1) * b.rowFloats);
  m.segments = area.Take<Segment>(static_cast<std::size_t>(BandSegments(b)));
  m.arrivals = area.Take<std::atomic<int>>(static_cast<std::size_t>(b.chunks));
}

// Counts the layout of ColumnsRun, below.
std::size_t ColumnsBytes(const GridPlan& p, const Band& b, int threads);

std::size_t BandBytes(const GridPlan& p, const Band& b, int threads) {
  if (b.columns > 1) return ColumnsBytes(p, b, threads);
  Carver area(nullptr);
  BandMemory m = TakeShared(area, b.rowFloats, threads);
  TakeOwn(area, b, m);
  return area.Used();
}

std::size_t TotalBytes(const GridPlan& p, int threads) {
  std::size_t band = 0;
  for (int k = 0; k < p.bands; ++k) band = std::max(band, BandBytes(p, BandAt(p, k), threads));
  return band + p.sharedBytes + static_cast<std::size_t>(threads) * p.threadBytes + kAlign;
}

GridPlan PlanGrid(int width, int height, double spacing, int threads, std::size_t budget) {
  GridPlan p;
  p.spacing = spacing;
  p.gx = static_cast<int>(std::floor((width - 1) / spacing)) + 2;
  while (StripStart(p.strips, spacing, height) < height) ++p.strips;
  p.tableEntries = RoundUp(static_cast<std::size_t>(width) + kTablePad, kTablePad);
  p.segmentFloats = std::min(RowFloats(kSegmentCells + 1), RowFloats(p.gx));
  // The splat's accumulator copies, then the slice's scratch.
  p.threadBytes = RoundUp((kSplatCopies * p.segmentFloats + SliceScratchFloats(p.segmentFloats)) *
                                  sizeof(float) +
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
    p.sharedBytes += 2 * p.haloBytes;
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

// What is the same for every band of a call.
struct Picture {
  unsigned char* src;
  int width, height, stride;
  const GridPlan& plan;
  const std::int32_t* colOff;
  const float* colW;
  float gain;
};

// One thread's scratch: the splat's accumulators, the slice's tables and
// the blurred rows of its chunk (ring) and of a job at a cut (cutRing).
struct ThreadScratch {
  SplatScratch splat;
  float* slice;
  float* ring[2];
  float* cutRing[2];
};

// One band's work: its chunks, the jobs at the cuts between them, and the
// memory they share.
class BandRun {
 public:
  BandRun(const Picture& pic, const Band& band, const BandMemory& m)
      : pic_(pic), b_(band), grid_(m.grid), zeros_(m.zeros), rings_(m.rings),
        ringFloats_(m.ringFloats) {
    halves_ = grid_ + static_cast<std::size_t>(b_.ry1 - b_.ry0) * b_.rowFloats;
    // Every pixel row of the band has the same segments.
    splatSegments_ = m.segments;
    splatCount_ = Segments(b_.cx0, b_.cx1 - 1);
    sliceSegments_ = splatSegments_ + splatCount_;
    sliceCount_ = Segments(b_.slice0, b_.slice1);
    for (int j = 0; j < splatCount_; ++j) splatSegments_[j] = SegmentAt(b_.cx0, b_.cx1 - 1, j);
    for (int j = 0; j < sliceCount_; ++j) sliceSegments_[j] = SegmentAt(b_.slice0, b_.slice1, j);
    arrivals_ = m.arrivals;
    for (int i = 0; i < b_.chunks; ++i) new (arrivals_ + i) std::atomic<int>(0);
  }

  ThreadScratch Scratch(int thread, unsigned char* threadArea) const {
    const GridPlan& p = pic_.plan;
    unsigned char* mine = threadArea + static_cast<std::size_t>(thread) * p.threadBytes;
    ThreadScratch t;
    // Zero from the start of the call on: every FlushStrip leaves them so.
    t.splat.copies = reinterpret_cast<float*>(mine);
    t.slice = t.splat.copies + kSplatCopies * p.segmentFloats;
    t.splat.off =
        reinterpret_cast<std::int32_t*>(t.slice + SliceScratchFloats(p.segmentFloats));
    t.splat.near = reinterpret_cast<float*>(t.splat.off + kSplatChunk);
    t.splat.far = t.splat.near + 4 * kSplatChunk;
    float* ring = rings_ + static_cast<std::size_t>(thread) * kRingRows * ringFloats_;
    t.ring[0] = ring;
    t.ring[1] = ring + ringFloats_;
    t.cutRing[0] = ring + 2 * ringFloats_;
    t.cutRing[1] = ring + 3 * ringFloats_;
    return t;
  }

  // Slices pixel cells [c0, c1) of every strip of the band once all its
  // rows are blurred across, blurring down just the cells those pixels read.
  void SliceCells(int c0, int c1, ThreadScratch& t) const {
    const Segment seg = SegmentAt(c0, c1, 0);
    const std::size_t at = static_cast<std::size_t>(c0 - b_.cx0) * kCellFloats;
    for (int r = b_.sy0; r <= b_.sy1; ++r) {
      BlurRows(RowOrZeros(r - 2) + at, RowOrZeros(r - 1) + at, RowOrZeros(r) + at,
               RowOrZeros(r + 1) + at, RowOrZeros(r + 2) + at, t.ring[r & 1] + at, seg.floats);
      if (r > b_.sy0) Slice(r - 1, t.ring[(r - 1) & 1], t.ring[r & 1], t.slice, &seg, 1);
    }
  }

  int Chunks() const { return b_.chunks; }
  const Band& Shape() const { return b_; }

  // Chunk i splats strips [ChunkStart(i), ChunkStart(i + 1)).
  int ChunkStart(int i) const {
    const long long strips = b_.ry1 - 1 - b_.ry0;
    return b_.ry0 + static_cast<int>(strips * i / b_.chunks);
  }

  void RunChunk(int i, ThreadScratch& t) {
    const int a = ChunkStart(i);
    const int end = ChunkStart(i + 1);
    const bool cutBefore = i > 0;
    const bool cutAfter = i + 1 < b_.chunks;
    // Rows a and `end` are complete only at the band's edges; across a cut
    // the job there blurs them, and the rows whose blur reaches them.
    const int firstX = cutBefore ? a + 1 : a;
    const int firstY = cutBefore ? a + 3 : a;
    const int lastY = cutAfter ? end - 3 : end;
    float* after = cutAfter ? Half(i) : Row(end);
    std::memset(Row(a), 0, b_.rowFloats * sizeof(float));
    for (int s = a; s < end; ++s) {
      float* g1 = s + 1 < end ? Row(s + 1) : after;
      std::memset(g1, 0, b_.rowFloats * sizeof(float));
      Splat(s, Row(s), g1, t.splat, t.slice);
      if (s < firstX) continue;
      BlurAcross(s);
      if (cutBefore && s == a + 5) Arrive(i, t);
      BlurredThrough(s, firstY, lastY, t);
    }
    if (cutAfter) {
      Arrive(i + 1, t);
      return;
    }
    BlurAcross(end);
    for (int r = end; r <= end + 2; ++r) BlurredThrough(r, firstY, lastY, t);
  }

 private:
  float* Row(int r) const { return grid_ + static_cast<std::size_t>(r - b_.ry0) * b_.rowFloats; }
  // The half of grid row ChunkStart(i + 1) that chunk i adds.
  float* Half(int i) const { return halves_ + static_cast<std::size_t>(i) * b_.rowFloats; }
  // Rows beyond the band hold nothing.
  const float* RowOrZeros(int r) const { return r < b_.ry0 || r >= b_.ry1 ? zeros_ : Row(r); }

  // Calls row(y, wy) for every pixel row y of the strip, wy the weight of
  // its lower grid row: the splat and the slice both take their rows here,
  // so they always agree on them.
  template <class RowWork>
  void ForEachRow(int strip, RowWork&& row) const {
    const GridPlan& p = pic_.plan;
    const int yEnd = StripStart(strip + 1, p.spacing, pic_.height);
    for (int y = StripStart(strip, p.spacing, pic_.height); y < yEnd; ++y) {
      row(y, RowWeight(y, strip, p.spacing));
    }
  }

  // Splats the strip into grid rows g0 and g1. `pending` (a segment) is the
  // slice's scratch, free while a strip is splatted.
  void Splat(int strip, float* g0, float* g1, const SplatScratch& s, float* pending) const {
    const std::size_t segmentFloats = pic_.plan.segmentFloats;
    // At small spacings a pass over the copies costs more than the pixels'
    // splat (see SplatRowInto).
    if (pic_.plan.spacing < kSplatIntoSpacing) {
      ForEachRow(strip, [&](int y, float wy) {
        for (int j = 0; j < splatCount_; ++j) {
          const std::size_t at = static_cast<std::size_t>(j) * kSegmentCells * kCellFloats;
          SplatRowInto(PixelRow(y), splatSegments_[j], pic_.colOff, pic_.colW, g0 + at, g1 + at,
                       1.0f - wy, wy, s);
        }
      });
      return;
    }
    // The copies sum a segment's rows of the whole strip (see FlushStrip), so
    // each segment takes all of them before the next one.
    for (int j = 0; j < splatCount_; ++j) {
      const Segment& seg = splatSegments_[j];
      const std::size_t at = static_cast<std::size_t>(j) * kSegmentCells * kCellFloats;
      int rows = 0;
      float previous = 0.0f;  // weight of the row before
      ForEachRow(strip, [&](int y, float wy) {
        // The copies hold the rows before this one.
        if (rows > 0) PendRow(s.copies, segmentFloats, seg.floats, pending, wy - previous, rows == 1);
        SplatRow(PixelRow(y), seg, pic_.colOff, pic_.colW, segmentFloats, s);
        previous = wy;
        ++rows;
      });
      FlushStrip(s.copies, segmentFloats, seg.floats, rows > 1 ? pending : nullptr, g0 + at, g1 + at,
                 1.0f - previous, previous);
    }
  }

  // Blurs grid row r across x and range, in place.
  void BlurAcross(int r) const {
    const int cells = b_.cx1 - b_.cx0;
    BlurBins(Row(r), cells);
    BlurAxis(Row(r), cells, kCellFloats, kCellFloats);
  }

  // Grid rows up to r are blurred across: blurs row r - 2 down into the ring
  // if it lies in [firstY, lastY], then slices the strip above it if both of
  // its rows are there.
  void BlurredThrough(int r, int firstY, int lastY, ThreadScratch& t) const {
    const int row = r - 2;
    if (row < firstY || row > lastY) return;
    BlurDown(row, t.ring[row & 1]);
    if (row > firstY) Slice(row - 1, t.ring[(row - 1) & 1], t.ring[row & 1], t.slice);
  }

  void BlurDown(int r, float* out) const {
    BlurRows(RowOrZeros(r - 2), RowOrZeros(r - 1), RowOrZeros(r), RowOrZeros(r + 1),
             RowOrZeros(r + 2), out, b_.rowFloats);
  }

  // Slices the strip between blurred rows g0 and g1 if this band owns it,
  // in the band's own segments unless given others.
  void Slice(int strip, const float* g0, const float* g1, float* scratch,
             const Segment* segments = nullptr, int count = 0) const {
    if (strip < b_.sy0 || strip >= b_.sy1) return;
    if (segments == nullptr) {
      segments = sliceSegments_;
      count = sliceCount_;
    }
    for (int j = 0; j < count; ++j) {
      const Segment& seg = segments[j];
      const std::size_t at = static_cast<std::size_t>(seg.base / kCellFloats - b_.cx0) * kCellFloats;
      SliceStrip(seg, g0 + at, g1 + at, pic_.colOff, scratch);
      ForEachRow(strip, [&](int y, float wy) {
        SliceRow(PixelRow(y), seg, g0 + at, g1 + at, wy, pic_.colOff, pic_.colW, pic_.gain, scratch);
      });
    }
  }

  // The chunks on both sides of cut i have done their part when two arrive;
  // the second runs the job.
  void Arrive(int i, ThreadScratch& t) {
    if (arrivals_[i].fetch_add(1, std::memory_order_acq_rel) == 1) RunCut(i, t);
  }

  // Completes grid row k = ChunkStart(i) from the two halves and slices the
  // strips whose blurred rows reach across it.
  void RunCut(int i, ThreadScratch& t) const {
    const int k = ChunkStart(i);
    float* row = Row(k);
    const float* half = Half(i - 1);
    for (std::size_t f = 0; f < b_.rowFloats; ++f) row[f] += half[f];
    BlurAcross(k);
    for (int r = k - 3; r <= k + 3; ++r) {
      BlurDown(r, t.cutRing[r & 1]);
      if (r > k - 3) Slice(r - 1, t.cutRing[(r - 1) & 1], t.cutRing[r & 1], t.slice);
    }
  }

  // Segment j of a band row whose pixels lie in cells [c0, c1). Its pixels
  // reach one cell further, and kernels run whole vectors of 16 floats at
  // most: more than that only costs time where cells are few pixels wide.
  Segment SegmentAt(int c0, int c1, int j) const {
    const int first = c0 + j * kSegmentCells;
    const int last = std::min(c1, first + kSegmentCells);
    const auto [x0, x1] = Columns(pic_.colOff, pic_.width, first, last);
    const std::size_t floats = RoundUp(static_cast<std::size_t>(last - first + 1) * kCellFloats, 16);
    return Segment{x0, x1, first * kCellFloats, floats};
  }

  unsigned char* PixelRow(int y) const { return pic_.src + static_cast<std::ptrdiff_t>(y) * pic_.stride; }

  const Picture& pic_;
  const Band b_;
  float* grid_;
  const float* zeros_;
  float* rings_;
  std::size_t ringFloats_;
  float* halves_ = nullptr;
  Segment* splatSegments_ = nullptr;
  int splatCount_ = 0;
  Segment* sliceSegments_ = nullptr;
  int sliceCount_ = 0;
  std::atomic<int>* arrivals_ = nullptr;
};

// A band cut into columns: the shared rows and rings, sized for the widest
// column, then each column's own rows and run, then the arrivals at the cuts.
class ColumnsRun {
 public:
  // Counts the bytes without an area.
  ColumnsRun(const Picture* pic, const GridPlan& p, const Band& band, Carver& area, int threads)
      : band_(band) {
    std::size_t widest = 0;
    for (int j = 0; j < band_.columns; ++j) widest = std::max(widest, ColumnAt(p, band_, j).rowFloats);
    const BandMemory shared = TakeShared(area, widest, threads);
    runs_ = area.Take<BandRun>(static_cast<std::size_t>(band_.columns));
    for (int j = 0; j < band_.columns; ++j) {
      const Band column = ColumnAt(p, band_, j);
      BandMemory m = shared;
      TakeOwn(area, column, m);
      if (pic != nullptr) new (runs_ + j) BandRun(*pic, column, m);
    }
    arrivals_ = area.Take<std::atomic<int>>(static_cast<std::size_t>(band_.columns));
    if (pic == nullptr) return;
    for (int j = 0; j < band_.columns; ++j) new (arrivals_ + j) std::atomic<int>(0);
  }

  void Run(unsigned char* threadArea, int threads) {
    auto column = [&](int j, int slot) {
      ThreadScratch t = runs_[j].Scratch(slot, threadArea);
      runs_[j].RunChunk(0, t);
      if (j > 0) Arrive(j, t);
      if (j + 1 < band_.columns) Arrive(j + 1, t);
    };
    ShareChunks(band_.columns, std::min(threads, band_.columns), column);
  }

 private:
  // Columns j - 1 and j have splatted everything when both arrive at the cut
  // between them; the second slices the cells they left unsliced.
  void Arrive(int j, ThreadScratch& t) {
    if (arrivals_[j].fetch_add(1, std::memory_order_acq_rel) != 1) return;
    const Band& left = Column(j - 1);
    const Band& right = Column(j);
    runs_[j - 1].SliceCells(left.slice1, left.sx1, t);
    runs_[j].SliceCells(right.sx0, right.slice0, t);
  }

  const Band& Column(int j) const { return runs_[j].Shape(); }

  const Band& band_;
  BandRun* runs_ = nullptr;
  std::atomic<int>* arrivals_ = nullptr;
};

std::size_t ColumnsBytes(const GridPlan& p, const Band& b, int threads) {
  Carver area(nullptr);
  ColumnsRun(nullptr, p, b, area, threads);
  return area.Used();
}

void RunBand(const Picture& pic, const Band& band, float* area, unsigned char* threadArea,
             int threads) {
  Carver memory(reinterpret_cast<unsigned char*>(area));
  if (band.columns > 1) {
    ColumnsRun(&pic, pic.plan, band, memory, threads).Run(threadArea, threads);
    return;
  }
  BandMemory m = TakeShared(memory, band.rowFloats, threads);
  TakeOwn(memory, band, m);
  BandRun run(pic, band, m);
  auto chunk = [&](int i, int slot) {
    ThreadScratch t = run.Scratch(slot, threadArea);
    run.RunChunk(i, t);
  };
  ShareChunks(run.Chunks(), std::min(threads, run.Chunks()), chunk);
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
  unsigned char* halo[2] = {base + p.sharedBytes - 2 * p.haloBytes,
                            base + p.sharedBytes - p.haloBytes};
  unsigned char* threadArea = base + p.sharedBytes;
  auto* area = reinterpret_cast<float*>(threadArea + static_cast<std::size_t>(threads) * p.threadBytes);

  // u is never negative, so truncating is its floor, one conversion where
  // std::floor takes a dozen instructions on baseline x86-64 (a few percent
  // of a call on a 10000x10 strip).
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
  for (int t = 0; t < threads; ++t) {
    std::memset(threadArea + static_cast<std::size_t>(t) * p.threadBytes, 0,
                kSplatCopies * p.segmentFloats * sizeof(float));
  }
  const Picture pic{src, width, height, stride, p, colOff, colW, gain};
  Region previous;
  for (int k = 0; k < p.bands; ++k) {
    const Band band = BandAt(p, k);
    const Region keep = k + 1 < p.bands ? KeptRegion(p, band, colOff, width, height) : Region{};
    // The next band splats these pixels too, so their originals wait here.
    SwapRegion(src, stride, keep, halo[k & 1], true);
    RunBand(pic, band, area, threadArea, threads);
    // This band has splatted the previous band's kept pixels: their
    // rewritten values go back in. Its own go out and the originals back.
    SwapRegion(src, stride, previous, halo[(k + 1) & 1]);
    SwapRegion(src, stride, keep, halo[k & 1]);
    previous = keep;
  }
  return IMAGEPROCESSING_OK;
}

// The exact window for tiny pictures (see kernels-inl.h): a 16-bit luminance
// copy of the picture is all it allocates. Their sigma_s is always 2 px.
int RunDirect(unsigned char* src, int width, int height, int stride, float gain) {
  std::unique_ptr<std::uint16_t[]> luma(
      new (std::nothrow) std::uint16_t[static_cast<std::size_t>(width) * static_cast<std::size_t>(height)]);
  if (!luma) return IMAGEPROCESSING_ERROR_OUT_OF_MEMORY;
  // exp(-d^2 / (2 * 2^2)) for d = 0 .. 6, rounded to float: written out
  // because C libraries differ in the last bit of exp, and the bytes must not
  // depend on the one the library is linked with.
  static_assert(kDirectRadius == 6);
  constexpr float kSpatial[kDirectRadius + 1] = {0x1p+0f,        0x1.c3d6a2p-1f, 0x1.368b3p-1f,
                                                 0x1.4c71b2p-2f, 0x1.152aaap-3f, 0x1.67ee6ep-5f,
                                                 0x1.6c0504p-7f};
  float spatial[2 * kDirectRadius + 1];
  for (int d = -kDirectRadius; d <= kDirectRadius; ++d) spatial[d + kDirectRadius] = kSpatial[std::abs(d)];
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

// Writes the transpose of the width x height picture at `from` to `to`:
// pixel (x, y) goes to row x, column y. Blocks of kTransposeBlock rows keep
// the rows written to in cache however tall the picture is.
void Transpose(const unsigned char* from, int fromStride, int width, int height, unsigned char* to,
               int toStride) {
  constexpr int kTransposeBlock = 16;
  for (int y0 = 0; y0 < height; y0 += kTransposeBlock) {
    const int y1 = std::min(height, y0 + kTransposeBlock);
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

// A picture a few pixels wide is filtered as its transpose: the kernels pay
// a call, a segment's set-up and a vector tail for every row however short,
// so 10000 rows of 10 pixels cost more than twice what 10 rows of 10000 do.
// The filter treats both axes alike (sigma_s comes from the shorter side),
// and the copy, Width * Height * 3 bytes, fits the ceiling beside the grid.
int RunTransposed(unsigned char* src, int width, int height, int stride, double sigmaS,
                  int threads, float gain, std::size_t budget) {
  const std::size_t bytes = 3 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  std::unique_ptr<unsigned char[]> copy(new (std::nothrow) unsigned char[bytes]);
  if (!copy) return IMAGEPROCESSING_ERROR_OUT_OF_MEMORY;
  const int copyStride = 3 * height;
  Transpose(src, stride, width, height, copy.get(), copyStride);
  const GridPlan plan = PlanGrid(height, width, sigmaS, kMaxThreads, budget - bytes);
  const int rc = RunGrid(copy.get(), height, width, copyStride, plan, threads, gain);
  if (rc == IMAGEPROCESSING_OK) Transpose(copy.get(), copyStride, height, width, src, stride);
  return rc;
}

}  // namespace

int Enhance(unsigned char* src, int width, int height, int stride, int strength) {
  const double sigmaS = std::max(2.0, std::min(width, height) / 64.0);
  const float gain = 0.3f * static_cast<float>(strength);
  const std::size_t budget =
      static_cast<std::size_t>(stride) * static_cast<std::size_t>(height) + kExtraBytes;
  const long long pixels = static_cast<long long>(width) * height;
  if (pixels <= kDirectPixels) return RunDirect(src, width, height, stride, gain);
  // The thread count follows OpenMP's setting (OMP_NUM_THREADS,
  // omp_set_num_threads), the knob a caller already uses for its own work.
  const int threads = static_cast<int>(std::clamp<long long>(
      pixels / kPixelsPerThread, 1, std::clamp(omp_get_max_threads(), 1, kMaxThreads)));
  if (width < kNarrowWidth && height > width) {
    return RunTransposed(src, width, height, stride, sigmaS, threads, gain, budget);
  }
  // Bands are planned for kMaxThreads whatever the count at hand, so that a
  // picture is always cut the same way and its bytes never depend on it.
  const GridPlan plan = PlanGrid(width, height, sigmaS, kMaxThreads, budget);
  return RunGrid(src, width, height, stride, plan, threads, gain);
}

}  // namespace morvane::imgproc
