// Holds the plan of a call to what the run relies on, for thousands of
// sizes that no test could afford to filter: the working memory stays under
// the ceiling, the bands between them slice every cell once and each holds
// the overlap that makes its cells exact, chunks of strips are long enough
// for the job at their cuts, and chunks across with their cuts slice every
// cell of their band once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "plan.h"
#include "schedule.h"

namespace morvane::imgproc {
namespace {

struct Size {
  int width, height;
};

// The sizes of the benchmark, pictures cut into bands or chunks across, and
// random ones from strips to squares.
std::vector<Size> Sizes() {
  std::vector<Size> sizes = {{33, 32},     {1025, 1},    {1, 1025},    {1920, 1080}, {4000, 3000},
                             {12000, 8000}, {6000, 370}, {370, 6000},  {2000, 200},  {10000, 10},
                             {10, 10000},  {6000, 128},  {128, 6000},  {100, 8000},  {20000, 40},
                             {30000, 12},  {200000, 16}, {16, 200000}, {26000, 26000}};
  std::mt19937 rng(20);
  for (int i = 0; i < 3000; ++i) {
    const int shortSide = 1 + static_cast<int>(rng() % 600);
    const int longSide = shortSide + static_cast<int>(rng() % 30000);
    if (static_cast<long long>(shortSide) * longSide <= kWindowPixels) continue;
    if (rng() & 1) {
      sizes.push_back({longSide, shortSide});
    } else {
      sizes.push_back({shortSide, longSide});
    }
  }
  return sizes;
}

// The plan the filter makes for a picture (narrow ones are planned as their
// transpose), with its budget: the picture's bytes and kWorkingBytes, less
// the copy a transposed picture takes.
GridPlan PlanFor(Size s, std::size_t& budget, Size& planned) {
  const double spacing = std::max(2.0, std::min(s.width, s.height) / 64.0);
  budget = 3 * static_cast<std::size_t>(s.width) * s.height + kWorkingBytes;
  planned = s;
  if (s.width < kNarrowWidth && s.height > s.width) {
    budget -= 3 * static_cast<std::size_t>(s.width) * s.height;
    planned = Size{s.height, s.width};
  }
  return PlanGrid(planned.width, planned.height, spacing, budget);
}

TEST(Plan, WorkingMemoryStaysUnderTheCeiling) {
  for (const Size s : Sizes()) {
    std::size_t budget;
    Size planned;
    const GridPlan p = PlanFor(s, budget, planned);
    for (int threads = 1; threads <= kMaxThreads; ++threads) {
      ASSERT_LE(LayOutCall(p, threads).bytes, budget) << s.width << "x" << s.height << ", " << threads
                                                      << " threads, " << p.bands << " bands";
    }
  }
}

// Cells a band slices, from which pixel cells it splats: a sliced cell reads
// grid cells up to one further, whose blur reaches two more, which hold the
// splat of the pixel cell on either side. Clipped to the grid.
TEST(Plan, BandsSliceEveryCellOnceFromExactCells) {
  for (const Size s : Sizes()) {
    std::size_t budget;
    Size planned;
    const GridPlan p = PlanFor(s, budget, planned);
    const std::string name = std::to_string(s.width) + "x" + std::to_string(s.height);
    ASSERT_EQ(p.gx, static_cast<int>(std::floor((planned.width - 1) / p.spacing)) + 2) << name;
    ASSERT_GE(StripStart(p.strips, p.spacing, planned.height), planned.height) << name;
    ASSERT_LT(StripStart(p.strips - 1, p.spacing, planned.height), planned.height) << name;
    int nextCell = 0, nextStrip = 0;
    for (int k = 0; k < p.bands; ++k) {
      const Band b = BandAt(p, k);
      if (p.bandsAcross) {
        ASSERT_EQ(b.sx0, nextCell) << name << " band " << k;
        ASSERT_EQ(b.sy0, 0) << name;
        ASSERT_EQ(b.sy1, p.strips) << name;
        nextCell = b.sx1;
      } else {
        ASSERT_EQ(b.sy0, nextStrip) << name << " band " << k;
        ASSERT_EQ(b.sx0, 0) << name;
        ASSERT_EQ(b.sx1, p.gx - 1) << name;
        nextStrip = b.sy1;
      }
      ASSERT_LT(b.sx0, b.sx1) << name << " band " << k;
      ASSERT_LT(b.sy0, b.sy1) << name << " band " << k;
      // Pixel cells [cx0, cx1 - 1) and strips [ry0, ry1 - 1) are splatted.
      ASSERT_LE(b.cx0, std::max(0, b.sx0 - 3)) << name << " band " << k;
      ASSERT_GE(b.cx1 - 1, std::min(p.gx - 1, b.sx1 + 3)) << name << " band " << k;
      ASSERT_LE(b.ry0, std::max(0, b.sy0 - 3)) << name << " band " << k;
      ASSERT_GE(b.ry1 - 1, std::min(p.strips, b.sy1 + 3)) << name << " band " << k;
    }
    ASSERT_EQ(p.bandsAcross ? nextCell : nextStrip, p.bandsAcross ? p.gx - 1 : p.strips) << name;
  }
}

// The job at a cut between chunks of strips reads grid rows k-5 .. k+5 of
// the chunks beside it; chunks across and the jobs at their cuts slice
// every cell of the band once, and no chunk slices a cell that its
// neighbour splats too.
TEST(Plan, ChunksAndTheirCutsCoverTheirBand) {
  for (const Size s : Sizes()) {
    std::size_t budget;
    Size planned;
    const GridPlan p = PlanFor(s, budget, planned);
    const std::string name = std::to_string(s.width) + "x" + std::to_string(s.height);
    for (int k = 0; k < p.bands; ++k) {
      const Band b = BandAt(p, k);
      ASSERT_GE(b.chunks, 1) << name;
      if (!b.across) {
        ASSERT_EQ(ChunkStart(b, 0), b.ry0) << name;
        ASSERT_EQ(ChunkStart(b, b.chunks), b.ry1 - 1) << name;
        for (int i = 0; b.chunks > 1 && i < b.chunks; ++i) {
          ASSERT_GE(ChunkStart(b, i + 1) - ChunkStart(b, i), kChunkStrips) << name << " chunk " << i;
        }
        continue;
      }
      int sliced = b.sx0;
      for (int j = 0; j < b.chunks; ++j) {
        const Band c = ChunkAcross(p, b, j);
        ASSERT_FALSE(c.across) << name;
        ASSERT_EQ(c.chunks, 1) << name;
        ASSERT_EQ(c.sy0, b.sy0) << name;
        ASSERT_EQ(c.sy1, b.sy1) << name;
        // The job at the cut before it slices [previous chunk's slice1, slice0).
        ASSERT_EQ(c.sx0, j == 0 ? b.sx0 : sliced + kHalo) << name << " chunk " << j;
        ASSERT_EQ(c.slice0, j == 0 ? b.sx0 : c.sx0 + kHalo) << name << " chunk " << j;
        ASSERT_LT(c.slice0, c.slice1) << name << " chunk " << j;
        ASSERT_EQ(c.slice1, j + 1 == b.chunks ? b.sx1 : c.sx1 - kHalo) << name << " chunk " << j;
        ASSERT_LE(c.cx0, std::max(0, c.sx0 - 3)) << name << " chunk " << j;
        ASSERT_GE(c.cx1 - 1, std::min(p.gx - 1, c.sx1 + 3)) << name << " chunk " << j;
        sliced = c.slice1;
      }
      ASSERT_EQ(sliced, b.sx1) << name;
    }
  }
}

}  // namespace
}  // namespace morvane::imgproc
