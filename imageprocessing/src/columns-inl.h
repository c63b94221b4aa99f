// Column runs: the pixels of a strip taken one lane per pixel column, down a
// run of its rows, so that each lane stays in one cell pair for the whole
// run (the splat by columns, grid spacings from kColumnSplatSpacing). The
// range axis is taken in windows per group of kGroupColumns columns, from
// the bin below the group's lowest luma in the run, each pixel in the one
// window that holds it. In a window with middle bin m, a pixel at range
// position z (t = z - m, r_k = max(t - k, 0)) has tent weights linear in t
// and the r_k, so a column's pixels can be summed before their bins are
// known. A narrow window holds t in [-1, 1] and puts r_0 - t, 1 + t - 2 r_0
// and r_0 in bins m - 1, m and m + 1; a wide one holds t in [-1, 3] and
// needs r_1 and r_2 as well for bins m - 1 .. m + 3 (see SplatColumns). Most
// groups' luma fits a narrow window, and the runs whose groups all fit one
// take the fewest sums; most of the others (an edge crossing the strip) fit
// one wide window, which costs fewer sums than two narrow ones.
#if defined(MORVANE_IMGPROC_COLUMNS_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef MORVANE_IMGPROC_COLUMNS_INL_H_
#undef MORVANE_IMGPROC_COLUMNS_INL_H_
#else
#define MORVANE_IMGPROC_COLUMNS_INL_H_
#endif

#include <algorithm>

#include "pixels-inl.h"

HWY_BEFORE_NAMESPACE();
namespace morvane::imgproc {
namespace HWY_NAMESPACE {

constexpr int kGroupColumns = 8;
// Rows a run holds at most, so that its luma stays on the stack (a strip has
// more rows only beyond 4096 px on the short side).
constexpr int kRunRows = 64;
// Cells a group of columns spans at most: at grid spacings from 3.5 px (the
// schedule takes the splat by columns from kColumnSplatSpacing).
constexpr int kGroupCells = 3;
// Bins of range a wide window holds (a narrow one holds two).
constexpr int kWideBins = 4;
// Wide windows a group needs at most to hold luma 0 to 255.
constexpr int kMaxWindows = 3;
static_assert(kWideBins * kMaxWindows >= kBins - 1, "windows from bin 0 reach the last bin");

// The luma of a run of n rows of kLanes columns (a multiple of the vector
// width and of kGroupColumns), `valid` of them in the segment, and each
// group's windows.
template <int kLanes>
struct ColumnRun {
  static constexpr int kGroups = kLanes / kGroupColumns;
  int n, valid;
  HWY_ALIGN float luma[kRunRows][kLanes];  // 0 past `valid`
  int middle[kGroups];   // of the group's first window; the next are 4, 8, ... bins up
  int windows[kGroups];  // wide ones; 0 for a group past the segment
  bool narrow[kGroups];  // whether the group's luma fits a narrow window
  int passes;            // the most windows of any group
  bool narrowRun;        // whether every group's luma fits a narrow window
  HWY_ALIGN float middleF[kLanes], lastF[kLanes];  // each lane's group's: middle, windows - 1
};

// Fills `run` from the n rows from `first` (`stride` bytes apart), columns
// [x0, x0 + valid).
template <int kLanes>
HWY_INLINE void LoadColumnRun(const std::uint8_t* HWY_RESTRICT first, std::ptrdiff_t stride, int n,
                              int x0, int valid, ColumnRun<kLanes>& run) {
  const DF df;
  constexpr int N = static_cast<int>(hn::MaxLanes(DF()));
  constexpr int kVectors = kLanes / N;
  constexpr int kGroups = ColumnRun<kLanes>::kGroups;
  HWY_ALIGN std::uint8_t tail[3 * kMaxLanes] = {};
  run.n = n;
  run.valid = valid;
  const bool whole = valid == kLanes;
  HWY_ALIGN float lows[kLanes], highs[kLanes];
  for (int v = 0; v < kVectors; ++v) {
    const int lanes = std::clamp(valid - v * N, 0, N);
    const auto inside = hn::FirstN(df, static_cast<std::size_t>(lanes));
    VF low = hn::Set(df, 1e9f), high = hn::Set(df, -1e9f);
    for (int j = 0; j < n; ++j) {
      const std::uint8_t* p = first + j * stride + 3 * static_cast<std::ptrdiff_t>(x0 + v * N);
      VF y;
      if (whole) {
        y = LoadLuma(p);
        low = hn::Min(low, y);
        high = hn::Max(high, y);
      } else {
        y = lanes > 0 ? LoadLuma(p, lanes, tail) : hn::Zero(df);
        low = hn::Min(low, hn::IfThenElse(inside, y, low));
        high = hn::Max(high, hn::IfThenElse(inside, y, high));
      }
      hn::Store(y, df, run.luma[j] + v * N);
    }
    hn::Store(low, df, lows + v * N);
    hn::Store(high, df, highs + v * N);
  }
  run.passes = 0;
  run.narrowRun = true;
  for (int g = 0; g < kGroups; ++g) {
    float lo = 1e9f, hi = -1e9f;
    for (int l = g * kGroupColumns; l < (g + 1) * kGroupColumns; ++l) {
      lo = std::min(lo, lows[l]);
      hi = std::max(hi, highs[l]);
    }
    run.windows[g] = 0;
    run.middle[g] = 1;
    run.narrow[g] = true;
    if (lo <= hi) {
      // Wide window k holds z in [m + 4k - 1, m + 4k + 3), the last one its
      // upper end too; its middle bin is m + 4k, and its bins past the last
      // one hold nothing (no luma lies above 255). A narrow window holds z
      // in [m - 1, m + 1].
      const float zlo = lo * (1.0f / kSigmaR), zhi = hi * (1.0f / kSigmaR);
      run.middle[g] = std::min(static_cast<int>(zlo) + 1, kBins - 2);
      run.windows[g] = 1;
      while (static_cast<float>(run.middle[g] + kWideBins * run.windows[g] - 1) < zhi) ++run.windows[g];
      run.narrow[g] = !(static_cast<float>(run.middle[g] + 1) < zhi);
    }
    run.passes = std::max(run.passes, run.windows[g]);
    run.narrowRun = run.narrowRun && run.narrow[g];
    for (int l = 0; l < kGroupColumns; ++l) {
      run.middleF[g * kGroupColumns + l] = static_cast<float>(run.middle[g]);
      run.lastF[g * kGroupColumns + l] = static_cast<float>(run.windows[g] - 1);
    }
  }
}

// Middle bin of wide window `pass` of a group whose first window's is `middle`.
HWY_INLINE int WindowMiddle(int middle, int pass) { return middle + kWideBins * pass; }

// Window `pass` of the vector of lanes from `lane` on: each lane's middle
// bin (MiddleOf), and the lanes whose group has this window and whose pixel,
// at range position z, it holds, of those `inside` the segment (Holds).
template <int kLanes>
HWY_INLINE VF MiddleOf(const ColumnRun<kLanes>& run, int pass, int lane) {
  const DF df;
  return hn::Add(hn::Load(df, run.middleF + lane), hn::Set(df, static_cast<float>(kWideBins * pass)));
}
template <int kLanes>
HWY_INLINE hn::Mask<DF> Holds(const ColumnRun<kLanes>& run, int pass, int lane, VF z,
                              hn::Mask<DF> inside) {
  const DF df;
  const VF passF = hn::Set(df, static_cast<float>(pass));
  const VF last = hn::Load(df, run.lastF + lane);
  const VF from =
      hn::Add(hn::Load(df, run.middleF + lane), hn::Set(df, static_cast<float>(kWideBins * pass - 1)));
  auto in = hn::And(inside, hn::Le(passF, last));
  if (pass > 0) in = hn::And(in, hn::Ge(z, from));
  return hn::And(in, hn::Or(hn::Lt(z, hn::Add(from, hn::Set(df, static_cast<float>(kWideBins)))),
                            hn::Eq(passF, last)));
}

}  // namespace HWY_NAMESPACE
}  // namespace morvane::imgproc
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
