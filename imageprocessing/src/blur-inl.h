// Blur: the grid's separable Gaussian of variance 2/3 cell^2, five taps, in
// range, across x and down y.
#if defined(MORVANE_IMGPROC_BLUR_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef MORVANE_IMGPROC_BLUR_INL_H_
#undef MORVANE_IMGPROC_BLUR_INL_H_
#else
#define MORVANE_IMGPROC_BLUR_INL_H_
#endif

#include <cstring>

#include "pixels-inl.h"

HWY_BEFORE_NAMESPACE();
namespace morvane::imgproc {
namespace HWY_NAMESPACE {

// exp(-i^2 / (2 * 2/3)) for i = 0, 1, 2, normalised; the third tap is 2.4 %
// of the centre and the fourth would be 0.2 %, below what the output shows.
constexpr float kTap0 = 0.489163262f;
constexpr float kTap1 = 0.231064364f;
constexpr float kTap2 = 0.0243540048f;

// The five-tap Gaussian from the centre sample, the sum of its two nearest
// neighbours and the sum of the two beyond: every blur of the grid takes its
// arithmetic, in this order, from here.
template <class V>
HWY_INLINE V Taps(V centre, V inner, V outer) {
  const hn::DFromV<V> d;
  return MulThenAdd(hn::Set(d, kTap2), outer,
                    MulThenAdd(hn::Set(d, kTap1), inner, hn::Mul(hn::Set(d, kTap0), centre)));
}

// The range axis of every cell of a row. Values and weights interleave, so
// bin neighbours are 2 and 4 floats away: in 4-float vectors, the neighbour
// vector and one byte shift of two vectors. At small grid spacings there is
// a cell for every few pixels, so this blur is a visible part of a call.
void BlurBins(float* HWY_RESTRICT row, int cells) {
#if HWY_TARGET == HWY_SCALAR
  for (int c = 0; c < cells; ++c) {
    float* p = row + static_cast<std::ptrdiff_t>(c) * kCellFloats;
    float t[kCellFloats + 8] = {};
    std::memcpy(t + 4, p, sizeof(float) * kCellFloats);
    for (int k = 0; k < kCellFloats; ++k) {
      const float* q = t + 4 + k;
      p[k] = kTap0 * q[0] + kTap1 * (q[-2] + q[2]) + kTap2 * (q[-4] + q[4]);
    }
  }
#elif HWY_TARGET <= HWY_AVX2
  // A cell is three 8-float vectors. The neighbours 4 floats away are one
  // permute of two adjacent vectors' halves, those 2 away one byte shift
  // within the halves of that and the vector itself: fewer instructions than
  // 4-float vectors take, the same additions in the same order.
  const hn::FixedTag<float, 8> d;
  using V = hn::Vec<decltype(d)>;
  constexpr int kVectors = kCellFloats / 8;
  auto shift8 = [](__m256 high, __m256 low) {
    return V{_mm256_castsi256_ps(
        _mm256_alignr_epi8(_mm256_castps_si256(high), _mm256_castps_si256(low), 8))};
  };
  for (int c = 0; c < cells; ++c) {
    float* p = row + static_cast<std::ptrdiff_t>(c) * kCellFloats;
    __m256 v[kVectors + 2];
    v[0] = v[kVectors + 1] = _mm256_setzero_ps();
    for (int i = 0; i < kVectors; ++i) v[i + 1] = _mm256_loadu_ps(p + 8 * i);
    for (int i = 1; i <= kVectors; ++i) {
      const __m256 minus4 = _mm256_permute2f128_ps(v[i - 1], v[i], 0x21);
      const __m256 plus4 = _mm256_permute2f128_ps(v[i], v[i + 1], 0x21);
      const V inner = hn::Add(shift8(v[i], minus4), shift8(plus4, v[i]));
      const V outer = hn::Add(V{minus4}, V{plus4});
      hn::StoreU(Taps(V{v[i]}, inner, outer), d, p + 8 * (i - 1));
    }
  }
#else
  const hn::FixedTag<float, 4> d;
  constexpr int kVectors = kCellFloats / 4;
  for (int c = 0; c < cells; ++c) {
    float* p = row + static_cast<std::ptrdiff_t>(c) * kCellFloats;
    hn::Vec<decltype(d)> v[kVectors + 2];
    v[0] = v[kVectors + 1] = hn::Zero(d);
    for (int i = 0; i < kVectors; ++i) v[i + 1] = hn::LoadU(d, p + 4 * i);
    for (int i = 1; i <= kVectors; ++i) {
      const auto inner = hn::Add(hn::CombineShiftRightBytes<8>(d, v[i], v[i - 1]),
                                 hn::CombineShiftRightBytes<8>(d, v[i + 1], v[i]));
      const auto outer = hn::Add(v[i - 1], v[i + 1]);
      hn::StoreU(Taps(v[i], inner, outer), d, p + 4 * (i - 1));
    }
  }
#endif
}

void BlurAxis(float* HWY_RESTRICT base, int count, std::size_t stride, std::size_t width) {
  const hn::CappedTag<float, 8> d;
  const std::size_t n = hn::Lanes(d);
  const auto zero = hn::Zero(d);
  for (std::size_t o = 0; o < width; o += n) {
    float* p = base + o;
    // Sliding window of the original samples i-2 .. i+2, so the blur runs in
    // place without a second copy of the grid.
    auto m2 = zero, m1 = zero;
    auto c = hn::LoadU(d, p);
    auto p1 = count > 1 ? hn::LoadU(d, p + stride) : zero;
    for (int i = 0; i < count; ++i) {
      const auto p2 =
          i + 2 < count ? hn::LoadU(d, p + static_cast<std::size_t>(i + 2) * stride) : zero;
      hn::StoreU(Taps(c, hn::Add(m1, p1), hn::Add(m2, p2)), d,
                 p + static_cast<std::size_t>(i) * stride);
      m2 = m1;
      m1 = c;
      c = p1;
      p1 = p2;
    }
  }
}

// Out of place, one output row from five inputs: lets a row be blurred as
// soon as its neighbours exist, with the inputs left intact for whoever else
// needs them.
void BlurRows(const float* HWY_RESTRICT m2, const float* HWY_RESTRICT m1,
              const float* HWY_RESTRICT c, const float* HWY_RESTRICT p1,
              const float* HWY_RESTRICT p2, float* HWY_RESTRICT out, std::size_t floats) {
  const hn::CappedTag<float, 8> d;
  const std::size_t n = hn::Lanes(d);
  for (std::size_t i = 0; i < floats; i += n) {
    const auto inner = hn::Add(hn::LoadU(d, m1 + i), hn::LoadU(d, p1 + i));
    const auto outer = hn::Add(hn::LoadU(d, m2 + i), hn::LoadU(d, p2 + i));
    hn::StoreU(Taps(hn::LoadU(d, c + i), inner, outer), d, out + i);
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace morvane::imgproc
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
