// The run of one band: its chunks, shared among the calling thread and the
// helper threads, and the jobs at the cuts between them.
#pragma once

#include <cstdint>
#include <utility>

#include "plan.h"

namespace morvane::imgproc {

// What is the same for every band of a call: the picture, its plan, the
// column tables (colOff[x] = kCellFloats * cell of pixel column x, colW[x]
// the weight of the cell after it) and every thread's scratch.
struct Call {
  unsigned char* src;
  int width, height, stride;
  const GridPlan& plan;
  const std::int32_t* colOff;
  const float* colW;
  float gain;
  unsigned char* threadArea;  // threadLayout.bytes per thread
  ThreadLayout threadLayout;
};

// Pixel columns whose cell lies in [c0, c1): colOff is non-decreasing.
std::pair<int, int> PixelsOfCells(const std::int32_t* colOff, int width, int c0, int c1);

// Filters band b, its memory at `area` as LayOutBand lays it out, with up to
// `threads` threads.
void RunBand(const Call& call, const Band& b, unsigned char* area, int threads);

}  // namespace morvane::imgproc
