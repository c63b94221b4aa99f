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

// exp(x) for x <= 0, and exactly 0 below -104: Highway's Exp (Cody-Waite
// reduction by ln 2, a degree-7 polynomial) with plain multiplies and adds,
// since its own fuses them where the target has FMA and the bytes must not
// depend on the target.
HWY_INLINE VF ExpNonPositive(VF x) {
  const DF df;
  const DI di;
  // q = x / ln 2 rounded half away from zero (x <= 0), by truncation.
  const VI q = hn::ConvertTo(di, MulThenAdd(x, hn::Set(df, 1.442695040888963407359924681f),
                                            hn::Set(df, -0.5f)));
  const VF qf = hn::ConvertTo(df, q);
  // r = x - q ln 2 in two parts, so the reduction keeps its precision.
  VF r = MulThenAdd(qf, hn::Set(df, -0.693145751953125f), x);
  r = MulThenAdd(qf, hn::Set(df, -1.428606765330187045e-6f), r);
  VF poly = hn::Set(df, 0.000198527617612853646278381f);
  for (const float k : {0.00139304355252534151077271f, 0.00833336077630519866943359f,
                        0.0416664853692054748535156f, 0.166666671633720397949219f, 0.5f}) {
    poly = MulThenAdd(poly, r, hn::Set(df, k));
  }
  const VF e = hn::Add(MulThenAdd(poly, hn::Mul(r, r), r), hn::Set(df, 1.0f));
  // 2^q in two factors, so that q down to -126 * 2 stays representable.
  const VI half = hn::ShiftRight<1>(q);
  auto pow2 = [&](VI k) { return hn::BitCast(df, hn::ShiftLeft<23>(hn::Add(k, hn::Set(di, 127)))); };
  const VF y = hn::Mul(hn::Mul(e, pow2(half)), pow2(hn::Sub(q, half)));
  return hn::IfThenElseZero(hn::Ge(x, hn::Set(df, -104.0f)), y);
}

void WindowRow(std::uint8_t* HWY_RESTRICT row, int y, const std::uint16_t* HWY_RESTRICT luma,
               int width, int height, int radius, const float* HWY_RESTRICT spatial,
               float gain) {
  const DF df;
  const int n = static_cast<int>(hn::Lanes(df));
  // Luma is in 1/256 levels, so the range exponent carries 256^2.
  const VF rangeScale = hn::Set(df, -1.0f / (2.0f * kSigmaR * kSigmaR * 65536.0f));
  // (kOutside - 65280)^2 * rangeScale is about -1.2e4, far below -104.
  constexpr float kOutside = 1e6f;
  const VF tiny = hn::Set(df, 1e-30f);
  const VF vgain = hn::Set(df, gain);
  const int y0 = std::max(0, y - radius);
  const int y1 = std::min(height - 1, y + radius);
  const int span = n + 2 * radius;
  HWY_ALIGN float samples[kMaxLanes + 2 * kWindowRadius];
  HWY_ALIGN float centre[kMaxLanes];
  HWY_ALIGN std::uint8_t tail[3 * kMaxLanes] = {};
  const std::uint16_t* own = luma + static_cast<std::ptrdiff_t>(y) * width;

  for (int x = 0; x < width; x += n) {
    const int valid = std::min(n, width - x);
    for (int l = 0; l < n; ++l) centre[l] = own[x + std::min(l, valid - 1)];
    const VF yp = hn::Load(df, centre);
    // Sample i is pixel column first + i; those in [inBegin, inEnd) exist.
    const int first = x - radius;
    const int inBegin = std::max(0, first), inEnd = std::min(width, first + span);
    VF sumV = hn::Zero(df), sumW = hn::Zero(df);
    for (int qy = y0; qy <= y1; ++qy) {
      const std::ptrdiff_t rowStart = static_cast<std::ptrdiff_t>(qy) * width;
      VF sv = hn::Zero(df), sw = hn::Zero(df);
      // Samples outside the picture hold a level so far from any pixel's
      // that the range exponent falls below -104, where ExpNonPositive
      // returns exactly 0: they add nothing, and the loop needs no mask.
      std::fill(samples, samples + (inBegin - first), kOutside);
      for (int pos = inBegin; pos < inEnd; ++pos) samples[pos - first] = luma[rowStart + pos];
      std::fill(samples + (inEnd - first), samples + span, kOutside);
      for (int t = 0; t <= 2 * radius; ++t) {
        const VF yq = hn::LoadU(df, samples + t);
        const VF d = hn::Sub(yq, yp);
        const VF w = hn::Mul(ExpNonPositive(hn::Mul(hn::Mul(d, d), rangeScale)),
                             hn::Set(df, spatial[t]));
        sv = MulThenAdd(w, yq, sv);
        sw = hn::Add(sw, w);
      }
      const VF wy = hn::Set(df, spatial[qy - y + radius]);
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
