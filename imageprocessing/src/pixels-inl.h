// Pixels: the luminance of interleaved B, G, R bytes, its range bin, the
// rounding of the detail and its addition to the three channels, and the
// vector types every stage uses. Compiled once per target through kernels.cc.
#if defined(MORVANE_IMGPROC_PIXELS_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef MORVANE_IMGPROC_PIXELS_INL_H_
#undef MORVANE_IMGPROC_PIXELS_INL_H_
#else
#define MORVANE_IMGPROC_PIXELS_INL_H_
#endif

#include <algorithm>
#include <cstring>

#include "kernels.h"
#include "schedule.h"

#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace morvane::imgproc {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DF = hn::ScalableTag<float>;
using DI = hn::RebindToSigned<DF>;
using DU8 = hn::Rebind<std::uint8_t, DF>;
using VF = hn::Vec<DF>;
using VI = hn::Vec<DI>;
using DU16 = hn::Rebind<std::uint16_t, DF>;
using DI16 = hn::Rebind<std::int16_t, DF>;

// Luma weights in 1/32768 (0.299, 0.587, 0.114 rounded to a sum of exactly
// 32768): the weighted sum is an exact integer that converts to float
// exactly, so every target computes bit-identical luma with or without FMA,
// and SIMD forms multiply-add 16-bit pairs instead of widening to floats.
constexpr int kLumaShift = 15;
constexpr std::int32_t kLumaB = 3735;
constexpr std::int32_t kLumaG = 19235;
constexpr std::int32_t kLumaR = 9798;
static_assert(kLumaB + kLumaG + kLumaR == 1 << kLumaShift, "white stays 255");
// No vector is wider than this many floats on any target we compile.
constexpr int kMaxLanes = 16;

// a * b + c, rounded twice: every float operation of the kernels is a plain
// multiply or add, never a fused one (the library is compiled with
// -ffp-contract=off too), because SSE4 and the portable targets have no FMA
// and every target must compute the same bits.
template <class V>
HWY_INLINE V MulThenAdd(V a, V b, V c) {
  return hn::Add(hn::Mul(a, b), c);
}

// Float luma from the integer weighted sum.
HWY_INLINE VF ScaledLuma(VF sum) { return hn::Mul(sum, hn::Set(DF(), 1.0f / (1 << kLumaShift))); }

#if HWY_TARGET <= HWY_AVX3
// Luma of the 16 pixels whose 48 bytes start `bytes`.
HWY_INLINE VF LumaOfBytes(__m512i bytes) {
  // Dwords 3k .. 3k + 3 to block k, so that every block starts at pixel 4k.
  const __m512i spread = _mm512_setr_epi32(0, 1, 2, 3, 3, 4, 5, 6, 6, 7, 8, 9, 9, 10, 11, 11);
  const __m512i px = _mm512_permutexvar_epi32(spread, bytes);
  const __m512i bg = _mm512_broadcast_i32x4(
      _mm_setr_epi8(0, -1, 1, -1, 3, -1, 4, -1, 6, -1, 7, -1, 9, -1, 10, -1));
  const __m512i r = _mm512_broadcast_i32x4(
      _mm_setr_epi8(2, -1, -1, -1, 5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1));
  const __m512i sum = _mm512_add_epi32(
      _mm512_madd_epi16(_mm512_shuffle_epi8(px, bg), _mm512_set1_epi32(kLumaB | kLumaG << 16)),
      _mm512_madd_epi16(_mm512_shuffle_epi8(px, r), _mm512_set1_epi32(kLumaR)));
  return ScaledLuma(VF{_mm512_cvtepi32_ps(sum)});
}
#endif

// Luma of the lane-count pixels at p, reading exactly their 3 * lanes bytes.
// AVX2 and AVX-512 shuffle (b, g) and (r, 0) into 16-bit pairs, one pixel
// per 32-bit lane, and let pmaddwd weigh and sum each pair: five operations
// where de-interleaving, widening and converting three channels takes twenty.
HWY_INLINE VF LoadLuma(const std::uint8_t* HWY_RESTRICT p) {
#if HWY_TARGET <= HWY_AVX3
  // Two plain loads rather than one masked load of 12 dwords, which made
  // whole calls markedly slower (bench/README.md).
  return LumaOfBytes(_mm512_inserti32x4(
      _mm512_castsi256_si512(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32)), 2));
#elif HWY_TARGET <= HWY_AVX2
  // Bytes 0..15 in the low block and 8..23 in the high one, where pixel 4
  // starts at byte 4.
  const __m256i px = _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8)), 1);
  const __m256i bg = _mm256_setr_epi8(0, -1, 1, -1, 3, -1, 4, -1, 6, -1, 7, -1, 9, -1, 10, -1,
                                      4, -1, 5, -1, 7, -1, 8, -1, 10, -1, 11, -1, 13, -1, 14, -1);
  const __m256i r = _mm256_setr_epi8(2, -1, -1, -1, 5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1,
                                     6, -1, -1, -1, 9, -1, -1, -1, 12, -1, -1, -1, 15, -1, -1, -1);
  const __m256i sum = _mm256_add_epi32(
      _mm256_madd_epi16(_mm256_shuffle_epi8(px, bg), _mm256_set1_epi32(kLumaB | kLumaG << 16)),
      _mm256_madd_epi16(_mm256_shuffle_epi8(px, r), _mm256_set1_epi32(kLumaR)));
  return ScaledLuma(VF{_mm256_cvtepi32_ps(sum)});
#else
  const DI di;
  hn::Vec<DU8> b8, g8, r8;
  hn::LoadInterleaved3(DU8(), p, b8, g8, r8);
  const VI sum = hn::Add(hn::Add(hn::Mul(hn::PromoteTo(di, b8), hn::Set(di, kLumaB)),
                                 hn::Mul(hn::PromoteTo(di, g8), hn::Set(di, kLumaG))),
                         hn::Mul(hn::PromoteTo(di, r8), hn::Set(di, kLumaR)));
  return ScaledLuma(hn::ConvertTo(DF(), sum));
#endif
}

// Nearest integer (ties to even) of a float of magnitude below 2^22: adding
// 1.5 * 2^23 leaves it in the low mantissa bits. Two operations where
// NearestInt also repairs out-of-range conversions (five more on AVX2, and
// the detail of a real pixel is never far outside +-255 * gain).
HWY_INLINE VI RoundSmall(VF v) {
  const DF df;
  const DI di;
  const VF magic = hn::Set(df, 12582912.0f);
  return hn::Sub(hn::BitCast(di, hn::Add(v, magic)), hn::BitCast(di, magic));
}

// The range bin of a vector of luma values (0..kBins-2) and the weight of
// the bin above it. Luma lies in [0, 255], so the bin needs no clamp and the
// weight stays below 1; luma is never negative, so the floor is the
// truncation, which AVX2 and AVX-512 take in one conversion (Highway's adds
// an out-of-range repair) and the others convert by rounding the integral
// float.
static_assert(255.0f / kSigmaR < kBins - 1, "the highest luma lies in bin kBins - 2");
struct RangeBin {
  VI bin;
  VF above;  // weight of bin + 1
};
HWY_INLINE RangeBin RangeBinOf(VF y) {
  const DF df;
  const VF z = hn::Mul(y, hn::Set(df, 1.0f / kSigmaR));
#if HWY_TARGET <= HWY_AVX3
  const VI bin{_mm512_cvttps_epi32(z.raw)};
  const VF b = hn::ConvertTo(df, bin);
#elif HWY_TARGET <= HWY_AVX2
  const VI bin{_mm256_cvttps_epi32(z.raw)};
  const VF b = hn::ConvertTo(df, bin);
#else
  const VF b = hn::Floor(z);
  const VI bin = RoundSmall(b);
#endif
  return RangeBin{bin, hn::Sub(z, b)};
}

// The detail of each lane rounded once, saturated to 16 bits; AddDetail
// applies it to all three channels.
// AVX2 and AVX-512 round in one conversion, to nearest even as RoundSmall does.
HWY_INLINE hn::Vec<DI16> RoundDetail(VF detail) {
#if HWY_TARGET <= HWY_AVX3
  return hn::DemoteTo(DI16(), VI{_mm512_cvtps_epi32(detail.raw)});
#elif HWY_TARGET <= HWY_AVX2
  return hn::DemoteTo(DI16(), VI{_mm256_cvtps_epi32(detail.raw)});
#else
  return hn::DemoteTo(DI16(), RoundSmall(detail));
#endif
}

// LoadLuma of the `valid` pixels at p (all lanes when valid == lane count);
// a short tail goes through `tail`, so no byte past the row is read and the
// lanes beyond it hold luma 0.
HWY_INLINE VF LoadLuma(const std::uint8_t* HWY_RESTRICT p, int valid,
                       std::uint8_t* HWY_RESTRICT tail) {
#if HWY_TARGET <= HWY_AVX3
  // A byte-masked load reads exactly the valid pixels and zeroes the rest.
  if (valid < 16) return LumaOfBytes(_mm512_maskz_loadu_epi8((1ULL << (3 * valid)) - 1, p));
  (void)tail;
#else
  if (valid < static_cast<int>(hn::Lanes(DF()))) {
    std::memset(tail, 0, 3 * kMaxLanes);
    std::memcpy(tail, p, 3 * static_cast<std::size_t>(valid));
    p = tail;
  }
#endif
  return LoadLuma(p);
}

// Sets every channel c of the `count` pixels at p to clamp(c + detail, 0, 255).
// The detail is rounded once per pixel rather than once per channel, so the
// channels need no de-interleaving, widening or rounding of their own: with
// pos = clamp(d, 0, 255) and neg = clamp(-d, 0, 255), a saturating byte add
// of pos and a saturating subtract of neg give exactly clamp(c + d), and one
// byte shuffle per 16 bytes of the row spreads 16 pixels' pos (or neg) over
// the 48 interleaved channel bytes. Every target, and the scalar tail, thus
// writes the same bytes.
HWY_INLINE void AddDetail(std::uint8_t* HWY_RESTRICT p, const std::int16_t* HWY_RESTRICT detail,
                          int count) {
  int i = 0;
#if HWY_TARGET != HWY_SCALAR
  // Pixel (0..15) of each byte of the three 16-byte blocks of 16 pixels.
  alignas(16) static constexpr std::uint8_t kSpread[48] = {
      0,  0,  0,  1,  1,  1,  2,  2,  2,  3,  3,  3,  4,  4,  4,  5,
      5,  5,  6,  6,  6,  7,  7,  7,  8,  8,  8,  9,  9,  9,  10, 10,
      10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15};
#if HWY_TARGET <= HWY_AVX2
  // 32 pixels per step in 256-bit vectors: byte shuffles stay within 128-bit
  // blocks, so each output block gets the 16 pixels' deltas it draws from
  // (pixels 0..15 or 16..31) by a block permute, then the block's mask.
  const __m256i zero16 = _mm256_setzero_si256();
  const __m128i s0 = _mm_load_si128(reinterpret_cast<const __m128i*>(kSpread));
  const __m128i s1 = _mm_load_si128(reinterpret_cast<const __m128i*>(kSpread + 16));
  const __m128i s2 = _mm_load_si128(reinterpret_cast<const __m128i*>(kSpread + 32));
  const __m256i spread[3] = {_mm256_setr_m128i(s0, s1), _mm256_setr_m128i(s2, s0),
                             _mm256_setr_m128i(s1, s2)};
  for (; i + 32 <= count; i += 32) {
    const __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(detail + i));
    const __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(detail + i + 16));
    // packus interleaves the blocks of its operands; the permute restores pixel order.
    const __m256i pos = _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), 0xD8);
    const __m256i neg = _mm256_permute4x64_epi64(
        _mm256_packus_epi16(_mm256_subs_epi16(zero16, lo), _mm256_subs_epi16(zero16, hi)), 0xD8);
    const __m256i posSrc[3] = {_mm256_permute2x128_si256(pos, pos, 0x00), pos,
                               _mm256_permute2x128_si256(pos, pos, 0x11)};
    const __m256i negSrc[3] = {_mm256_permute2x128_si256(neg, neg, 0x00), neg,
                               _mm256_permute2x128_si256(neg, neg, 0x11)};
    __m256i* q = reinterpret_cast<__m256i*>(p + 3 * static_cast<std::ptrdiff_t>(i));
    for (int k = 0; k < 3; ++k) {
      const __m256i up = _mm256_adds_epu8(_mm256_loadu_si256(q + k),
                                          _mm256_shuffle_epi8(posSrc[k], spread[k]));
      _mm256_storeu_si256(q + k, _mm256_subs_epu8(up, _mm256_shuffle_epi8(negSrc[k], spread[k])));
    }
  }
#endif
  const hn::FixedTag<std::uint8_t, 16> d8;
  const hn::FixedTag<std::uint8_t, 8> d8h;
  const hn::FixedTag<std::int16_t, 8> d16;
  const auto zero = hn::Zero(d16);
  for (; i + 16 <= count; i += 16) {
    const auto lo = hn::LoadU(d16, detail + i);
    const auto hi = hn::LoadU(d16, detail + i + 8);
    const auto pos = hn::Combine(d8, hn::DemoteTo(d8h, hi), hn::DemoteTo(d8h, lo));
    const auto neg = hn::Combine(d8, hn::DemoteTo(d8h, hn::SaturatedSub(zero, hi)),
                                 hn::DemoteTo(d8h, hn::SaturatedSub(zero, lo)));
    std::uint8_t* q = p + 3 * static_cast<std::ptrdiff_t>(i);
    for (int k = 0; k < 3; ++k) {
      const auto spread = hn::Load(d8, kSpread + 16 * k);
      const auto c = hn::LoadU(d8, q + 16 * k);
      const auto up = hn::SaturatedAdd(c, hn::TableLookupBytes(pos, spread));
      hn::StoreU(hn::SaturatedSub(up, hn::TableLookupBytes(neg, spread)), d8, q + 16 * k);
    }
  }
#if HWY_TARGET <= HWY_AVX3
  // The last 1..15 pixels as one more step through masked loads and stores,
  // which touch no byte past them.
  if (i < count) {
    const int rest = count - i;
    const __m256i d =
        _mm256_maskz_loadu_epi16(static_cast<__mmask16>((1u << rest) - 1), detail + i);
    const __m128i lo = _mm256_castsi256_si128(d), hi = _mm256_extracti128_si256(d, 1);
    const __m128i pos = _mm_packus_epi16(lo, hi);
    const __m128i neg = _mm_packus_epi16(_mm_subs_epi16(_mm_setzero_si128(), lo),
                                         _mm_subs_epi16(_mm_setzero_si128(), hi));
    std::uint8_t* q = p + 3 * static_cast<std::ptrdiff_t>(i);
    for (int k = 0; k < 3 && 16 * k < 3 * rest; ++k) {
      const int bytes = std::min(16, 3 * rest - 16 * k);
      const __mmask16 m = static_cast<__mmask16>((1u << bytes) - 1);
      const __m128i spread = _mm_load_si128(reinterpret_cast<const __m128i*>(kSpread + 16 * k));
      const __m128i up =
          _mm_adds_epu8(_mm_maskz_loadu_epi8(m, q + 16 * k), _mm_shuffle_epi8(pos, spread));
      _mm_mask_storeu_epi8(q + 16 * k, m, _mm_subs_epu8(up, _mm_shuffle_epi8(neg, spread)));
    }
    i = count;
  }
#endif
#endif
  for (; i < count; ++i) {
    for (int c = 0; c < 3; ++c) {
      std::uint8_t& v = p[3 * static_cast<std::ptrdiff_t>(i) + c];
      v = static_cast<std::uint8_t>(std::clamp(v + detail[i], 0, 255));
    }
  }
}

// Luminance of one row, in 1/256 levels (the exact window's input).
void LumaRow(const std::uint8_t* HWY_RESTRICT row, int width, std::uint16_t* HWY_RESTRICT out) {
  const DF df;
  const DU16 du16;
  const int n = static_cast<int>(hn::Lanes(df));
  HWY_ALIGN std::uint8_t tail[3 * kMaxLanes] = {};
  HWY_ALIGN std::uint16_t otail[kMaxLanes] = {};
  for (int x = 0; x < width; x += n) {
    const int valid = std::min(n, width - x);
    const VF y = LoadLuma(row + 3 * static_cast<std::ptrdiff_t>(x), valid, tail);
    const auto y16 = hn::DemoteTo(du16, hn::NearestInt(hn::Mul(y, hn::Set(df, 256.0f))));
    if (valid < n) {
      hn::StoreU(y16, du16, otail);
      std::memcpy(out + x, otail, sizeof(std::uint16_t) * static_cast<std::size_t>(valid));
    } else {
      hn::StoreU(y16, du16, out + x);
    }
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace morvane::imgproc
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
