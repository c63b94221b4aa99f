// The exact window: the bilateral filter evaluated over every pixel within
// kWindowRadius, for the tiny pictures that do not take the grid.
#if defined(MORVANE_IMGPROC_WINDOW_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef MORVANE_IMGPROC_WINDOW_INL_H_
#undef MORVANE_IMGPROC_WINDOW_INL_H_
#else
#define MORVANE_IMGPROC_WINDOW_INL_H_
#endif

#include <algorithm>

#include "pixels-inl.h"

HWY_BEFORE_NAMESPACE();
namespace morvane::imgproc {
namespace HWY_NAMESPACE {

// exp(x) for x <= 0, and exactly 0 below -87: 2^(x log2 e), the integer part
// into the exponent bits and the fraction (within +-1/2) by a degree-5
// polynomial (2.4e-6 relative at most, far below what the output shows),
// with plain multiplies and adds: Highway's Exp fuses them where the target
// has FMA, and the bytes must not depend on the target.
HWY_INLINE VF ExpNonPositive(VF x) {
  const DF df;
  const DI di;
  // Adding 1.5 * 2^23 leaves the nearest integer (ties to even) of any
  // |v| < 2^22 in the low mantissa bits, as RoundSmall does.
  const VF magic = hn::Set(df, 12582912.0f);
  const VF v = hn::Mul(x, hn::Set(df, 1.44269504088896341f));
  const VF shifted = hn::Add(v, magic);
  const VF f = hn::Sub(v, hn::Sub(shifted, magic));
  // 2^f = e^(f ln 2): the Taylor series to the fifth power.
  VF p = hn::Set(df, 1.33335581e-3f);
  for (const float c : {9.61812911e-3f, 5.55041087e-2f, 2.40226507e-1f, 6.93147181e-1f, 1.0f}) {
    p = MulThenAdd(p, f, hn::Set(df, c));
  }
  // 2^k for k >= -126, where x >= -87.3.
  const VI k = hn::Sub(hn::BitCast(di, shifted), hn::BitCast(di, magic));
  const VF scale = hn::BitCast(df, hn::ShiftLeft<23>(hn::Add(k, hn::Set(di, 127))));
  return hn::IfThenElseZero(hn::Ge(x, hn::Set(df, -87.0f)), hn::Mul(p, scale));
}

void WindowRow(std::uint8_t* HWY_RESTRICT row, int y, const std::uint16_t* HWY_RESTRICT luma,
               int width, int height, const float* HWY_RESTRICT spatial, float gain) {
  const DF df;
  const int n = static_cast<int>(hn::Lanes(df));
  // Luma is in 1/256 levels, so the range exponent carries 256^2.
  const VF rangeScale = hn::Set(df, -1.0f / (2.0f * kSigmaR * kSigmaR * 65536.0f));
  // (kOutside - 65280)^2 * rangeScale is about -1.2e4, far below -87.
  constexpr float kOutside = 1e6f;
  const VF tiny = hn::Set(df, 1e-30f);
  const VF vgain = hn::Set(df, gain);
  const int y0 = std::max(0, y - kWindowRadius);
  const int y1 = std::min(height - 1, y + kWindowRadius);
  const int span = n + 2 * kWindowRadius;
  HWY_ALIGN float samples[kMaxLanes + 2 * kWindowRadius];
  HWY_ALIGN float centre[kMaxLanes];
  HWY_ALIGN std::uint8_t tail[3 * kMaxLanes] = {};
  const std::uint16_t* own = luma + static_cast<std::ptrdiff_t>(y) * width;

  for (int x = 0; x < width; x += n) {
    const int valid = std::min(n, width - x);
    for (int l = 0; l < n; ++l) centre[l] = own[x + std::min(l, valid - 1)];
    const VF yp = hn::Load(df, centre);
    // Sample i is pixel column first + i; those in [inBegin, inEnd) exist.
    const int first = x - kWindowRadius;
    const int inBegin = std::max(0, first), inEnd = std::min(width, first + span);
    VF sumV = hn::Zero(df), sumW = hn::Zero(df);
    for (int qy = y0; qy <= y1; ++qy) {
      const std::ptrdiff_t rowStart = static_cast<std::ptrdiff_t>(qy) * width;
      VF sv = hn::Zero(df), sw = hn::Zero(df);
      // Samples outside the picture hold a level so far from any pixel's
      // that the range exponent falls below -87, where ExpNonPositive
      // returns exactly 0: they add nothing, and the loop needs no mask.
      std::fill(samples, samples + (inBegin - first), kOutside);
      for (int pos = inBegin; pos < inEnd; ++pos) samples[pos - first] = luma[rowStart + pos];
      std::fill(samples + (inEnd - first), samples + span, kOutside);
      for (int t = 0; t <= 2 * kWindowRadius; ++t) {
        const VF yq = hn::LoadU(df, samples + t);
        const VF d = hn::Sub(yq, yp);
        const VF w = hn::Mul(ExpNonPositive(hn::Mul(hn::Mul(d, d), rangeScale)),
                             hn::Set(df, spatial[t]));
        sv = MulThenAdd(w, yq, sv);
        sw = hn::Add(sw, w);
      }
      const VF wy = hn::Set(df, spatial[qy - y + kWindowRadius]);
      sumV = MulThenAdd(wy, sv, sumV);
      sumW = MulThenAdd(wy, sw, sumW);
    }
    const VF base = hn::Mul(hn::Div(sumV, hn::Max(sumW, tiny)), hn::Set(df, 1.0f / 256.0f));

    std::uint8_t* p = row + 3 * static_cast<std::ptrdiff_t>(x);
    const VF detail = hn::Mul(vgain, hn::Sub(LoadLuma(p, valid, tail), base));
    HWY_ALIGN std::int16_t detail16[kMaxLanes];
    hn::Store(RoundDetail(detail), DI16(), detail16);
    AddDetail(p, detail16, valid);
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace morvane::imgproc
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
