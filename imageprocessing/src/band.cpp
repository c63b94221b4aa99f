// The run of a band, without a barrier, in an order whose result does not
// depend on how many threads there are.
//
// The strips of a band are cut into chunks of kChunkStrips or a few more
// strips, a cut that depends on the picture alone. Threads take chunks as
// workers.h deals them out, so a thread that wakes late or is descheduled
// simply takes fewer, and nobody waits for it except at the end
// of the call. Inside a chunk one thread runs the whole pipeline on a
// rolling window (as Halide's bilateral_grid schedule does): it splats a
// strip, blurs a grid row across x and range once both its strips are in,
// blurs across y (out of place, into a two-row ring) once the row's four
// neighbours are in, and slices a strip as soon as its two blurred rows
// exist, while the strip's pixels are still in cache.
// Where two chunks meet at strip k, each chunk adds its half of grid row k
// into a row of its own, and whichever of the two finishes its part second
// adds the halves (always in the same order), blurs row k and slices strips
// k-3 .. k+2, the ones whose blurred rows reach across k. Only one blurred
// row per cut is computed twice, no thread ever waits for another, and the
// strips next to a cut are rewritten only after both chunks have splatted
// them (the filter works in place). The grid rows in x/range-blurred form
// stay intact for that job; only the ring rows are overwritten.
// A band too low for two chunks of strips is cut across into chunks of
// cells instead, each a band of one chunk with kHalo cells of overlap; the
// kHalo pixel cells on each side of such a cut, which both chunks splat,
// are sliced by whichever of the two finishes second, from its neighbour's
// rows as well as its own. So a 10000x10 strip keeps both threads busy, and
// still no thread waits for another.
#include "band.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

#include "kernels.h"
#include "schedule.h"
#include "stage_timers.h"
#include "workers.h"

namespace morvane::imgproc {
namespace {

// One thread's scratch: the splat's copies and a batch's contributions, the
// slice's tables and the blurred rows of its chunk (ring) and of a job at a
// cut (cutRing).
struct ThreadScratch {
  SplatScratch splat;
  float* slice;
  float* ring[2];
  float* cutRing[2];
};

// Zeroes the row of zeros and the slack after the last ring row.
void ClearShared(unsigned char* area, const BandLayout& layout, int threads) {
  std::memset(area + layout.zeros, 0, layout.ringFloats * sizeof(float));
  const std::size_t ringsFloats = static_cast<std::size_t>(kRingRows) * threads * layout.ringFloats;
  std::memset(reinterpret_cast<float*>(area + layout.rings) + ringsFloats, 0,
              kRowAlignFloats * sizeof(float));
}

// One band's work, or that of one chunk across: its chunks, the jobs at the
// cuts between them, and the memory they share.
class BandRun {
 public:
  BandRun(const Call& call, const Band& band, unsigned char* area, const BandLayout& shared,
          const OwnLayout& own)
      : call_(call), b_(band),
        grid_(reinterpret_cast<float*>(area + own.grid)),
        zeros_(reinterpret_cast<const float*>(area + shared.zeros)),
        rings_(reinterpret_cast<float*>(area + shared.rings)),
        ringFloats_(shared.ringFloats) {
    halves_ = grid_ + static_cast<std::size_t>(b_.ry1 - b_.ry0) * b_.rowFloats;
    // Every pixel row of the band has the same segments.
    splatSegments_ = reinterpret_cast<Segment*>(area + own.segments);
    splatCount_ = Segments(b_.cx0, b_.cx1 - 1);
    sliceSegments_ = splatSegments_ + splatCount_;
    sliceCount_ = Segments(b_.slice0, b_.slice1);
    for (int j = 0; j < splatCount_; ++j) splatSegments_[j] = SegmentAt(b_.cx0, b_.cx1 - 1, j);
    for (int j = 0; j < sliceCount_; ++j) sliceSegments_[j] = SegmentAt(b_.slice0, b_.slice1, j);
    arrivals_ = reinterpret_cast<std::atomic<int>*>(area + own.arrivals);
    for (int i = 0; i < b_.chunks; ++i) new (arrivals_ + i) std::atomic<int>(0);
  }

  ThreadScratch Scratch(int thread) const {
    const ThreadLayout& l = call_.threadLayout;
    unsigned char* mine = call_.threadArea + static_cast<std::size_t>(thread) * l.bytes;
    ThreadScratch t;
    // Zero from the start of the call on: every FlushStrip leaves them so.
    t.splat.copies = reinterpret_cast<float*>(mine + l.copies);
    t.slice = reinterpret_cast<float*>(mine + l.slice);
    t.splat.off = reinterpret_cast<std::int32_t*>(mine + l.off);
    t.splat.near = reinterpret_cast<float*>(mine + l.near);
    t.splat.far = reinterpret_cast<float*>(mine + l.far);
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
      BlurDown(r, t.ring[r & 1], at, seg.floats);
      if (r > b_.sy0) Slice(r - 1, t.ring[(r - 1) & 1], t.ring[r & 1], t.slice, &seg, 1);
    }
  }

  int Chunks() const { return b_.chunks; }
  const Band& Shape() const { return b_; }

  void RunChunk(int i, ThreadScratch& t) {
    const int a = ChunkStart(b_, i);
    const int end = ChunkStart(b_, i + 1);
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
  // The half of grid row ChunkStart(b_, i + 1) that chunk i adds.
  float* Half(int i) const { return halves_ + static_cast<std::size_t>(i) * b_.rowFloats; }
  // Rows beyond the band hold nothing.
  const float* RowOrZeros(int r) const { return r < b_.ry0 || r >= b_.ry1 ? zeros_ : Row(r); }

  // Calls row(y, wy) for every pixel row y of the strip, wy the weight of
  // its lower grid row: the splat and the slice both take their rows here,
  // so they always agree on them.
  template <class RowWork>
  void ForEachRow(int strip, RowWork&& row) const {
    const GridPlan& p = call_.plan;
    const int yEnd = StripStart(strip + 1, p.spacing, call_.height);
    for (int y = StripStart(strip, p.spacing, call_.height); y < yEnd; ++y) {
      row(y, RowWeight(y, strip, p.spacing));
    }
  }

  // Splats the strip into grid rows g0 and g1. `pending` (a segment) is the
  // slice's scratch, free while a strip is splatted.
  void Splat(int strip, float* g0, float* g1, const SplatScratch& s, float* pending) const {
    MORVANE_STAGE(kSplatStage);
    const std::size_t segmentFloats = call_.plan.segmentFloats;
    const GridPlan& p = call_.plan;
    if (p.spacing >= kColumnSplatSpacing) {
      const int y0 = StripStart(strip, p.spacing, call_.height);
      const int rows = StripStart(strip + 1, p.spacing, call_.height) - y0;
      const float a = RowWeight(y0, strip, p.spacing);
      const auto d = static_cast<float>(1.0 / p.spacing);
      for (int j = 0; j < splatCount_; ++j) {
        const std::size_t at = GridAt(splatSegments_[j]);
        SplatStrip(PixelRow(y0), call_.stride, rows, a, d, splatSegments_[j], call_.colOff,
                   call_.colW, g0 + at, g1 + at);
      }
      return;
    }
    if (p.spacing < kSplatIntoSpacing) {
      ForEachRow(strip, [&](int y, float wy) {
        for (int j = 0; j < splatCount_; ++j) {
          const std::size_t at = GridAt(splatSegments_[j]);
          SplatRowInto(PixelRow(y), splatSegments_[j], call_.colOff, call_.colW, g0 + at, g1 + at,
                       1.0f - wy, wy, s);
        }
      });
      return;
    }
    // The copies sum a segment's rows of the whole strip (see FlushStrip), so
    // each segment takes all of them before the next one.
    for (int j = 0; j < splatCount_; ++j) {
      const Segment& seg = splatSegments_[j];
      const std::size_t at = GridAt(seg);
      int rows = 0;
      float previous = 0.0f;  // weight of the row before
      ForEachRow(strip, [&](int y, float wy) {
        // The copies hold the rows before this one.
        if (rows > 0) PendRow(s.copies, segmentFloats, seg.floats, pending, wy - previous, rows == 1);
        SplatRow(PixelRow(y), seg, call_.colOff, call_.colW, segmentFloats, s);
        previous = wy;
        ++rows;
      });
      FlushStrip(s.copies, segmentFloats, seg.floats, rows > 1 ? pending : nullptr, g0 + at, g1 + at,
                 1.0f - previous, previous);
    }
  }

  // Blurs grid row r across x and range, in place.
  void BlurAcross(int r) const {
    MORVANE_STAGE(kBlurStage);
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
    BlurDown(row, t.ring[row & 1], 0, b_.rowFloats);
    if (row > firstY) Slice(row - 1, t.ring[(row - 1) & 1], t.ring[row & 1], t.slice);
  }

  // Blurs `floats` floats of grid row r from float `at` on down y into `out`
  // (at the same float).
  void BlurDown(int r, float* out, std::size_t at, std::size_t floats) const {
    MORVANE_STAGE(kBlurStage);
    BlurRows(RowOrZeros(r - 2) + at, RowOrZeros(r - 1) + at, RowOrZeros(r) + at,
             RowOrZeros(r + 1) + at, RowOrZeros(r + 2) + at, out + at, floats);
  }

  // Slices the strip between blurred rows g0 and g1 if this band owns it,
  // in the band's own segments unless given others.
  void Slice(int strip, const float* g0, const float* g1, float* scratch,
             const Segment* segments = nullptr, int count = 0) const {
    if (strip < b_.sy0 || strip >= b_.sy1) return;
    MORVANE_STAGE(kSliceStage);
    if (segments == nullptr) {
      segments = sliceSegments_;
      count = sliceCount_;
    }
    for (int j = 0; j < count; ++j) {
      const Segment& seg = segments[j];
      const std::size_t at = GridAt(seg);
      SliceStrip(seg, g0 + at, g1 + at, call_.colOff, scratch);
      ForEachRow(strip, [&](int y, float wy) {
        SliceRow(PixelRow(y), seg, g0 + at, g1 + at, wy, call_.colOff, call_.colW, call_.gain,
                 scratch);
      });
    }
  }

  // The chunks on both sides of cut i have done their part when two arrive;
  // the second runs the job.
  void Arrive(int i, ThreadScratch& t) {
    if (arrivals_[i].fetch_add(1, std::memory_order_acq_rel) == 1) RunCut(i, t);
  }

  // Completes grid row k = ChunkStart(b_, i) from the two halves and slices the
  // strips whose blurred rows reach across it.
  void RunCut(int i, ThreadScratch& t) const {
    const int k = ChunkStart(b_, i);
    float* row = Row(k);
    const float* half = Half(i - 1);
    for (std::size_t f = 0; f < b_.rowFloats; ++f) row[f] += half[f];
    BlurAcross(k);
    for (int r = k - 3; r <= k + 3; ++r) {
      BlurDown(r, t.cutRing[r & 1], 0, b_.rowFloats);
      if (r > k - 3) Slice(r - 1, t.cutRing[(r - 1) & 1], t.cutRing[r & 1], t.slice);
    }
  }

  // Segment j of a band row whose pixels lie in cells [c0, c1). Its pixels
  // reach one cell further, and kernels run whole vectors of 16 floats at
  // most: more than that only costs time where cells are few pixels wide.
  Segment SegmentAt(int c0, int c1, int j) const {
    const int first = c0 + j * kSegmentCells;
    const int last = std::min(c1, first + kSegmentCells);
    const auto [x0, x1] = PixelsOfCells(call_.colOff, call_.width, first, last);
    const std::size_t floats = RoundUp(static_cast<std::size_t>(last - first + 1) * kCellFloats, 16);
    return Segment{x0, x1, first * kCellFloats, floats};
  }

  // Where a segment's cells start in the band's grid rows, which begin at cell cx0.
  std::size_t GridAt(const Segment& seg) const {
    return static_cast<std::size_t>(seg.base) - static_cast<std::size_t>(b_.cx0) * kCellFloats;
  }

  unsigned char* PixelRow(int y) const {
    return call_.src + static_cast<std::ptrdiff_t>(y) * call_.stride;
  }

  const Call& call_;
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

static_assert(sizeof(BandRun) <= kRunRecordBytes, "the plan reserves a record per chunk across");

// A band cut across: each chunk a BandRun of its own, whose records are in
// the band area; the jobs at the cuts slice the cells both sides splat.
class AcrossRun {
 public:
  AcrossRun(const Call& call, const Band& band, unsigned char* area, int threads)
      : band_(band) {
    const BandLayout layout = LayOutBand(call.plan, band_, threads);
    ClearShared(area, layout, threads);
    runs_ = reinterpret_cast<BandRun*>(area + layout.runs);
    std::size_t at = layout.own;
    for (int j = 0; j < band_.chunks; ++j) {
      const Band chunk = ChunkAcross(call.plan, band_, j);
      const OwnLayout own = LayOutOwn(chunk, at);
      new (runs_ + j) BandRun(call, chunk, area, layout, own);
      at = own.end;
    }
    arrivals_ = reinterpret_cast<std::atomic<int>*>(area + layout.arrivals);
    for (int j = 0; j < band_.chunks; ++j) new (arrivals_ + j) std::atomic<int>(0);
  }

  void Run(int threads) {
    auto chunk = [&](int j, int slot) {
      ThreadScratch t = runs_[j].Scratch(slot);
      runs_[j].RunChunk(0, t);
      if (j > 0) Arrive(j, t);
      if (j + 1 < band_.chunks) Arrive(j + 1, t);
    };
    ShareChunks(band_.chunks, std::min(threads, band_.chunks), chunk);
  }

 private:
  // Chunks j - 1 and j have splatted everything when both arrive at the cut
  // between them; the second slices the cells they left unsliced.
  void Arrive(int j, ThreadScratch& t) {
    if (arrivals_[j].fetch_add(1, std::memory_order_acq_rel) != 1) return;
    const Band& left = runs_[j - 1].Shape();
    const Band& right = runs_[j].Shape();
    runs_[j - 1].SliceCells(left.slice1, left.sx1, t);
    runs_[j].SliceCells(right.sx0, right.slice0, t);
  }

  const Band& band_;
  BandRun* runs_ = nullptr;
  std::atomic<int>* arrivals_ = nullptr;
};

}  // namespace

std::pair<int, int> PixelsOfCells(const std::int32_t* colOff, int width, int c0, int c1) {
  const std::int32_t* end = colOff + width;
  const int x0 = static_cast<int>(std::lower_bound(colOff, end, c0 * kCellFloats) - colOff);
  const int x1 = static_cast<int>(std::lower_bound(colOff, end, c1 * kCellFloats) - colOff);
  return {x0, x1};
}

void RunBand(const Call& call, const Band& band, unsigned char* area, int threads) {
  if (band.across) {
    AcrossRun(call, band, area, threads).Run(threads);
    return;
  }
  const BandLayout layout = LayOutBand(call.plan, band, threads);
  ClearShared(area, layout, threads);
  BandRun run(call, band, area, layout, LayOutOwn(band, layout.own));
  auto chunk = [&](int i, int slot) {
    ThreadScratch t = run.Scratch(slot);
    run.RunChunk(i, t);
  };
  ShareChunks(run.Chunks(), std::min(threads, run.Chunks()), chunk);
}

}  // namespace morvane::imgproc
