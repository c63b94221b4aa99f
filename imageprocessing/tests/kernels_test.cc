// Holds every SIMD kernel to a plain scalar version of what it computes, on
// every compiled target this CPU runs, at widths from 1 to twice the widest
// vector and at segments that do not start at pixel 0, so that a fault in a
// vector tail or an offset shows as a failed comparison, not as a fraction of
// a dB in the accuracy tests.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "kernels_test.cc"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>
#include <hwy/tests/hwy_gtest.h>

#include "pixels-inl.h"
#include "splat-inl.h"
#include "blur-inl.h"
#include "slice-inl.h"
#include "window-inl.h"

#ifndef MORVANE_KERNELS_TEST_ORACLES
#define MORVANE_KERNELS_TEST_ORACLES
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "grid_oracle.h"

namespace morvane::imgproc::oracle {
namespace grid = iptest::grid;

constexpr int kWidest = 16;  // floats in an AVX-512 vector
constexpr int kGuard = 48;   // bytes around a row that no kernel may touch
constexpr std::uint8_t kMark = 0xA7;

// Bytes in [low, low + span) (span a power of two up to 256).
std::vector<std::uint8_t> RandomBytes(std::size_t n, std::uint32_t seed, int low = 0,
                                      int span = 256) {
  std::mt19937 rng(seed);
  std::vector<std::uint8_t> v(n);
  for (auto& b : v) b = static_cast<std::uint8_t>(low + (rng() & (span - 1)));
  return v;
}

// A pixel row of `width` random pixels with kGuard marked bytes on each side.
std::vector<std::uint8_t> GuardedRow(int width, std::uint32_t seed, int low = 0, int span = 256) {
  std::vector<std::uint8_t> row(2 * kGuard + 3 * static_cast<std::size_t>(width), kMark);
  const auto pixels = RandomBytes(3 * static_cast<std::size_t>(width), seed, low, span);
  std::copy(pixels.begin(), pixels.end(), row.begin() + kGuard);
  return row;
}

// The column tables the run of a call builds, padded past the row.
struct ColumnTables {
  std::vector<std::int32_t> off;
  std::vector<float> w;
};
ColumnTables MakeColumns(int width, double spacing) {
  ColumnTables c{std::vector<std::int32_t>(width + 32, 0), std::vector<float>(width + 32, 0.0f)};
  for (int x = 0; x < width; ++x) {
    const double u = x / spacing;
    c.off[x] = static_cast<std::int32_t>(std::floor(u)) * kCellFloats;
    c.w[x] = static_cast<float>(u - std::floor(u));
  }
  return c;
}

// The splat of the segment's pixels in double precision: at each float of
// the segment, the sum of w * y (a value) or of w (a weight) over the pixels,
// w the tent weight in x times the one in range.
std::vector<double> Splatted(const std::uint8_t* row, const Segment& seg, const ColumnTables& cols) {
  std::vector<double> sums(seg.floats, 0.0);
  for (int x = seg.xBegin; x < seg.xEnd; ++x) {
    const double y = grid::Luma(row + 3 * x);
    int cell;
    double hi;
    grid::RangeBin(y, cell, hi);
    const double wx[2] = {1.0 - cols.w[x], cols.w[x]};
    const double wz[2] = {1.0 - hi, hi};
    for (int i = 0; i < 2; ++i)
      for (int k = 0; k < 2; ++k) {
        const std::size_t at = cols.off[x] - seg.base + i * kCellFloats + 2 * (cell + k);
        sums[at] += wx[i] * wz[k] * y;
        sums[at + 1] += wx[i] * wz[k];
      }
  }
  return sums;
}

// Rows of pixels [xBegin, xEnd) changed by at most one level, the guards not at all.
void ExpectRowMatches(const std::vector<std::uint8_t>& got, const std::vector<std::uint8_t>& want,
                      int xBegin, int xEnd, const char* what) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    const long pixel = (static_cast<long>(i) - kGuard) / 3;
    const bool inside = static_cast<long>(i) >= kGuard && pixel >= xBegin && pixel < xEnd;
    if (inside) {
      ASSERT_LE(std::abs(int(got[i]) - int(want[i])), 1) << what << " byte " << i;
    } else {
      ASSERT_EQ(got[i], want[i]) << what << " touched byte " << i << " outside pixels " << xBegin
                                 << ".." << xEnd;
    }
  }
}

}  // namespace morvane::imgproc::oracle
#endif  // MORVANE_KERNELS_TEST_ORACLES

HWY_BEFORE_NAMESPACE();
namespace morvane::imgproc {
namespace HWY_NAMESPACE {
namespace {
namespace o = oracle;
namespace grid = iptest::grid;

// Widths 1 .. 2 x the widest vector, each also as a segment that starts at
// the second cell (pixel offset > 0, nonzero segment base).
template <class Fn>
void ForEachSegment(double spacing, Fn fn) {
  for (int width = 1; width <= 2 * o::kWidest + 1; ++width) {
    const int lead = static_cast<int>(std::ceil(spacing));
    for (int xBegin : {0, lead}) {
      const int xEnd = xBegin + width;
      const o::ColumnTables cols = o::MakeColumns(xEnd, spacing);
      const int firstCell = cols.off[xBegin] / kCellFloats;
      const int cells = cols.off[xEnd - 1] / kCellFloats - firstCell + 2;
      const std::size_t floats =
          (static_cast<std::size_t>(cells) * kCellFloats + kRowAlignFloats - 1) / kRowAlignFloats *
          kRowAlignFloats;
      fn(Segment{xBegin, xEnd, firstCell * kCellFloats, floats}, cols);
    }
  }
}

void TestLumaRow() {
  for (int width = 1; width <= 2 * o::kWidest + 1; ++width) {
    const auto row = o::RandomBytes(3 * static_cast<std::size_t>(width), width);
    std::vector<std::uint16_t> out(width + 1, 0xBEEF);
    HWY_NAMESPACE::LumaRow(row.data(), width, out.data());
    for (int x = 0; x < width; ++x) {
      const double want = std::nearbyint(grid::Luma(&row[3 * x]) * 256.0);
      // Integer weights make the luma exact on every target.
      ASSERT_EQ(out[x], want) << "width " << width << " pixel " << x;
    }
    ASSERT_EQ(out[width], 0xBEEF) << "wrote past width " << width;
  }
}

void TestSplatRow() {
  // Rows of any level, and rows within 16 levels, whose neighbours mostly
  // share a range bin and so add in groups.
  for (double spacing : {2.0, 3.3, 9.0, 17.5})
    for (const int low : {0, 96}) {
    ForEachSegment(spacing, [&](const Segment& seg, const o::ColumnTables& cols) {
      const auto guarded =
          o::GuardedRow(seg.xEnd, seg.xEnd * 7 + seg.xBegin, low, low == 0 ? 256 : 16);
      const std::uint8_t* row = guarded.data() + o::kGuard;
      std::vector<float> copies(2 * seg.floats, 0.0f);
      std::vector<std::int32_t> off(kBatchPixels);
      std::vector<float> near(4 * kBatchPixels), far(4 * kBatchPixels);
      HWY_NAMESPACE::SplatRow(row, seg, cols.off.data(), cols.w.data(), seg.floats,
               SplatScratch{copies.data(), off.data(), near.data(), far.data()});

      const std::vector<double> want = o::Splatted(row, seg, cols);
      for (std::size_t i = 0; i < seg.floats; ++i) {
        double sum = 0;
        for (int c = 0; c < 2; ++c) sum += copies[c * seg.floats + i];
        // A value moves by y / 25 times the rounding of y when y sits near a
        // bin boundary; a lost or misplaced pixel moves it by whole levels.
        ASSERT_NEAR(sum, want[i], 5e-3 + 1e-5 * std::abs(want[i]))
            << "spacing " << spacing << " pixels " << seg.xBegin << ".." << seg.xEnd << " float " << i;
      }
    });
    }
}

// SplatRowInto against the splat in double precision, weighted into two
// rows that already hold sums (it adds, never overwrites): at the spacings
// that take it, with rows of any level and rows within 16 levels, whose
// neighbours add in runs at one address; a row of weight 0 stays untouched.
void TestSplatRowInto() {
  for (double spacing : {2.0, 2.4}) {
    for (const int low : {0, 96}) {
      ForEachSegment(spacing, [&](const Segment& seg, const o::ColumnTables& cols) {
        const auto guarded =
            o::GuardedRow(seg.xEnd, seg.xEnd * 11 + seg.xBegin, low, low == 0 ? 256 : 16);
        const std::uint8_t* row = guarded.data() + o::kGuard;
        const std::vector<double> pixels = o::Splatted(row, seg, cols);
        std::vector<std::int32_t> off(kBatchPixels);
        std::vector<float> near(4 * kBatchPixels), far(4 * kBatchPixels);
        const SplatScratch scratch{nullptr, off.data(), near.data(), far.data()};
        for (const float w1 : {0.0f, 0.375f, 1.0f}) {
          std::vector<float> g0(seg.floats), g1(seg.floats);
          for (std::size_t i = 0; i < seg.floats; ++i) {
            g0[i] = static_cast<float>(i % 7);
            g1[i] = static_cast<float>(i % 5);
          }
          const auto g0Before = g0, g1Before = g1;
          HWY_NAMESPACE::SplatRowInto(row, seg, cols.off.data(), cols.w.data(), g0.data(),
                                      g1.data(), 1.0f - w1, w1, scratch);
          for (std::size_t i = 0; i < seg.floats; ++i) {
            const double tolerance = 5e-3 + 1e-5 * pixels[i];
            ASSERT_NEAR(g0[i], g0Before[i] + (1.0 - w1) * pixels[i], tolerance)
                << "spacing " << spacing << " pixels " << seg.xBegin << ".." << seg.xEnd << " float " << i;
            if (w1 == 0.0f) {
              ASSERT_EQ(g1[i], g1Before[i]) << "a row of weight 0 was written, float " << i;
            } else {
              ASSERT_NEAR(g1[i], g1Before[i] + w1 * pixels[i], tolerance)
                  << "spacing " << spacing << " pixels " << seg.xBegin << ".." << seg.xEnd << " float " << i;
            }
          }
        }
      });
    }
  }
}

// SplatStrip against the splat in double precision: strips of 1 to 70 rows
// (a run holds 64) of smooth rows, whose groups take one window of bins, and
// of rows of any level, whose groups take several, at spacings where a group
// spans one to three cells; into grid rows that already hold sums.
void TestSplatStrip() {
  for (double spacing : {3.5, 5.5, 9.0, 17.5}) {
    for (const int rows : {1, 5, 17, 70}) {
      for (const int low : {0, 96}) {
        ForEachSegment(spacing, [&](const Segment& seg, const o::ColumnTables& cols) {
          const std::ptrdiff_t stride = 3 * seg.xEnd + 5;
          std::vector<std::uint8_t> picture(stride * rows + 2 * o::kGuard, o::kMark);
          for (int j = 0; j < rows; ++j) {
            const auto row = o::GuardedRow(seg.xEnd, seg.xEnd * 17 + seg.xBegin + j, low, low == 0 ? 256 : 16);
            std::copy(row.begin() + o::kGuard, row.end() - o::kGuard,
                      picture.begin() + o::kGuard + j * stride);
          }
          const std::uint8_t* first = picture.data() + o::kGuard;
          const float a = 0.25f, d = 0.75f / static_cast<float>(rows);
          std::vector<float> g0(seg.floats), g1(seg.floats);
          for (std::size_t i = 0; i < seg.floats; ++i) {
            g0[i] = static_cast<float>(i % 7);
            g1[i] = static_cast<float>(i % 5);
          }
          std::vector<double> want0(g0.begin(), g0.end()), want1(g1.begin(), g1.end());
          for (int j = 0; j < rows; ++j) {
            const double w = a + static_cast<double>(j) * d;
            const std::vector<double> sums = o::Splatted(first + j * stride, seg, cols);
            for (std::size_t i = 0; i < seg.floats; ++i) {
              want0[i] += (1.0 - w) * sums[i];
              want1[i] += w * sums[i];
            }
          }
          HWY_NAMESPACE::SplatStrip(first, stride, rows, a, d, seg, cols.off.data(), cols.w.data(),
                                    g0.data(), g1.data());
          for (std::size_t i = 0; i < seg.floats; ++i) {
            ASSERT_NEAR(g0[i], want0[i], 2e-2 + 2e-5 * std::abs(want0[i]))
                << "spacing " << spacing << " rows " << rows << " pixels " << seg.xBegin << ".."
                << seg.xEnd << " float " << i;
            ASSERT_NEAR(g1[i], want1[i], 2e-2 + 2e-5 * std::abs(want1[i]))
                << "spacing " << spacing << " rows " << rows << " pixels " << seg.xBegin << ".."
                << seg.xEnd << " float " << i;
          }
        });
      }
    }
  }
}

// A strip of 1 to 5 pixel rows through the copies: each row adds into them
// (split at random between the copies, as the splat's lanes split it), every
// row but the last is pended, the last flushed. The grid rows, which already
// hold sums, must receive sum_j (1 - w_j) R_j and sum_j w_j R_j of the rows
// R_j, the copies must be left cleared and the floats past `floats` untouched.
void TestPendAndFlushStrip() {
  for (std::size_t floats : {std::size_t{64}, std::size_t{192}}) {
    for (int rows = 1; rows <= 5; ++rows) {
      const std::size_t segmentFloats = floats + kRowAlignFloats;
      std::mt19937 rng(static_cast<std::uint32_t>(floats + rows));
      std::uniform_real_distribution<float> value(0.0f, 100.0f);
      std::uniform_real_distribution<float> share(0.0f, 1.0f);
      std::vector<float> copies(2 * segmentFloats, 0.0f), pending(floats);
      for (std::size_t i = floats; i < segmentFloats; ++i) copies[i] = copies[segmentFloats + i] = -3.0f;
      std::vector<float> g0(floats), g1(floats);
      for (auto& v : g0) v = value(rng);
      for (auto& v : g1) v = value(rng);
      std::vector<double> want0(g0.begin(), g0.end()), want1(g1.begin(), g1.end());
      // Row weights as a spacing of rows + 0.3 px gives them, from 0.1 on.
      float previous = 0.0f;
      for (int j = 0; j < rows; ++j) {
        const float w = 0.1f + static_cast<float>(j) / (static_cast<float>(rows) + 0.3f);
        if (j > 0) {
          HWY_NAMESPACE::PendRow(copies.data(), segmentFloats, floats, pending.data(), w - previous,
                                 j == 1);
        }
        for (std::size_t i = 0; i < floats; ++i) {
          const float r = value(rng), part = std::floor(r * share(rng));
          copies[i] += part;
          copies[segmentFloats + i] += r - part;
          want0[i] += (1.0 - w) * r;
          want1[i] += w * r;
        }
        previous = w;
      }
      HWY_NAMESPACE::FlushStrip(copies.data(), segmentFloats, floats,
                                rows > 1 ? pending.data() : nullptr, g0.data(), g1.data(),
                                1.0f - previous, previous);
      for (std::size_t i = 0; i < floats; ++i) {
        ASSERT_NEAR(g0[i], want0[i], 1e-5 * want0[i]) << rows << " rows, float " << i;
        ASSERT_NEAR(g1[i], want1[i], 1e-5 * want1[i]) << rows << " rows, float " << i;
        for (int c = 0; c < 2; ++c) {
          ASSERT_EQ(copies[c * segmentFloats + i], 0.0f) << "copy " << c << " not cleared at " << i;
        }
      }
      // Floats past `floats` belong to the next segment.
      for (int c = 0; c < 2; ++c)
        for (std::size_t i = floats; i < segmentFloats; ++i)
          ASSERT_EQ(copies[c * segmentFloats + i], -3.0f) << "copy " << c << " float " << i;
    }
  }
}

void TestBlurBins() {
  for (int cells = 1; cells <= 3; ++cells) {
    std::mt19937 rng(static_cast<std::uint32_t>(cells));
    std::uniform_real_distribution<float> value(0.0f, 50.0f);
    std::vector<float> row(cells * kCellFloats);
    for (auto& v : row) v = value(rng);
    const auto in = row;
    HWY_NAMESPACE::BlurBins(row.data(), cells);
    for (int c = 0; c < cells; ++c)
      for (int k = 0; k < kCellFloats; ++k) {
        // Values and weights interleave, so bin neighbours are 2 floats apart.
        double want = 0;
        for (int d = -2; d <= 2; ++d) {
          const int j = k + 2 * d;
          if (j >= 0 && j < kCellFloats) want += grid::Tap(d) * in[c * kCellFloats + j];
        }
        ASSERT_NEAR(row[c * kCellFloats + k], want, 1e-4) << "cell " << c << " float " << k;
      }
  }
}

void TestBlurAxis() {
  for (int count = 1; count <= 7; ++count) {
    for (std::size_t width : {std::size_t{8}, std::size_t{24}, std::size_t{64}}) {
      const std::size_t stride = width + 8;
      std::mt19937 rng(static_cast<std::uint32_t>(count * 100 + width));
      std::uniform_real_distribution<float> value(0.0f, 50.0f);
      std::vector<float> data(stride * count);
      for (auto& v : data) v = value(rng);
      const auto in = data;
      HWY_NAMESPACE::BlurAxis(data.data(), count, stride, width);
      for (int i = 0; i < count; ++i)
        for (std::size_t l = 0; l < stride; ++l) {
          const float got = data[i * stride + l];
          if (l >= width) {
            ASSERT_EQ(got, in[i * stride + l]) << "blurred past width " << width;
            continue;
          }
          double want = 0;
          for (int d = -2; d <= 2; ++d)
            if (i + d >= 0 && i + d < count) want += grid::Tap(d) * in[(i + d) * stride + l];
          ASSERT_NEAR(got, want, 1e-4) << "count " << count << " sample " << i << " lane " << l;
        }
    }
  }
}

void TestBlurRows() {
  for (std::size_t floats : {std::size_t{8}, std::size_t{16}, std::size_t{24}, std::size_t{40}}) {
    std::mt19937 rng(static_cast<std::uint32_t>(floats));
    std::uniform_real_distribution<float> value(0.0f, 50.0f);
    // Five input rows and the output, each with a marked guard past `floats`.
    const std::size_t stride = floats + 16;
    std::vector<float> data(6 * stride, -7.0f);
    for (int r = 0; r < 5; ++r)
      for (std::size_t l = 0; l < floats; ++l) data[r * stride + l] = value(rng);
    const auto in = data;
    const float* row[5];
    for (int r = 0; r < 5; ++r) row[r] = data.data() + r * stride;
    float* out = data.data() + 5 * stride;
    HWY_NAMESPACE::BlurRows(row[0], row[1], row[2], row[3], row[4], out, floats);
    for (std::size_t l = 0; l < stride; ++l) {
      if (l >= floats) {
        ASSERT_EQ(out[l], -7.0f) << "wrote past " << floats << " floats";
        continue;
      }
      double want = 0;
      for (int d = -2; d <= 2; ++d) want += grid::Tap(d) * in[(2 + d) * stride + l];
      ASSERT_NEAR(out[l], want, 1e-4) << floats << " floats, lane " << l;
    }
    EXPECT_TRUE(std::equal(in.begin(), in.begin() + 5 * stride, data.begin())) << "changed an input";
  }
}

void TestSliceRow() {
  const float gain = 2.4f;
  // Gathers, lookups over four cells (AVX-512), over two cells (AVX2, AVX-512);
  // rows of any level, and rows within 64 levels, whose neighbours' bins
  // fit the narrower table window AVX2 uses then.
  for (double spacing : {2.0, 5.5, 9.0, 17.5}) {
    for (const int low : {0, 96}) {
      ForEachSegment(spacing, [&](const Segment& seg, const o::ColumnTables& cols) {
        // Two grid rows of positive weights and values that are weight times a
        // level, plus the slack the interpolation may read.
        std::mt19937 rng(static_cast<std::uint32_t>(seg.xEnd * 31 + seg.xBegin));
        std::uniform_real_distribution<float> weight(0.1f, 4.0f), level(0.0f, 255.0f);
        std::vector<float> g0(seg.floats + kRowAlignFloats), g1(seg.floats + kRowAlignFloats);
        for (auto* g : {&g0, &g1})
          for (std::size_t i = 0; i < g->size(); i += 2) {
            (*g)[i + 1] = weight(rng);
            (*g)[i] = (*g)[i + 1] * level(rng);
          }
        std::vector<float> scratch(SliceScratchFloats(seg.floats));
        HWY_NAMESPACE::SliceStrip(seg, g0.data(), g1.data(), cols.off.data(), scratch.data());
        // Pixel rows of the strip from one preparation, the first on grid row g0.
        for (const float wy : {0.0f, 0.375f, 0.8125f}) {
          auto guarded = o::GuardedRow(seg.xEnd, seg.xEnd * 13 + seg.xBegin + (wy > 0.5f),
                                       low, low == 0 ? 256 : 64);
          auto want = guarded;
          HWY_NAMESPACE::SliceRow(guarded.data() + o::kGuard, seg, g0.data(), g1.data(), wy,
                                  cols.off.data(), cols.w.data(), gain, scratch.data());

          auto at = [&](std::size_t i) { return g0[i] + wy * (g1[i] - g0[i]); };
          for (int x = seg.xBegin; x < seg.xEnd; ++x) {
            std::uint8_t* p = want.data() + o::kGuard + 3 * x;
            const double y = grid::Luma(p);
            int cell;
            double fz;
            grid::RangeBin(y, cell, fz);
            const std::size_t c0 = cols.off[x] - seg.base + 2 * cell;
            double vw[2];
            for (int k = 0; k < 2; ++k) {
              auto lerp = [&](std::size_t i) { return at(i + k) + fz * (at(i + 2 + k) - at(i + k)); };
              vw[k] = lerp(c0) + cols.w[x] * (lerp(c0 + kCellFloats) - lerp(c0));
            }
            const double detail = gain * (y - vw[0] / vw[1]);
            for (int c = 0; c < 3; ++c) p[c] = grid::Enhanced(p[c], detail);
          }
          o::ExpectRowMatches(guarded, want, seg.xBegin, seg.xEnd, "SliceRow");
        }
      });
    }
  }
}

void TestWindowRow() {
  constexpr int kHeight = 5;
  const double sigma = 2.0;
  float spatial[2 * kWindowRadius + 1];
  for (int d = -kWindowRadius; d <= kWindowRadius; ++d)
    spatial[d + kWindowRadius] = static_cast<float>(std::exp(-(d * d) / (2 * sigma * sigma)));
  for (int width = 1; width <= 2 * o::kWidest + 1; ++width) {
    std::vector<std::vector<std::uint8_t>> rows;
    std::vector<std::uint16_t> luma(static_cast<std::size_t>(width) * kHeight);
    for (int y = 0; y < kHeight; ++y) {
      rows.push_back(o::GuardedRow(width, width * 5 + y));
      HWY_NAMESPACE::LumaRow(rows[y].data() + o::kGuard, width, luma.data() + y * width);
    }
    const int y = 2;
    auto want = rows[y];
    HWY_NAMESPACE::WindowRow(rows[y].data() + o::kGuard, y, luma.data(), width, kHeight, spatial, 1.5f);
    for (int x = 0; x < width; ++x) {
      double sumV = 0, sumW = 0;
      const double lp = luma[y * width + x];
      for (int qy = 0; qy < kHeight; ++qy)
        for (int qx = std::max(0, x - kWindowRadius); qx <= std::min(width - 1, x + kWindowRadius); ++qx) {
          const double lq = luma[qy * width + qx];
          const double d = (lq - lp) / 256.0;
          const double w = spatial[qy - y + kWindowRadius] * spatial[qx - x + kWindowRadius] *
                           std::exp(-d * d / (2.0 * kSigmaR * kSigmaR));
          sumV += w * lq / 256.0;
          sumW += w;
        }
      std::uint8_t* p = want.data() + o::kGuard + 3 * x;
      const double detail = 1.5 * (grid::Luma(p) - sumV / sumW);
      for (int c = 0; c < 3; ++c) p[c] = grid::Enhanced(p[c], detail);
    }
    o::ExpectRowMatches(rows[y], want, 0, width, "WindowRow");
  }
}

}  // namespace
}  // namespace HWY_NAMESPACE
}  // namespace morvane::imgproc
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace morvane::imgproc {
namespace {

class Kernels : public hwy::TestWithParamTarget {};

HWY_EXPORT(SplatRow);

// The splat's sums must not depend on the vector width: AVX2 and AVX-512
// write the same bytes only if every target adds the same contributions in
// the same order. Rows longer than a chunk, segments that do not start at
// pixel 0, smooth rows (many pixels share an offset) and noisy ones.
TEST(KernelsAgree, SplatRowSameBitsOnEveryTarget) {
  for (double spacing : {3.3, 9.0, 17.5}) {
    for (const int span : {16, 256}) {
      for (const int width : {5, 13, 24, 37, 300, 531}) {
        for (const int xBegin : {0, 11}) {
          const int xEnd = xBegin + width;
          const oracle::ColumnTables cols = oracle::MakeColumns(xEnd, spacing);
          const int firstCell = cols.off[xBegin] / kCellFloats;
          const std::size_t floats = static_cast<std::size_t>(
              (cols.off[xEnd - 1] / kCellFloats - firstCell + 2) * kCellFloats + kRowAlignFloats);
          const Segment seg{xBegin, xEnd, firstCell * kCellFloats, floats};
          const auto guarded = oracle::GuardedRow(xEnd, static_cast<std::uint32_t>(xEnd + span), 96,
                                                  span);
          std::vector<float> first;
          for (const std::int64_t target : hwy::SupportedAndGeneratedTargets()) {
            hwy::SetSupportedTargetsForTest(target);
            std::vector<float> copies(2 * floats, 0.0f);
            std::vector<std::int32_t> off(kBatchPixels);
            std::vector<float> near(4 * kBatchPixels), far(4 * kBatchPixels);
            HWY_DYNAMIC_DISPATCH(SplatRow)(guarded.data() + oracle::kGuard, seg, cols.off.data(),
                                           cols.w.data(), floats,
                                           SplatScratch{copies.data(), off.data(), near.data(),
                                                        far.data()});
            if (first.empty()) {
              first = copies;
              continue;
            }
            ASSERT_EQ(std::memcmp(first.data(), copies.data(), copies.size() * sizeof(float)), 0)
                << hwy::TargetName(target) << " spacing " << spacing << " pixels " << xBegin << ".."
                << xEnd << " span " << span;
          }
          hwy::SetSupportedTargetsForTest(0);
        }
      }
    }
  }
}
HWY_TARGET_INSTANTIATE_TEST_SUITE_P(Kernels);
HWY_EXPORT_AND_TEST_P(Kernels, TestLumaRow);
HWY_EXPORT_AND_TEST_P(Kernels, TestSplatRow);
HWY_EXPORT_AND_TEST_P(Kernels, TestSplatRowInto);
HWY_EXPORT_AND_TEST_P(Kernels, TestPendAndFlushStrip);
HWY_EXPORT_AND_TEST_P(Kernels, TestSplatStrip);
HWY_EXPORT_AND_TEST_P(Kernels, TestBlurBins);
HWY_EXPORT_AND_TEST_P(Kernels, TestBlurAxis);
HWY_EXPORT_AND_TEST_P(Kernels, TestBlurRows);
HWY_EXPORT_AND_TEST_P(Kernels, TestSliceRow);
HWY_EXPORT_AND_TEST_P(Kernels, TestWindowRow);

}  // namespace
}  // namespace morvane::imgproc
#endif  // HWY_ONCE
