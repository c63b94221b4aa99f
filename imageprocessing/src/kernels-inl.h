// SIMD kernels of the filter, written once with Highway and compiled by
// kernels.cc for every x86-64 level it targets (SSSE3, SSE4, AVX2, AVX-512,
// plus a portable baseline).
//
// Algorithm: a bilateral grid (Chen, Paris & Durand 2007, after Paris & Durand
// 2006). The luminance is splatted into a coarse 3-D grid of (sum w*Y, sum w)
// sampled at exactly sigma_s in x/y and sigma_r in range, blurred there with a
// small separable Gaussian, and sliced back by trilinear interpolation.
// Why this one: its per-pixel cost is a fixed handful of operations whatever
// sigma_s is (sigma_s reaches 47 px at 4000x3000, where any windowed method
// pays for thousands of taps), the grid for these sigmas holds about 100
// floats per 30x30 pixels so it stays in L2, and against the exact filter it
// measures ~50 dB at strength 5 (the recursive filter cannot follow the
// range kernel exactly, the permutohedral lattice buys nothing in 3-D).
// Splat and slice both use tent (linear) weights in all three axes, which
// adds a variance of s^2/6 each; the grid blur therefore uses variance
// sigma^2 - s^2/3 = 2/3 cell^2 so that the total matches the exact Gaussian.
// Sampling coarser than sigma loses accuracy fast (1.5 sigma costs 6 dB),
// finer sampling only grows the grid.
//
// Every picture of more than kDirectPixels pixels takes the grid, whatever
// its shape: its cost per pixel is fixed, while an exact window grows with
// sigma_s^2 and made small pictures and panoramas slower than large photos.
// The grid of a very flat or very tall picture is cut into bands
// (enhance.cpp), which bounds its memory. Only tiny pictures, where sigma_s
// is 2 px, take the exact window (DirectRow, radius 3 sigma_s = 6 px): there
// it costs at most 169 taps for each of at most 1024 pixels, some tens of
// microseconds, and a handful of pixels gives the grid's interpolation
// nothing to average its error over.
//
// Per pixel, splat and slice are each about twelve instructions on AVX2
// (fewer on AVX-512), and most of what used to surround the grid arithmetic
// is gone: the luma is one integer multiply-add of byte pairs, the slice
// looks its corners up in per-row tables and writes by adding one rounded
// detail to the interleaved bytes, and the splat adds its contributions
// straight from registers, once per group of pixels that share a cell and bin.
//
// Every kernel works on whole rows and never depends on how rows are shared
// among threads, which keeps the output bit-identical for any thread count.
// AVX2 and AVX-512 also agree byte for byte: the luma is exact integer
// arithmetic, the splat adds in one fixed order on every target, both use
// FMA, and the output is one rounding of the detail per pixel.

#if defined(MORVANE_IMGPROC_KERNELS_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef MORVANE_IMGPROC_KERNELS_INL_H_
#undef MORVANE_IMGPROC_KERNELS_INL_H_
#else
#define MORVANE_IMGPROC_KERNELS_INL_H_
#endif

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

#include "kernels.h"

#include <hwy/highway.h>
#include <hwy/contrib/math/math-inl.h>

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
// exp(-i^2 / (2 * 2/3)) for i = 0, 1, 2, normalised; the third tap is 2.4 %
// of the centre and the fourth would be 0.2 %, below what the output shows.
constexpr float kTap0 = 0.489163262f;
constexpr float kTap1 = 0.231064364f;
constexpr float kTap2 = 0.0243540048f;
// No vector is wider than this many floats on any target we compile.
constexpr int kMaxLanes = 16;
// Pixels the slice finishes before it writes their bytes: a whole number of
// vectors on every target, and a few hundred bytes of detail on the stack.
constexpr int kSliceChunk = 256;

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
  // Two plain loads rather than one masked load of 12 dwords: on an AMD EPYC
  // with AVX-512 the masked load made a 4000x3000 call over a third slower
  // (29 ms against 21 ms on one thread), a 1920x1080 one a few percent.
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

// Luma of a vector of pixels, its range cell (0..kBins-2) and the weight of
// the cell above it. Luma lies in [0, 255], so the cell needs no clamp and
// the weight stays below 1; luma is never negative, so the floor is the
// truncation, which AVX2 and AVX-512 take in one conversion (Highway's adds
// an out-of-range repair) and the others convert by rounding the integral
// float.
static_assert(255.0f / kSigmaR < kBins - 1, "the highest luma lies in cell kBins - 2");
struct Levels {
  VF y;
  VI cell;
  VF frac;
};
HWY_INLINE Levels LevelsOf(VF y) {
  const DF df;
  const VF z = hn::Mul(y, hn::Set(df, 1.0f / kSigmaR));
#if HWY_TARGET <= HWY_AVX3
  const VI cell{_mm512_cvttps_epi32(z.raw)};
  const VF c = hn::ConvertTo(df, cell);
#elif HWY_TARGET <= HWY_AVX2
  const VI cell{_mm256_cvttps_epi32(z.raw)};
  const VF c = hn::ConvertTo(df, cell);
#else
  const VF c = hn::Floor(z);
  const VI cell = RoundSmall(c);
#endif
  return Levels{y, cell, hn::Sub(z, c)};
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


// The splat's additions. Each pixel adds two quads (value, weight of two
// adjacent bins): `near` at its offset in cell cx, `far` kCellFloats further
// on, in cell cx + 1. Neighbouring pixels mostly share both the cell and the
// bins (a grid cell is sigma_s wide, ~17 px at 1920x1080 and ~47 px at
// 4000x3000, and photos rarely move 25 levels within a few pixels), so the
// pixels are taken in groups of 8, aligned from the start of the chunk: a
// group whose pixels all land on one offset adds the sum of its quads there
// once, instead of one read-modify-write per pixel (43 % of the groups at
// 1920x1080, 72 % at 4000x3000). Other groups add pixel by pixel, pixel i
// into accumulator copy i % kSplatCopies, which breaks the store-to-load
// chain of neighbours that share an offset. (Blocks of 4 as a second level cut more
// instructions, but their branch is too hard to predict and the splat got
// slower.) A group's quads are summed as ((q0 + q1) + (q2 + q3)) +
// ((q4 + q5) + (q6 + q7)) into copy 0, every address receives its additions
// in pixel order, and every target follows this grouping, vector code and
// tails alike, so the sums are bit-identical on all of them whatever their
// vector width.
constexpr int kGroupPixels = 8;
constexpr int kBlockPixels = 4;
static_assert(kGroupPixels % kSplatCopies == 0 && kSplatChunk % kGroupPixels == 0,
              "a group's first pixel goes to copy 0, and groups never straddle a chunk");

#if HWY_TARGET == HWY_SCALAR
struct Quad {
  float f[4];
};
HWY_INLINE Quad LoadQuad(const float* HWY_RESTRICT p) { return Quad{{p[0], p[1], p[2], p[3]}}; }
HWY_INLINE Quad AddQuad(Quad a, Quad b) {
  for (int k = 0; k < 4; ++k) a.f[k] += b.f[k];
  return a;
}
HWY_INLINE void StoreQuad(Quad q, float* HWY_RESTRICT p) { std::memcpy(p, q.f, sizeof(q.f)); }
#else
using Quad = hn::Vec<hn::FixedTag<float, 4>>;
HWY_INLINE Quad LoadQuad(const float* HWY_RESTRICT p) {
  return hn::LoadU(hn::FixedTag<float, 4>(), p);
}
HWY_INLINE Quad AddQuad(Quad a, Quad b) { return hn::Add(a, b); }
HWY_INLINE void StoreQuad(Quad q, float* HWY_RESTRICT p) {
  hn::StoreU(q, hn::FixedTag<float, 4>(), p);
}
#endif

// Adds a pixel's (or a block's, or a group's) near and far quads at acc.
HWY_INLINE void AddQuads(float* HWY_RESTRICT acc, Quad nearQ, Quad farQ) {
  StoreQuad(AddQuad(LoadQuad(acc), nearQ), acc);
  StoreQuad(AddQuad(LoadQuad(acc + kCellFloats), farQ), acc + kCellFloats);
}

// The quads of the block of pixels [i, i + 4) in `c`, summed.
HWY_INLINE Quad BlockSum(const float* HWY_RESTRICT c, int i) {
  c += 4 * i;
  return AddQuad(AddQuad(LoadQuad(c), LoadQuad(c + 4)), AddQuad(LoadQuad(c + 8), LoadQuad(c + 12)));
}

// Whether pixels [i, i + count) all have the offset of pixel i.
HWY_INLINE bool SameOffset(const std::int32_t* HWY_RESTRICT offs, int i, int count) {
  for (int k = 1; k < count; ++k) {
    if (offs[i + k] != offs[i]) return false;
  }
  return true;
}

// Adds the contributions that SplatRow left in s.near/s.far/s.off for pixels
// [from, count) of a chunk, from a multiple of kGroupPixels.
HWY_INLINE void ScatterBuffered(const SplatScratch& s, int from, int count,
                                std::size_t segmentFloats) {
  const std::int32_t* HWY_RESTRICT offs = s.off;
  const float* HWY_RESTRICT nearC = s.near;
  const float* HWY_RESTRICT farC = s.far;
  float* HWY_RESTRICT copies = s.copies;
  for (int g = from; g < count; g += kGroupPixels) {
    if (g + kGroupPixels <= count && SameOffset(offs, g, kGroupPixels)) {
      AddQuads(copies + offs[g], AddQuad(BlockSum(nearC, g), BlockSum(nearC, g + kBlockPixels)),
               AddQuad(BlockSum(farC, g), BlockSum(farC, g + kBlockPixels)));
      continue;
    }
    for (int i = g; i < std::min(g + kGroupPixels, count); ++i) {
      AddQuads(copies + static_cast<std::size_t>(i % kSplatCopies) * segmentFloats + offs[i],
               LoadQuad(nearC + 4 * i), LoadQuad(farC + 4 * i));
    }
  }
}

#if HWY_TARGET <= HWY_AVX2
// AVX2 and AVX-512 scatter whole vectors straight from registers: two rounds
// of in-block interleaving leave the quad (v, w, vh, wh) of lane 4k + j in
// 128-bit block k of out[j], so the quads need no reordering, no store to
// s.near/s.far and no reload.
HWY_INLINE void TransposeQuads(VF v, VF w, VF vh, VF wh, VF (&out)[4]) {
  const DF df;
  const hn::Repartition<double, DF> dd;
  const auto t0 = hn::BitCast(dd, hn::InterleaveLower(df, v, w));
  const auto t1 = hn::BitCast(dd, hn::InterleaveUpper(df, v, w));
  const auto t2 = hn::BitCast(dd, hn::InterleaveLower(df, vh, wh));
  const auto t3 = hn::BitCast(dd, hn::InterleaveUpper(df, vh, wh));
  out[0] = hn::BitCast(df, hn::InterleaveLower(dd, t0, t2));
  out[1] = hn::BitCast(df, hn::InterleaveUpper(dd, t0, t2));
  out[2] = hn::BitCast(df, hn::InterleaveLower(dd, t1, t3));
  out[3] = hn::BitCast(df, hn::InterleaveUpper(dd, t1, t3));
}

template <int kBlock>
HWY_INLINE Quad Block(VF v) {
#if HWY_TARGET <= HWY_AVX3
  if constexpr (kBlock == 0) return Quad{_mm512_castps512_ps128(v.raw)};
  else return Quad{_mm512_extractf32x4_ps(v.raw, kBlock)};
#else
  if constexpr (kBlock == 0) return Quad{_mm256_castps256_ps128(v.raw)};
  else return Quad{_mm256_extractf128_ps(v.raw, kBlock)};
#endif
}

// Adds the quads of lanes 4 * kBlock .. 4 * kBlock + 3 at their offsets
// from `copies`, which include the offset of copy lane % kSplatCopies.
template <int kBlock>
HWY_INLINE void AddBlock(const VF (&nearQ)[4], const VF (&farQ)[4], const std::uint32_t* offs,
                         float* HWY_RESTRICT copies) {
  for (int j = 0; j < 4; ++j) {
    AddQuads(copies + offs[kBlockPixels * kBlock + j], Block<kBlock>(nearQ[j]),
             Block<kBlock>(farQ[j]));
  }
}

// (q0 + q1) + (q2 + q3) of the transposed quads: block k sums lanes 4k .. 4k + 3.
HWY_INLINE VF SumOfQuads(const VF (&q)[4]) {
  return hn::Add(hn::Add(q[0], q[1]), hn::Add(q[2], q[3]));
}

// Adds group kGroup (lanes 8 * kGroup ..) of the vector: once if `same`
// says its lanes share an offset, else lane by lane.
template <int kGroup>
HWY_INLINE void AddGroup(const VF (&nearQ)[4], const VF (&farQ)[4], const std::uint32_t* offs,
                         unsigned same, float* HWY_RESTRICT copies) {
  if (((same >> (kGroupPixels * kGroup)) & 0xFF) == 0xFF) {
    const VF nearSum = SumOfQuads(nearQ), farSum = SumOfQuads(farQ);
    AddQuads(copies + offs[kGroupPixels * kGroup],
             AddQuad(Block<2 * kGroup>(nearSum), Block<2 * kGroup + 1>(nearSum)),
             AddQuad(Block<2 * kGroup>(farSum), Block<2 * kGroup + 1>(farSum)));
    return;
  }
  AddBlock<2 * kGroup>(nearQ, farQ, offs, copies);
  AddBlock<2 * kGroup + 1>(nearQ, farQ, offs, copies);
}

// `off` holds each lane's float offset from the first copy, `copyOff` that
// of copy lane % kSplatCopies from the first.
HWY_INLINE void ScatterVector(const VF (&nearQuads)[4], const VF (&farQuads)[4], VI off, VI copyOff,
                              float* HWY_RESTRICT copies) {
#if HWY_TARGET <= HWY_AVX3
  const __m512i groupFirst = _mm512_setr_epi32(0, 0, 0, 0, 0, 0, 0, 0, 8, 8, 8, 8, 8, 8, 8, 8);
  const unsigned same =
      _mm512_cmpeq_epi32_mask(off.raw, _mm512_permutexvar_epi32(groupFirst, off.raw));
#else
  const unsigned same = static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(
      _mm256_cmpeq_epi32(off.raw, _mm256_broadcastd_epi32(_mm256_castsi256_si128(off.raw))))));
  if (same == 0xFF) {
    // hadd pairs neighbouring lanes: twice over (v, w, vh, wh) it leaves in
    // block k the sums of lanes 4k .. 4k + 3, added as SumOfQuads adds them.
    auto sum = [](const VF (&x)[4]) {
      return _mm256_hadd_ps(_mm256_hadd_ps(x[0].raw, x[1].raw), _mm256_hadd_ps(x[2].raw, x[3].raw));
    };
    auto halves = [](__m256 v) {
      return AddQuad(Quad{_mm256_castps256_ps128(v)}, Quad{_mm256_extractf128_ps(v, 1)});
    };
    const auto first = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm256_castsi256_si128(off.raw)));
    AddQuads(copies + first, halves(sum(nearQuads)), halves(sum(farQuads)));
    return;
  }
#endif
  VF nearQ[4], farQ[4];
  TransposeQuads(nearQuads[0], nearQuads[1], nearQuads[2], nearQuads[3], nearQ);
  TransposeQuads(farQuads[0], farQuads[1], farQuads[2], farQuads[3], farQ);
  // Unsigned, so that indexing needs no sign extension.
  const hn::RebindToUnsigned<DF> du;
  HWY_ALIGN std::uint32_t offs[kMaxLanes];
  hn::Store(hn::BitCast(du, hn::Add(off, copyOff)), du, offs);
  AddGroup<0>(nearQ, farQ, offs, same, copies);
#if HWY_TARGET <= HWY_AVX3
  AddGroup<1>(nearQ, farQ, offs, same, copies);
#endif
}
#endif

// The contributions of the `valid` pixels from x on (lanes past them add
// nothing): near and far quads, lane by lane, and each lane's offset from
// the first copy.
struct Contributions {
  VF nearQ[4], farQ[4];
  VI off;
};
HWY_INLINE Contributions Contribute(const std::uint8_t* HWY_RESTRICT row, int x, int valid,
                                    const std::int32_t* HWY_RESTRICT colOff,
                                    const float* HWY_RESTRICT colW, VI base,
                                    std::uint8_t* HWY_RESTRICT tail) {
  const DF df;
  const DI di;
  const VF one = hn::Set(df, 1.0f);
  const Levels px = LevelsOf(LoadLuma(row + 3 * static_cast<std::ptrdiff_t>(x), valid, tail));
  const VF y = px.y;
  VF hi = px.frac;
  VF lo = hn::Sub(one, hi);
  if (valid < static_cast<int>(hn::Lanes(df))) {
    const auto m = hn::FirstN(df, static_cast<std::size_t>(valid));
    lo = hn::IfThenElseZero(m, lo);
    hi = hn::IfThenElseZero(m, hi);
  }
  const VF wx1 = hn::LoadU(df, colW + x);
  const VF wx0 = hn::Sub(one, wx1);
  const VF a0 = hn::Mul(wx0, lo), b0 = hn::Mul(wx0, hi);
  const VF a1 = hn::Mul(wx1, lo), b1 = hn::Mul(wx1, hi);
  return Contributions{{hn::Mul(a0, y), a0, hn::Mul(b0, y), b0},
                       {hn::Mul(a1, y), a1, hn::Mul(b1, y), b1},
                       hn::Add(hn::Sub(hn::LoadU(di, colOff + x), base), hn::Add(px.cell, px.cell))};
}

// Leaves the contributions of the `valid` pixels from x0 + i in s.near,
// s.far and s.off at pixel i of the chunk, for the adds that follow.
HWY_INLINE void BufferContributions(const std::uint8_t* HWY_RESTRICT row, int x0, int i, int valid,
                                    const std::int32_t* HWY_RESTRICT colOff,
                                    const float* HWY_RESTRICT colW, VI base,
                                    std::uint8_t* HWY_RESTRICT tail, const SplatScratch& s) {
  const DF df;
  const Contributions c = Contribute(row, x0 + i, valid, colOff, colW, base, tail);
  hn::StoreInterleaved4(c.nearQ[0], c.nearQ[1], c.nearQ[2], c.nearQ[3], df, s.near + 4 * i);
  hn::StoreInterleaved4(c.farQ[0], c.farQ[1], c.farQ[2], c.farQ[3], df, s.far + 4 * i);
  hn::StoreU(c.off, DI(), s.off + i);
}

void SplatRow(const std::uint8_t* HWY_RESTRICT row, const Segment& seg,
              const std::int32_t* HWY_RESTRICT colOff, const float* HWY_RESTRICT colW,
              std::size_t segmentFloats, const SplatScratch& s) {
  const DF df;
  const DI di;
  const int n = static_cast<int>(hn::Lanes(df));
  const VI base = hn::Set(di, seg.base);
  HWY_ALIGN std::uint8_t tail[3 * kMaxLanes] = {};
#if HWY_TARGET <= HWY_AVX2
  // Read once: the additions may alias `s`.
  float* HWY_RESTRICT copies = s.copies;
  // Offset of copy lane % kSplatCopies from the first copy.
  const VI copyOff = hn::Mul(hn::And(hn::Iota(di, 0), hn::Set(di, kSplatCopies - 1)),
                             hn::Set(di, static_cast<std::int32_t>(segmentFloats)));
#endif

  for (int x0 = seg.xBegin; x0 < seg.xEnd; x0 += kSplatChunk) {
    const int count = std::min(kSplatChunk, seg.xEnd - x0);
    int i = 0;
#if HWY_TARGET <= HWY_AVX2
    // Whole vectors add straight from registers, in a loop of their own
    // that tests no tail.
    for (; i + n <= count; i += n) {
      const Contributions c = Contribute(row, x0 + i, n, colOff, colW, base, tail);
      ScatterVector(c.nearQ, c.farQ, c.off, copyOff, copies);
    }
#endif
    const int firstBuffered = i;
    for (; i < count; i += n) {
      BufferContributions(row, x0, i, std::min(n, count - i), colOff, colW, base, tail, s);
    }
    ScatterBuffered(s, firstBuffered, count, segmentFloats);
  }
}

// A strip's pixel rows add into the copies one after another, and the
// copies are flushed into the strip's two grid rows once, after its last
// row: the copies then hold C, the sum of every row R_j of the strip, and
// grid row g1 must receive sum_j w_j R_j (w_j the weight of row j). With
// C_j the copies' sum after row j, that is
//   w_last * C - P,   P = sum over all rows but the last of (w_{j+1} - w_j) C_j,
// and g0 receives C less that, (1 - w_last) * C + P. So every row but the
// last adds its step (w_{j+1} - w_j) times the copies' sum into `pending`
// (PendRow), which reads three segments and writes one, where a flush of
// every row into both grid rows read four and wrote four. Measured on an
// AMD EPYC, one thread (CPU time, interleaved runs): 2000x200 (3.1 px, 3
// rows a strip, where the per-row flush took 15 % of a call) 3 % faster on
// AVX2 and 5 % on AVX-512, 1920x1080 3 to 4 %, 6000x370 1 to 5 %.
static_assert(kSplatCopies == 2, "PendRow and FlushStrip add two copies");

void PendRow(const float* HWY_RESTRICT copies, std::size_t segmentFloats, std::size_t floats,
             float* HWY_RESTRICT pending, float step, bool first) {
  const DF df;
  const std::size_t n = hn::Lanes(df);
  const VF vstep = hn::Set(df, step);
  const float* c0 = copies;
  const float* c1 = copies + segmentFloats;
  for (std::size_t i = 0; i < floats; i += n) {
    const VF sum = hn::Add(hn::LoadU(df, c0 + i), hn::LoadU(df, c1 + i));
    const VF p = first ? hn::Mul(vstep, sum) : hn::MulAdd(vstep, sum, hn::LoadU(df, pending + i));
    hn::StoreU(p, df, pending + i);
  }
}

void FlushStrip(float* HWY_RESTRICT copies, std::size_t segmentFloats, std::size_t floats,
                const float* HWY_RESTRICT pending, float* HWY_RESTRICT g0, float* HWY_RESTRICT g1,
                float w0, float w1) {
  const DF df;
  const std::size_t n = hn::Lanes(df);
  const VF vw0 = hn::Set(df, w0), vw1 = hn::Set(df, w1), zero = hn::Zero(df);
  float* c0 = copies;
  float* c1 = copies + segmentFloats;
  for (std::size_t i = 0; i < floats; i += n) {
    const VF sum = hn::Add(hn::LoadU(df, c0 + i), hn::LoadU(df, c1 + i));
    const VF p = pending != nullptr ? hn::LoadU(df, pending + i) : zero;
    hn::StoreU(hn::Add(hn::LoadU(df, g0 + i), hn::MulAdd(vw0, sum, p)), df, g0 + i);
    hn::StoreU(hn::Add(hn::LoadU(df, g1 + i), hn::MulSub(vw1, sum, p)), df, g1 + i);
    hn::StoreU(zero, df, c0 + i);
    hn::StoreU(zero, df, c1 + i);
  }
}

// The splat at small grid spacings (a cell every 2 to 2.5 px, i.e. a short
// side under 160 px): adds the segment's pixels straight into grid rows g0
// and g1 (floats from seg.base), weighted by w0 and w1, the pixel row's
// weights of the two. SplatRow instead adds into accumulator copies, and
// every pixel row then passes over every float of the segment (PendRow or
// FlushStrip); that pass costs a fixed amount per cell, 24 floats, which at
// these spacings is more than the pixels' own splat (at 2 px a cell holds
// 2 pixels of a row). Here a pixel costs at most two additions per row it
// reaches, and a row of weight 0 (every other row at 2 px) costs none.
// Without copies, neighbours that add at one address would wait for each
// other's stores, and at these spacings nearly every pixel shares a cell
// with the one before (its own, or its far cell as the next one's own): so
// the quads of consecutive pixels at one address are summed in registers
// and stored once, when the run of that address ends.
// Every target runs this same sequence of quad additions, so the sums are
// bit-identical on all targets that have FMA.
void SplatRowInto(const std::uint8_t* HWY_RESTRICT row, const Segment& seg,
                  const std::int32_t* HWY_RESTRICT colOff, const float* HWY_RESTRICT colW,
                  float* HWY_RESTRICT g0, float* HWY_RESTRICT g1, float w0, float w1,
                  const SplatScratch& s) {
  const DF df;
  const DI di;
  const int n = static_cast<int>(hn::Lanes(df));
  const VI base = hn::Set(di, seg.base);
  HWY_ALIGN std::uint8_t tail[3 * kMaxLanes] = {};
  const hn::CappedTag<float, 4> dq;
  using Q = hn::Vec<decltype(dq)>;
  const int quadLanes = static_cast<int>(hn::Lanes(dq));
  // Adds pixels [0, count) of the chunk, weighted, into grid rows g[0 ..
  // kRows): each pixel's near quad at its offset a, its far quad at
  // a + kCellFloats. Both rows in one pass share the loads and the branches,
  // whose outcome depends on the picture; each row still receives the same
  // additions in the same order.
  auto addChunk = [&](auto rows, float* const* g, const float* weight, int count) {
    constexpr int kRows = decltype(rows)::value;
    for (int k = 0; k < 4; k += quadLanes) {
      Q vw[kRows], pendingNear[kRows], pendingFar[kRows];
      auto store = [&](int r, std::int32_t at, Q q) {
        hn::StoreU(hn::Add(hn::LoadU(dq, g[r] + at + k), q), dq, g[r] + at + k);
      };
      std::int32_t at = s.off[0];
      for (int r = 0; r < kRows; ++r) {
        vw[r] = hn::Set(dq, weight[r]);
        pendingNear[r] = hn::Mul(vw[r], hn::LoadU(dq, s.near + k));
        pendingFar[r] = hn::Mul(vw[r], hn::LoadU(dq, s.far + k));
      }
      for (int i = 1; i < count; ++i) {
        const std::int32_t a = s.off[i];
        const Q nearQ = hn::LoadU(dq, s.near + 4 * i + k);
        const Q farQ = hn::LoadU(dq, s.far + 4 * i + k);
        if (a == at) {  // same cell and bin
          for (int r = 0; r < kRows; ++r) {
            pendingNear[r] = hn::MulAdd(vw[r], nearQ, pendingNear[r]);
            pendingFar[r] = hn::MulAdd(vw[r], farQ, pendingFar[r]);
          }
          continue;
        }
        const bool nextCell = a == at + kCellFloats;  // same bin: its near is our far
        for (int r = 0; r < kRows; ++r) {
          store(r, at, pendingNear[r]);
          if (nextCell) {
            pendingNear[r] = hn::MulAdd(vw[r], nearQ, pendingFar[r]);
          } else {
            store(r, at + kCellFloats, pendingFar[r]);
            pendingNear[r] = hn::Mul(vw[r], nearQ);
          }
          pendingFar[r] = hn::Mul(vw[r], farQ);
        }
        at = a;
      }
      for (int r = 0; r < kRows; ++r) {
        store(r, at, pendingNear[r]);
        store(r, at + kCellFloats, pendingFar[r]);
      }
    }
  };
  float* const rows[2] = {g0, g1};
  const float weights[2] = {w0, w1};
  // A row of weight 0 (every other pixel row at 2 px) adds to one grid row.
  const int first = w0 != 0.0f ? 0 : 1;
  const int rowCount = (w0 != 0.0f) + (w1 != 0.0f);
  for (int x0 = seg.xBegin; x0 < seg.xEnd; x0 += kSplatChunk) {
    const int count = std::min(kSplatChunk, seg.xEnd - x0);
    for (int i = 0; i < count; i += n) {
      BufferContributions(row, x0, i, std::min(n, count - i), colOff, colW, base, tail, s);
    }
    if (rowCount == 2) {
      addChunk(std::integral_constant<int, 2>{}, rows, weights, count);
    } else if (rowCount == 1) {
      addChunk(std::integral_constant<int, 1>{}, rows + first, weights + first, count);
    }
  }
}

// The five-tap Gaussian from the centre sample, the sum of its two nearest
// neighbours and the sum of the two beyond: every blur of the grid takes its
// arithmetic, in this order, from here.
template <class V>
HWY_INLINE V Taps(V centre, V inner, V outer) {
  const hn::DFromV<V> d;
  return hn::MulAdd(hn::Set(d, kTap2), outer,
                    hn::MulAdd(hn::Set(d, kTap1), inner, hn::Mul(hn::Set(d, kTap0), centre)));
}

// The range axis of every cell of a row. Values and weights interleave, so
// bin neighbours are 2 and 4 floats away: in 4-float vectors, the neighbour
// vector and one byte shift of two vectors. At small grid spacings there is
// a cell for every few pixels, and a scalar loop here took a third of a call.
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
  // within the halves of that and the vector itself: about 40 % fewer
  // instructions than 4-float vectors, the same additions in the same order.
  // At a 2 px grid spacing a cell holds 4 pixels and this blur was a tenth of
  // a call.
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

// The corners of the grid around a vector of pixels, for the pixels' own cell
// [0] and the cell to its right [1]: value and weight of the pixel's range
// bin, and their slopes to the bin above (the next bin's less this one's).
struct Corners {
  VF v[2], w[2], dv[2], dw[2];
};

#if HWY_TARGET <= HWY_AVX2
// AVX2 and AVX-512 slice through register table lookups wherever the grid
// spacing is 8 px or more on AVX2 (a short side from 512 px) and 5 px or
// more on AVX-512 (from 320 px): the pixels of one vector then lie in at
// most two neighbouring cells on AVX2 and four on AVX-512, as many as their
// lookups take.
// A cell's tables are its twelve values, its twelve weights, and their
// twelve slopes each, so one index fetches a bin and its slope, and the
// range interpolation is one FMA per corner. Sixteen floats from a table
// hold all twelve entries (the rest belong to the next table and no index
// selects them): one AVX-512 vector holds a table and vpermt2ps over the
// tables of two cells fetches what eight gathers would; on AVX2 two vpermps
// and a blend fetch one table. Smaller spacings load each pixel's corners
// (LoadCorners): there a cell serves about one vector per pixel row or
// fewer, and the row's tables cost more than the lookups save (on AVX2,
// 640x480 at 7.5 px takes as many instructions either way, 2000x200 at
// 3.1 px 15 % fewer without tables; AVX-512 sliced 6000x370, at 5.8 px,
// about 15 % faster on one thread with its wide lookup than without).
//
// The tables are made in two steps. Once per strip, SliceStrip takes apart
// the interleaved pairs of grid row g0 and of the difference g1 - g0 (the
// strip layout: values, then weights, kCellFloats per cell). Each pixel row
// then makes its values and weights with one FMA per float, P0 + wy * D,
// the same operation on the same operands, and so the same bits, as the
// interpolated row LoadCorners reads, and its slopes with one shift and one
// subtraction per vector.
constexpr std::size_t kWeightsAt = kBins;
constexpr std::size_t kSlopesAt = kCellFloats;
constexpr std::size_t kTableFloats = 2 * kCellFloats;
// Widest spread of cells, in floats, that the lookups handle in one vector.
#if HWY_TARGET <= HWY_AVX3
constexpr std::int32_t kLookupSpan = 3 * kCellFloats;
#else
constexpr std::int32_t kLookupSpan = kCellFloats;
#endif

// Zero cells after the last: lane 0's cell is at least two before the end,
// and the widest lookup loads sixteen floats from the slope table of the
// fifth cell from there (one AVX-512 wide lookup that no lane selects).
constexpr std::size_t kZeroCells = 4;
static_assert(kTableFloats == 2 * kCellFloats && kZeroCells * kTableFloats <= 8 * kCellFloats,
              "SliceScratchFloats holds the strip's tables, the row's and LoadCorners' row");

// Whether the segment's rows look their corners up: when it has at least 8
// pixels for every cell boundary it crosses (5 on AVX-512, whose wide lookup
// spans four cells). A vector that spans more cells than the lookups take
// anyway (a short segment) loads the same interpolated values through
// LoadCorners.
#if HWY_TARGET <= HWY_AVX3
constexpr int kLookupPixelsPerCell = 5;
#else
constexpr int kLookupPixelsPerCell = 8;
#endif
HWY_INLINE bool LooksUp(const Segment& seg, const std::int32_t* HWY_RESTRICT colOff) {
  return seg.xBegin < seg.xEnd &&
         (seg.xEnd - seg.xBegin) * kCellFloats >=
             kLookupPixelsPerCell * (colOff[seg.xEnd - 1] - colOff[seg.xBegin]);
}

// Stores the 24 interleaved floats of a cell as values, then weights.
template <class V>
HWY_INLINE void StoreApart(V lo, V mid, V hi, float* HWY_RESTRICT t) {
  const hn::FixedTag<float, 8> d8;
  const hn::FixedTag<float, 4> d4;
  hn::StoreU(hn::ConcatEven(d8, mid, lo), d8, t);
  hn::StoreU(hn::ConcatOdd(d8, mid, lo), d8, t + kWeightsAt);
  hn::StoreU(hn::ConcatEven(d4, hn::UpperHalf(d4, hi), hn::LowerHalf(d4, hi)), d4, t + 8);
  hn::StoreU(hn::ConcatOdd(d4, hn::UpperHalf(d4, hi), hn::LowerHalf(d4, hi)), d4,
             t + kWeightsAt + 8);
}

// Lanes 1..7 of x and lane 0 of y: each float's successor.
template <class V>
HWY_INLINE V NextLanes(V x, V y) {
  const hn::DFromV<V> d;
  return hn::CombineShiftRightBytes<4>(d, hn::ConcatLowerUpper(d, y, x), x);
}

// A row's tables from the strip's, followed by kZeroCells zero cells.
// Slopes past bin 10, which no pixel's range cell reaches, are left as they
// fall.
HWY_INLINE void BuildSliceTables(const float* HWY_RESTRICT strip, std::size_t floats, float wy,
                                 float* HWY_RESTRICT tables) {
  const hn::FixedTag<float, 8> d8;
  const auto vwy = hn::Set(d8, wy);
  const float* HWY_RESTRICT diff = strip + floats;
  const std::size_t cells = floats / kCellFloats;
  for (std::size_t c = 0; c < cells; ++c) {
    const std::size_t at = c * kCellFloats;
    auto lerp = [&](std::size_t i) {
      return hn::MulAdd(vwy, hn::LoadU(d8, diff + at + i), hn::LoadU(d8, strip + at + i));
    };
    const auto lo = lerp(0), mid = lerp(8), hi = lerp(16);
    float* t = tables + c * kTableFloats;
    hn::StoreU(lo, d8, t);
    hn::StoreU(mid, d8, t + 8);
    hn::StoreU(hi, d8, t + 16);
    hn::StoreU(hn::Sub(NextLanes(lo, mid), lo), d8, t + kSlopesAt);
    hn::StoreU(hn::Sub(NextLanes(mid, hi), mid), d8, t + kSlopesAt + 8);
    hn::StoreU(hn::Sub(NextLanes(hi, hi), hi), d8, t + kSlopesAt + 16);
  }
  std::memset(tables + cells * kTableFloats, 0, kZeroCells * kTableFloats * sizeof(float));
}
#endif

void SliceStrip(const Segment& seg, const float* HWY_RESTRICT g0, const float* HWY_RESTRICT g1,
                const std::int32_t* HWY_RESTRICT colOff, float* HWY_RESTRICT scratch) {
#if HWY_TARGET <= HWY_AVX2
  if (!LooksUp(seg, colOff)) return;
  const hn::FixedTag<float, 8> d8;
  const std::size_t floats = seg.floats;
  for (std::size_t at = 0; at + kCellFloats <= floats; at += kCellFloats) {
    auto row0 = [&](std::size_t i) { return hn::LoadU(d8, g0 + at + i); };
    auto diff = [&](std::size_t i) { return hn::Sub(hn::LoadU(d8, g1 + at + i), row0(i)); };
    StoreApart(row0(0), row0(8), row0(16), scratch + at);
    StoreApart(diff(0), diff(8), diff(16), scratch + floats + at);
  }
#else
  (void)seg, (void)g0, (void)g1, (void)colOff, (void)scratch;
#endif
}

#if HWY_TARGET <= HWY_AVX3
// Fetches the corners from the tables from lane 0's cell on, at t; every
// lane's cell is lane 0's or the next.
HWY_INLINE void LookupCorners(const float* HWY_RESTRICT t, VI off, VI cell, Corners& k) {
  const __m512i first = _mm512_broadcastd_epi32(_mm512_castsi512_si128(off.raw));
  const __m512i right = _mm512_maskz_set1_epi32(_mm512_cmpneq_epi32_mask(off.raw, first), 16);
  const __m512i idx = _mm512_add_epi32(right, cell.raw);
  auto both = [&](std::size_t part, VF (&out)[2]) {
    const __m512 a = _mm512_loadu_ps(t + part);
    const __m512 b = _mm512_loadu_ps(t + kTableFloats + part);
    const __m512 c = _mm512_loadu_ps(t + 2 * kTableFloats + part);
    out[0] = VF{_mm512_permutex2var_ps(a, idx, b)};
    out[1] = VF{_mm512_permutex2var_ps(b, idx, c)};
  };
  both(0, k.v);
  both(kWeightsAt, k.w);
  both(kSlopesAt, k.dv);
  both(kSlopesAt + kWeightsAt, k.dw);
}

// As LookupCorners for vectors whose lanes lie in up to four cells from lane
// 0's on (grid spacings from ~5 px, i.e. a short side from 320 px): lane
// index = 16 * (cell - first) + bin spans two vpermt2ps tables, and bit 5 of
// it picks between them.
HWY_INLINE void LookupCornersWide(const float* HWY_RESTRICT t, VI off, VI cell, Corners& k) {
  // (off - first) / 8 is 0, 3, 6 or 9 for cells first .. first + 3.
  const __m512i sixteenths = _mm512_setr_epi32(0, 0, 0, 16, 0, 0, 32, 0, 0, 48, 0, 0, 0, 0, 0, 0);
  const __m512i first = _mm512_broadcastd_epi32(_mm512_castsi512_si128(off.raw));
  const __m512i rel = _mm512_srli_epi32(_mm512_sub_epi32(off.raw, first), 3);
  const __m512i idx = _mm512_add_epi32(_mm512_permutexvar_epi32(rel, sixteenths), cell.raw);
  const __mmask16 upper = _mm512_test_epi32_mask(idx, _mm512_set1_epi32(32));
  // Entry idx of the four cells' tables from cell `from` on, at `part`.
  auto lookup = [&](std::size_t from, std::size_t part) {
    const float* a = t + from * kTableFloats + part;
    const __m512 lo = _mm512_permutex2var_ps(_mm512_loadu_ps(a), idx, _mm512_loadu_ps(a + kTableFloats));
    const __m512 hi = _mm512_permutex2var_ps(_mm512_loadu_ps(a + 2 * kTableFloats), idx,
                                             _mm512_loadu_ps(a + 3 * kTableFloats));
    return VF{_mm512_mask_blend_ps(upper, lo, hi)};
  };
  for (std::size_t c = 0; c < 2; ++c) {
    k.v[c] = lookup(c, 0);
    k.w[c] = lookup(c, kWeightsAt);
    k.dv[c] = lookup(c, kSlopesAt);
    k.dw[c] = lookup(c, kSlopesAt + kWeightsAt);
  }
}
#elif HWY_TARGET <= HWY_AVX2
// Entry idx (0..15) of the 16 floats at t: vpermps looks up within each
// half, bit 3 of the index (moved into the sign bit) picks the half.
HWY_INLINE __m256 Lookup16(const float* HWY_RESTRICT t, __m256i idx, __m256 upper) {
  return _mm256_blendv_ps(_mm256_permutevar8x32_ps(_mm256_loadu_ps(t), idx),
                          _mm256_permutevar8x32_ps(_mm256_loadu_ps(t + 8), idx), upper);
}

// The corners from the tables at t, `fetch`(table) looking up every lane's
// entry in one table; with kTwoCells, lanes in the cell after lane 0's
// (marked by `next`) take their own and right cells one table further on,
// one more lookup and two blends.
template <bool kTwoCells, class Fetch>
HWY_INLINE void CornersFrom(const float* HWY_RESTRICT t, Fetch fetch, __m256 next, Corners& k) {
  auto both = [&](std::size_t part, VF (&out)[2]) {
    __m256 own = fetch(t + part);
    __m256 right = fetch(t + kTableFloats + part);
    if (kTwoCells) {
      own = _mm256_blendv_ps(own, right, next);
      right = _mm256_blendv_ps(right, fetch(t + 2 * kTableFloats + part), next);
    }
    out[0] = VF{own};
    out[1] = VF{right};
  };
  both(0, k.v);
  both(kWeightsAt, k.w);
  both(kSlopesAt, k.dv);
  both(kSlopesAt + kWeightsAt, k.dw);
}

// As the AVX-512 version, for lanes in one cell or two. Neighbouring pixels
// rarely differ by more than three or four bins (75 levels) from the first
// of them: then the eight table entries from three bins below lane 0's
// (from bin 0 at the lowest) hold every lane's, and one vpermps on that
// window fetches what two and a blend fetch from the whole table.
template <bool kTwoCells>
HWY_INLINE void LookupCorners(const float* HWY_RESTRICT t, VI off, VI cell, Corners& k) {
  const __m256i idx = cell.raw;
  const __m256 next = _mm256_castsi256_ps(
      _mm256_cmpgt_epi32(off.raw, _mm256_broadcastd_epi32(_mm256_castsi256_si128(off.raw))));
  // Bins are 0..10, so a saturating 16-bit subtract gives max(bin - 3, 0) in every 32-bit lane.
  const __m256i start = _mm256_subs_epu16(_mm256_broadcastd_epi32(_mm256_castsi256_si128(idx)),
                                          _mm256_set1_epi32(3));
  const __m256i rel = _mm256_sub_epi32(idx, start);
  if (_mm256_testz_si256(rel, _mm256_set1_epi32(~7))) {
    auto window = [&](const float* table) {
      return _mm256_permutevar8x32_ps(_mm256_loadu_ps(table), rel);
    };
    CornersFrom<kTwoCells>(t + _mm256_cvtsi256_si32(start), window, next, k);
    return;
  }
  const __m256 upper = _mm256_castsi256_ps(_mm256_slli_epi32(idx, 28));
  auto whole = [&](const float* table) { return Lookup16(table, idx, upper); };
  CornersFrom<kTwoCells>(t, whole, next, k);
}
#endif

// The corners of every lane from the interpolated row rg at small grid
// spacings, where a vector's pixels spread over more cells than the table
// lookups take: (value, weight) of bins cell and cell + 1 at float offset idx
// (v00..w01) and one cell further on (v10..w11).
// Each lane's four floats per cell lie side by side, so AVX2 and AVX-512
// load them as one 128-bit quad per pixel and cell and transpose the quads
// of four pixels in each block, the splat's scatter run backwards: 16
// loads and 16 in-block shuffles per 8 pixels where 64-bit gathers took 8
// gather instructions of 4 elements and 16 shuffles; on an AMD EPYC that
// cut the slice of a 10000x10 call (spacing 2 px) by about a third.
// The same floats are read either way. Other targets gather.
HWY_INLINE void LoadCorners(const float* HWY_RESTRICT rg, VI idx, VF& v00, VF& w00, VF& v01,
                            VF& w01, VF& v10, VF& w10, VF& v11, VF& w11) {
#if HWY_TARGET <= HWY_AVX2
  HWY_ALIGN std::int32_t at[kMaxLanes];
  hn::Store(idx, DI(), at);
  // Lane j of every block: quads of pixels j, j + 4 (, j + 8, j + 12).
  auto quads = [&](int j, std::size_t offset) {
    const float* HWY_RESTRICT q = rg + offset;
    const __m256 low = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(q + at[j])),
                                            _mm_loadu_ps(q + at[j + 4]), 1);
#if HWY_TARGET <= HWY_AVX3
    const __m256 high = _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(q + at[j + 8])),
                                             _mm_loadu_ps(q + at[j + 12]), 1);
    return VF{_mm512_castpd_ps(_mm512_insertf64x4(_mm512_castps_pd(_mm512_castps256_ps512(low)),
                                                  _mm256_castps_pd(high), 1))};
#else
    return VF{low};
#endif
  };
  VF own[4], right[4];
  TransposeQuads(quads(0, 0), quads(1, 0), quads(2, 0), quads(3, 0), own);
  TransposeQuads(quads(0, kCellFloats), quads(1, kCellFloats), quads(2, kCellFloats),
                 quads(3, kCellFloats), right);
  v00 = own[0];
  w00 = own[1];
  v01 = own[2];
  w01 = own[3];
  v10 = right[0];
  w10 = right[1];
  v11 = right[2];
  w11 = right[3];
#else
  const DF df;
  const VI right = hn::Add(idx, hn::Set(DI(), kCellFloats));
  v00 = hn::GatherIndex(df, rg, idx);
  w00 = hn::GatherIndex(df, rg + 1, idx);
  v01 = hn::GatherIndex(df, rg + 2, idx);
  w01 = hn::GatherIndex(df, rg + 3, idx);
  v10 = hn::GatherIndex(df, rg, right);
  w10 = hn::GatherIndex(df, rg + 1, right);
  v11 = hn::GatherIndex(df, rg + 2, right);
  w11 = hn::GatherIndex(df, rg + 3, right);
#endif
}

void SliceRow(std::uint8_t* HWY_RESTRICT row, const Segment& seg, const float* HWY_RESTRICT g0,
              const float* HWY_RESTRICT g1, float wy, const std::int32_t* HWY_RESTRICT colOff,
              const float* HWY_RESTRICT colW, float gain, float* HWY_RESTRICT scratch) {
  const DF df;
  const DI di;
  const int n = static_cast<int>(hn::Lanes(df));
  // Read once: the byte stores below may alias `seg`.
  const int xBegin = seg.xBegin, xEnd = seg.xEnd;
  const std::int32_t segBase = seg.base;
  const std::size_t floats = seg.floats;
  // The two grid rows are interpolated once per pixel row, which leaves a 2-D
  // lookup per pixel instead of a 3-D one: into the tables (AVX2 and up) or
  // into the row `rg` that LoadCorners reads, made when the first pixel that
  // reads it comes up, so a row that only looks up never writes `rg`.
#if HWY_TARGET <= HWY_AVX2
  // After the strip's tables: the row's, then `rg`. Rows that look up make
  // their tables before the first pixel and run a copy of the loop that
  // never asks whether they exist.
  const bool lookups = LooksUp(seg, colOff);
  float* HWY_RESTRICT tables = scratch + 2 * floats;
  float* HWY_RESTRICT rg = tables + (floats / kCellFloats + kZeroCells) * kTableFloats;
  if (lookups) BuildSliceTables(scratch, floats, wy, tables);
#else
  float* HWY_RESTRICT rg = scratch;
#endif
  // The row LoadCorners reads, interpolated when first needed. A pixel row on
  // grid row g0 (weight 0: every other row at a 2 px spacing) reads g0 itself,
  // which is what the interpolation would write bit for bit, and at small
  // spacings interpolating costs about as much as slicing the row.
  const float* HWY_RESTRICT corners = wy == 0.0f ? g0 : rg;
  bool rowReady = wy == 0.0f;
  auto interpolateRow = [&] {
    const VF vwy = hn::Set(df, wy);
    for (std::size_t i = 0; i < floats; i += static_cast<std::size_t>(n)) {
      const VF a = hn::LoadU(df, g0 + i);
      hn::StoreU(hn::MulAdd(vwy, hn::Sub(hn::LoadU(df, g1 + i), a), a), df, rg + i);
    }
    rowReady = true;
  };
  const VF vgain = hn::Set(df, gain);
  const VF tiny = hn::Set(df, 1e-30f);
  const VI vSegBase = hn::Set(di, segBase);
  HWY_ALIGN std::uint8_t tail[3 * kMaxLanes] = {};
  // The detail of the `valid` pixels at p, rounded into out[0 .. n). Called
  // apart for whole vectors and for the last one, so that the checks a short
  // vector needs stay out of the others.
  auto slice = [&](auto withTables, const std::uint8_t* HWY_RESTRICT p,
                   const std::int32_t* HWY_RESTRICT co, const float* HWY_RESTRICT cw, int valid,
                   std::int16_t* HWY_RESTRICT out) __attribute__((always_inline)) {
    const Levels px = LevelsOf(LoadLuma(p, valid, tail));
    const VI cell = px.cell;
    const VF fz = px.frac;
    VI off = hn::Sub(hn::LoadU(di, co), vSegBase);
    // Lanes past the segment would read cells it did not interpolate.
    if (valid < n) {
      off = hn::IfThenElse(hn::FirstN(di, static_cast<std::size_t>(valid)), off,
                           hn::Set(di, co[0] - segBase));
    }
    const VF wx = hn::LoadU(df, cw);
    Corners k;
    const std::int32_t span = co[valid - 1] - co[0];
#if HWY_TARGET <= HWY_AVX2
    if (decltype(withTables)::value && span <= kLookupSpan) {
      const float* t = tables + 2 * static_cast<std::ptrdiff_t>(hn::GetLane(off));
#if HWY_TARGET <= HWY_AVX3
      if (span <= kCellFloats) {
        LookupCorners(t, off, cell, k);
      } else {
        LookupCornersWide(t, off, cell, k);
      }
#else
      if (span == 0) {
        LookupCorners<false>(t, off, cell, k);
      } else {
        LookupCorners<true>(t, off, cell, k);
      }
#endif
    } else
#endif
    {
      (void)span;
      (void)withTables;
      if (!rowReady) interpolateRow();
      const VI idx = hn::Add(off, hn::Add(cell, cell));
      VF v01, w01, v11, w11;
      LoadCorners(corners, idx, k.v[0], k.w[0], v01, w01, k.v[1], k.w[1], v11, w11);
      k.dv[0] = hn::Sub(v01, k.v[0]);
      k.dw[0] = hn::Sub(w01, k.w[0]);
      k.dv[1] = hn::Sub(v11, k.v[1]);
      k.dw[1] = hn::Sub(w11, k.w[1]);
    }
    const VF v0 = hn::MulAdd(fz, k.dv[0], k.v[0]);
    const VF v1 = hn::MulAdd(fz, k.dv[1], k.v[1]);
    const VF w0 = hn::MulAdd(fz, k.dw[0], k.w[0]);
    const VF w1 = hn::MulAdd(fz, k.dw[1], k.w[1]);
    const VF v = hn::MulAdd(wx, hn::Sub(v1, v0), v0);
    const VF w = hn::MulAdd(wx, hn::Sub(w1, w0), w0);
    // w > 0 for every real pixel (its own splat reaches all eight corners
    // through the blur); the floor only keeps padding lanes finite.
    const VF base = hn::Div(v, hn::Max(w, tiny));
    const VF detail = hn::Mul(vgain, hn::Sub(px.y, base));
    hn::Store(RoundDetail(detail), DI16(), out);
  };
  // The rounded detail of a chunk of pixels, applied to their bytes in one
  // pass once the chunk is done.
  HWY_ALIGN std::int16_t detail16[kSliceChunk];
  auto run = [&](auto withTables) {
    for (int x0 = xBegin; x0 < xEnd; x0 += kSliceChunk) {
      const int count = std::min(kSliceChunk, xEnd - x0);
      const std::uint8_t* p = row + 3 * static_cast<std::ptrdiff_t>(x0);
      const std::int32_t* co = colOff + x0;
      const float* cw = colW + x0;
      std::int16_t* out = detail16;
      std::int16_t* const whole = detail16 + count / n * n;
      for (; out != whole; out += n, p += 3 * n, co += n, cw += n) {
        slice(withTables, p, co, cw, n, out);
      }
      if (out != detail16 + count) {
        slice(withTables, p, co, cw, static_cast<int>(detail16 + count - out), out);
      }
      AddDetail(row + 3 * static_cast<std::ptrdiff_t>(x0), detail16, count);
    }
  };
#if HWY_TARGET <= HWY_AVX2
  if (lookups) {
    run(std::true_type{});
    return;
  }
#endif
  run(std::false_type{});
}

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

void DirectRow(std::uint8_t* HWY_RESTRICT row, int y, const std::uint16_t* HWY_RESTRICT luma,
               int width, int height, int radius, const float* HWY_RESTRICT spatial,
               float gain) {
  const DF df;
  const int n = static_cast<int>(hn::Lanes(df));
  // Luma is in 1/256 levels, so the range exponent carries 256^2.
  const VF rangeScale = hn::Set(df, -1.0f / (2.0f * kSigmaR * kSigmaR * 65536.0f));
  const VF tiny = hn::Set(df, 1e-30f);
  const VF vgain = hn::Set(df, gain);
  const int y0 = std::max(0, y - radius);
  const int y1 = std::min(height - 1, y + radius);
  const int span = n + 2 * radius;
  HWY_ALIGN float samples[kMaxLanes + 2 * kDirectRadius];
  HWY_ALIGN float inside[kMaxLanes + 2 * kDirectRadius];
  HWY_ALIGN float centre[kMaxLanes];
  HWY_ALIGN std::uint8_t tail[3 * kMaxLanes] = {};
  const std::uint16_t* own = luma + static_cast<std::ptrdiff_t>(y) * width;

  for (int x = 0; x < width; x += n) {
    const int valid = std::min(n, width - x);
    const bool interior = x >= radius && x + n + radius <= width;
    for (int l = 0; l < n; ++l) centre[l] = own[x + std::min(l, valid - 1)];
    const VF yp = hn::Load(df, centre);
    VF sumV = hn::Zero(df), sumW = hn::Zero(df);
    for (int qy = y0; qy <= y1; ++qy) {
      const std::ptrdiff_t rowStart = static_cast<std::ptrdiff_t>(qy) * width;
      VF sv = hn::Zero(df), sw = hn::Zero(df);
      if (interior) {
        for (int i = 0; i < span; ++i) samples[i] = luma[rowStart + x - radius + i];
        for (int t = 0; t <= 2 * radius; ++t) {
          const VF yq = hn::LoadU(df, samples + t);
          const VF d = hn::Sub(yq, yp);
          const VF w = hn::Mul(hn::Exp(df, hn::Mul(hn::Mul(d, d), rangeScale)),
                               hn::Set(df, spatial[t]));
          sv = hn::MulAdd(w, yq, sv);
          sw = hn::Add(sw, w);
        }
      } else {
        for (int i = 0; i < span; ++i) {
          const int pos = x - radius + i;
          const bool ok = pos >= 0 && pos < width;
          samples[i] = ok ? luma[rowStart + pos] : 0.0f;
          inside[i] = ok ? 1.0f : 0.0f;
        }
        for (int t = 0; t <= 2 * radius; ++t) {
          const VF yq = hn::LoadU(df, samples + t);
          const VF d = hn::Sub(yq, yp);
          const VF w = hn::Mul(hn::Mul(hn::Exp(df, hn::Mul(hn::Mul(d, d), rangeScale)),
                                       hn::Set(df, spatial[t])),
                               hn::LoadU(df, inside + t));
          sv = hn::MulAdd(w, yq, sv);
          sw = hn::Add(sw, w);
        }
      }
      const VF wy = hn::Set(df, spatial[qy - y + radius]);
      sumV = hn::MulAdd(wy, sv, sumV);
      sumW = hn::MulAdd(wy, sw, sumW);
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
