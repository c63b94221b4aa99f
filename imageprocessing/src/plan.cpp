// The arithmetic of the plan: grid size, bands, chunks and the byte layout.
#include "plan.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>

#include "kernels.h"
#include "schedule.h"

namespace morvane::imgproc {
namespace {

// Vector loads of the column tables may run this many entries past Width.
constexpr std::size_t kTablePad = 16;

// Chunks of `strips` strips, each at least kChunkStrips long and of at
// least kChunkPixels pixels when there is more than one.
int ChunksOfStrips(int strips, double pixelsPerStrip) {
  const int least =
      std::max(kChunkStrips, static_cast<int>(std::ceil(kChunkPixels / pixelsPerStrip)));
  return std::max(1, strips / least);
}

// A band of a single chunk of strips (a strip of a picture a few grid rows
// high, or a band a few cells wide of a very flat one) would leave every
// other thread idle, so it is cut across into chunks of at least
// kChunkCells cells and kChunkPixels pixels instead.
int ChunksAcross(const GridPlan& p, const Band& b) {
  if (b.chunks > 1) return 1;
  const double pixelsPerCell = p.spacing * p.spacing * (b.ry1 - 1 - b.ry0);
  const int least = std::max(kChunkCells, static_cast<int>(std::ceil(kChunkPixels / pixelsPerCell)));
  return std::max(1, (b.sx1 - b.sx0) / least);
}

// Pixel cells [sx0, sx1) and the grid cells around them that a band or a
// chunk across needs.
void SetCells(const GridPlan& p, Band& b, int sx0, int sx1) {
  b.sx0 = b.slice0 = sx0;
  b.sx1 = b.slice1 = sx1;
  b.cx0 = std::max(0, sx0 - kHalo);
  b.cx1 = std::min(p.gx, sx1 + kHalo + 1);
  b.rowFloats = RowFloats(b.cx1 - b.cx0);
}

// The segments a band row splats, then room for those it slices (a chunk
// across slices fewer cells than it owns).
int BandSegments(const Band& b) { return Segments(b.cx0, b.cx1 - 1) + Segments(b.sx0, b.sx1); }

// Hands out consecutive aligned pieces, as byte offsets.
class Carver {
 public:
  explicit Carver(std::size_t at) : at_(at) {}
  std::size_t Take(std::size_t bytes) {
    const std::size_t piece = at_;
    at_ += RoundUp(bytes, kAlign);
    return piece;
  }
  std::size_t At() const { return at_; }

 private:
  std::size_t at_;
};

}  // namespace

std::size_t RowFloats(int cells) {
  return RoundUp(static_cast<std::size_t>(cells) * kCellFloats, kRowAlignFloats);
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
  b.chunks = ChunksOfStrips(b.ry1 - 1 - b.ry0, (b.cx1 - b.cx0) * p.spacing * p.spacing);
  const int across = ChunksAcross(p, b);
  if (across > 1) {
    b.chunks = across;
    b.across = true;
  }
  return b;
}

Band ChunkAcross(const GridPlan& p, const Band& b, int j) {
  const long long cells = b.sx1 - b.sx0;
  Band c = b;
  SetCells(p, c, b.sx0 + static_cast<int>(cells * j / b.chunks),
           b.sx0 + static_cast<int>(cells * (j + 1) / b.chunks));
  if (j > 0) c.slice0 += kHalo;
  if (j + 1 < b.chunks) c.slice1 -= kHalo;
  c.chunks = 1;
  c.across = false;
  return c;
}

ThreadLayout LayOutThread(std::size_t segmentFloats) {
  ThreadLayout t;
  t.copies = 0;
  t.slice = t.copies + 2 * segmentFloats * sizeof(float);
  t.off = t.slice + SliceScratchFloats(segmentFloats) * sizeof(float);
  t.near = t.off + kBatchPixels * sizeof(std::int32_t);
  t.far = t.near + 4 * kBatchPixels * sizeof(float);
  t.bytes = RoundUp(t.far + 4 * kBatchPixels * sizeof(float), kAlign);
  return t;
}

OwnLayout LayOutOwn(const Band& b, std::size_t at) {
  Carver area(at);
  OwnLayout o;
  o.grid = area.Take((static_cast<std::size_t>(b.ry1 - b.ry0) + b.chunks - 1) * b.rowFloats *
                     sizeof(float));
  o.segments = area.Take(static_cast<std::size_t>(BandSegments(b)) * sizeof(Segment));
  o.arrivals = area.Take(static_cast<std::size_t>(b.chunks) * sizeof(std::atomic<int>));
  o.end = area.At();
  return o;
}

BandLayout LayOutBand(const GridPlan& p, const Band& b, int threads) {
  BandLayout m{};
  m.ringFloats = b.rowFloats;
  if (b.across) {
    m.ringFloats = 0;
    for (int j = 0; j < b.chunks; ++j) m.ringFloats = std::max(m.ringFloats, ChunkAcross(p, b, j).rowFloats);
  }
  Carver area(0);
  m.zeros = area.Take(m.ringFloats * sizeof(float));
  // Whole-vector reads of a segment that starts inside a band's halo run up
  // to 15 floats past a ring row, hence the slack after the last.
  m.rings = area.Take((static_cast<std::size_t>(kRingRows) * threads * m.ringFloats + kRowAlignFloats) *
                      sizeof(float));
  if (!b.across) {
    m.own = area.At();
    m.bytes = LayOutOwn(b, m.own).end;
    return m;
  }
  m.runs = area.Take(static_cast<std::size_t>(b.chunks) * kRunRecordBytes);
  m.own = area.At();
  std::size_t at = m.own;
  for (int j = 0; j < b.chunks; ++j) at = LayOutOwn(ChunkAcross(p, b, j), at).end;
  area = Carver(at);
  m.arrivals = area.Take(static_cast<std::size_t>(b.chunks) * sizeof(std::atomic<int>));
  m.bytes = area.At();
  return m;
}

CallLayout LayOutCall(const GridPlan& p, int threads) {
  CallLayout c;
  c.colOff = 0;
  c.colW = p.tableEntries * sizeof(std::int32_t);
  c.halo[0] = RoundUp(p.tableEntries * (sizeof(std::int32_t) + sizeof(float)), kAlign);
  c.halo[1] = c.halo[0] + p.haloBytes;
  c.threads = c.halo[1] + p.haloBytes;
  c.thread = LayOutThread(p.segmentFloats);
  c.band = c.threads + static_cast<std::size_t>(threads) * c.thread.bytes;
  std::size_t band = 0;
  for (int k = 0; k < p.bands; ++k) band = std::max(band, LayOutBand(p, BandAt(p, k), threads).bytes);
  c.bytes = c.band + band + kAlign;
  return c;
}

GridPlan PlanGrid(int width, int height, double spacing, std::size_t budget) {
  GridPlan p;
  p.spacing = spacing;
  p.gx = static_cast<int>(std::floor((width - 1) / spacing)) + 2;
  while (StripStart(p.strips, spacing, height) < height) ++p.strips;
  p.tableEntries = RoundUp(static_cast<std::size_t>(width) + kTablePad, kTablePad);
  p.segmentFloats = std::min(RowFloats(kSegmentCells + 1), RowFloats(p.gx));
  // Bands run along the grid's long axis; the short one has at most ~66
  // cells (sigma_s is 1/64 of the short side), so a band of a few cells
  // always fits in the kWorkingBytes above the picture.
  p.bandsAcross = p.gx - 1 >= p.strips;
  const int length = p.bandsAcross ? p.gx - 1 : p.strips;
  p.bandLength = length;
  if (LayOutCall(p, kMaxThreads).bytes > budget) {
    // Each band keeps the pixels of its last kHalo cells, which the next
    // band splats too, in a buffer of their own until the next has.
    const std::size_t pixels = static_cast<std::size_t>(std::ceil(kHalo * spacing)) + 2;
    p.haloBytes = RoundUp(3 * pixels * static_cast<std::size_t>(p.bandsAcross ? height : width), kAlign);
    // A band at least kHalo long leaves the next band's overlap within its own cells.
    // A quarter shorter at a time: few steps, and bands within a quarter of
    // the longest that fits.
    while (p.bandLength > kHalo && LayOutCall(p, kMaxThreads).bytes > budget) {
      p.bandLength = std::max(kHalo, p.bandLength * 3 / 4);
      p.bands = (length + p.bandLength - 1) / p.bandLength;
    }
  }
  return p;
}

}  // namespace morvane::imgproc
