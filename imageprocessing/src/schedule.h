// The filter's schedule: every number that picks a path or a size, apart
// from the algorithm (kernels.h), with why it is where it is. Measurements
// behind these choices are in bench/README.md.
//
// The units of work, largest first; each has this one name everywhere:
//   band     a piece of the grid along its long axis, with the pixels it
//            slices; bands run one after another, so that only one band's
//            grid rows are in memory (the memory ceiling)
//   chunk    the piece of a band that one thread runs whole, dealt out by
//            workers.h: a run of strips, or, in a band too low for two
//            such runs, a run of cells across ("chunks across")
//   cut      where two chunks meet; the second of the two to finish there
//            completes what both touch (a grid row, or the cells beside it)
//            and slices the pixels that read it
//   strip    the pixel rows between two neighbouring grid rows, splatted
//            into both and sliced from both
//   segment  up to kSegmentCells cells of a grid row and the pixels of a row
//            in them: what one kernel call covers
//   batch    up to kBatchPixels pixels of a segment whose intermediate
//            values (contributions, details) a kernel holds at once
#pragma once

#include <cstddef>

namespace morvane::imgproc {

// Working memory besides the picture's own bytes, as ImageProcessing.h
// promises; bands exist to stay within it.
inline constexpr std::size_t kWorkingBytes = std::size_t{4} << 20;

// Pictures of at most this many pixels take the exact window: their short
// side is at most 32 px, so sigma_s is 2 px and a window costs 169 taps a
// pixel, while a grid has too few pixels to average its interpolation error.
inline constexpr long long kWindowPixels = 1024;
// The exact window's radius: 3 sigma_s at the 2 px that every such picture has.
inline constexpr int kWindowRadius = 6;

// Pictures narrower than this, and taller than wide, are filtered as their
// transpose: the kernels pay a call, a segment and a vector tail per row
// however short it is, and the copy costs less than that below 16 px.
inline constexpr int kNarrowWidth = 16;
// Rows of the picture that one step of the transpose reads, so that the rows
// it writes stay in cache however tall the picture is.
inline constexpr int kTransposeRows = 16;

// Threads a call uses at most; the plan reserves scratch for this many and
// plans for this many whatever the count at hand, so bytes never depend on it.
inline constexpr int kMaxThreads = 8;
// Below this many pixels per thread, waking another costs more than it saves.
inline constexpr long long kPixelsPerThread = 16384;

// Cells of overlap a band carries on each side, and that chunks across
// splat twice: the grid blur reaches 2 cells, the slice 1 more.
inline constexpr int kHalo = 3;
// Strips per chunk at least: the job at a cut reads grid rows k-5 .. k+5,
// which both chunks beside it must have finished, so 6 is the least that
// works, and the smaller the chunk a descheduled thread holds, the less the
// others wait for it at the end.
inline constexpr int kChunkStrips = 6;
// Cells per chunk across at least: each splats and blurs 2 * kHalo + 1 cells
// beyond its own, so narrower ones would mostly redo their neighbours' work.
inline constexpr int kChunkCells = 32;
// Pixels per chunk at least: handing out a chunk and the job at its cut
// (atomics whose cache lines travel between cores, a row added, a blurred
// row made twice) must stay small beside the chunk's own work.
inline constexpr double kChunkPixels = 8192;

// Cells per segment: the per-thread scratch then stays a few dozen KiB, in
// L1/L2, however wide the picture is (a 10000 px strip has 5000 cells a row).
inline constexpr int kSegmentCells = 128;
// Pixels per batch: a few KiB of contributions or details per thread, and a
// whole number of vectors and of splat groups on every target.
inline constexpr int kBatchPixels = 256;

// Grid spacings (px) below this splat straight into the grid rows instead of
// through the accumulator copies: a pass over the copies costs a fixed
// amount per cell, more than a row's pixels cost when a cell holds 2 of them.
inline constexpr double kSplatIntoSpacing = 2.5;

// Grid spacings (px) from which strips splat by columns (SplatStrip): what
// a group of 8 columns does once per strip (its windows of bins, its sums
// into the grid) costs a fixed amount per strip row, which from about 5.5 px
// (a short side from 352 px) is less than the per-pixel additions it
// replaces on AVX2, from about 5 px on AVX-512. A group then spans at most
// 3 cells.
inline constexpr double kColumnSplatSpacing = 5.5;

// Pixels per cell boundary from which a segment's rows look their corners up
// in registers (AVX2 and up) instead of loading them: where the pixels of one
// vector lie in at most as many cells as the lookups take (two on AVX2, four
// on AVX-512 with its wide lookup).
inline constexpr int kLookupPixelsPerCellAvx2 = 8;
inline constexpr int kLookupPixelsPerCellAvx512 = 5;

}  // namespace morvane::imgproc
