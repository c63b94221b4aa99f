// The plan of one call of the grid filter, from the picture's size alone:
// the grid's size, its bands, each band's chunks, and the layout of the one
// allocation the call makes. Pure arithmetic: a picture is always cut the
// same way, whatever the thread count, so its bytes never depend on it.
//
// Working memory, at most the picture's Stride * Height plus kWorkingBytes:
//   the column tables        cell offset and weight of each pixel column
//   the halo buffers         (banded only) pixels that two bands share
//   per thread               the splat's two copies, the slice's scratch and
//                            a batch's contributions
//   the band area            a row of zeros and every thread's ring rows,
//                            then the band's grid rows, one half-row per cut,
//                            its segments and its arrival counters; chunks
//                            across each have their own grid rows
// with gx = floor((W-1)/s) + 2 cells across, strips + 1 grid rows (s =
// sigma_s) and 24 floats per cell, rows rounded up to 64 floats. For
// 1920x1080 the whole grid is ~0.8 MB. Only very flat or very tall pictures
// with a small sigma_s (e.g. 6000x128, whose grid holds 24 bytes per pixel
// against the picture's 3) need more: their grid is then cut along its long
// axis into bands that each carry kHalo cells of overlap, the reach of the
// blur and the slice, so every band computes its cells exactly as the whole
// grid would.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "schedule.h"

namespace morvane::imgproc {

struct GridPlan {
  double spacing = 0;       // grid step in pixels (= sigma_s)
  int gx = 0;               // cells across; pixels lie in cells 0 .. gx - 2
  int strips = 0;           // grid rows are strips + 1
  bool bandsAcross = true;  // bands cut the cells across, else the strips
  int bandLength = 0;       // cells or strips each band slices
  int bands = 1;
  std::size_t tableEntries = 0;   // entries of each column table, Width and padding
  std::size_t segmentFloats = 0;  // floats of a segment's accumulator copy
  std::size_t haloBytes = 0;      // each of the two halo buffers; 0 with one band
};

// The part of the grid one band works on: it slices pixel cells [sx0, sx1)
// of strips [sy0, sy1) and holds grid cells [cx0, cx1) of grid rows
// [ry0, ry1), into which it splats pixel cells [cx0, cx1 - 1) of strips
// [ry0, ry1 - 1). Its chunks slice cells [slice0, slice1) of them; a chunk
// across leaves the rest to the jobs at its cuts.
struct Band {
  int sx0, sx1, sy0, sy1;
  int cx0, cx1, ry0, ry1;
  int slice0, slice1;
  std::size_t rowFloats;
  int chunks;
  bool across;  // chunks of cells across, each a band of one chunk of strips
};

// Byte offsets in one thread's scratch.
struct ThreadLayout {
  std::size_t copies;  // the splat's two copies, segmentFloats apart; zero between strips
  std::size_t slice;   // the slice's scratch, which the splat also uses between strips
  std::size_t off, near, far;  // a batch's contributions
  std::size_t bytes;
};

// Byte offsets of the pieces of one call's allocation, from its first byte
// aligned to kAlign.
struct CallLayout {
  std::size_t colOff, colW;        // the column tables, tableEntries each
  std::size_t halo[2];             // pixels kept for the next band
  std::size_t threads;             // every thread's scratch, thread.bytes apart
  ThreadLayout thread;
  std::size_t band;                // the band area of the band at work
  std::size_t bytes;               // to allocate, the alignment's slack included
};

// Byte offsets in the band area.
struct BandLayout {
  std::size_t ringFloats;  // floats of a ring row: the widest grid row of the band
  std::size_t zeros;       // a row of zeros
  std::size_t rings;       // kRingRows rows per thread, then kRowAlignFloats zeros
  std::size_t runs;        // across only: one BandRun record per chunk
  std::size_t own;         // the band's own rows, or those of its first chunk across
  std::size_t arrivals;    // across only: one counter per cut between chunks
  std::size_t bytes;
};

// Byte offsets of the own memory of a band or of a chunk across, from `at`.
struct OwnLayout {
  std::size_t grid;      // grid rows ry0 .. ry1 - 1, then one half-row per cut
  std::size_t segments;  // those its rows splat, then those they slice
  std::size_t arrivals;  // one counter per chunk
  std::size_t end;
};

inline constexpr std::size_t kAlign = 64;
// Blurred rows each thread keeps: two for its chunk, two for a job at a cut.
inline constexpr int kRingRows = 4;
// Bytes a band cut across keeps for each chunk's record (band.cpp checks
// that its record fits).
inline constexpr std::size_t kRunRecordBytes = 144;

inline std::size_t RoundUp(std::size_t v, std::size_t a) { return (v + a - 1) / a * a; }
// Floats of a grid row of `cells` cells.
std::size_t RowFloats(int cells);
// First pixel row of strip s. Rows of strip s lie between grid rows s and
// s + 1; deriving both the strips and the row weights from this one function
// keeps the splat and the slice in exact agreement.
inline int StripStart(int s, double spacing, int height) {
  return static_cast<int>(std::min<double>(height, std::ceil(s * spacing)));
}
// Weight of grid row strip + 1 at pixel row y of the strip.
inline float RowWeight(int y, int strip, double spacing) {
  return static_cast<float>(std::clamp(y / spacing - strip, 0.0, 1.0));
}
// Segments of kSegmentCells cells that cells [c0, c1) take.
inline int Segments(int c0, int c1) { return (c1 - c0 + kSegmentCells - 1) / kSegmentCells; }

// Plans a picture of width x height pixels at grid spacing `spacing`, with
// `budget` bytes of working memory for kMaxThreads threads.
GridPlan PlanGrid(int width, int height, double spacing, std::size_t budget);
Band BandAt(const GridPlan& p, int k);
// The first strip that chunk i of a band of chunks of strips splats; chunk i
// splats strips [ChunkStart(b, i), ChunkStart(b, i + 1)).
inline int ChunkStart(const Band& b, int i) {
  const long long strips = b.ry1 - 1 - b.ry0;
  return b.ry0 + static_cast<int>(strips * i / b.chunks);
}
// Chunk j of a band cut across: a band of one chunk of strips that holds
// the grid cells its pixel cells need. Where two chunks across meet, the
// kHalo pixel cells on each side are splatted by both, so neither slices them
// while the other may still read them: the job at the cut does.
Band ChunkAcross(const GridPlan& p, const Band& b, int j);

CallLayout LayOutCall(const GridPlan& p, int threads);
ThreadLayout LayOutThread(std::size_t segmentFloats);
BandLayout LayOutBand(const GridPlan& p, const Band& b, int threads);
OwnLayout LayOutOwn(const Band& b, std::size_t at);

}  // namespace morvane::imgproc
