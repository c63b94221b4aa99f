// Slice: the blurred grid interpolated at every pixel (trilinearly: the two
// grid rows once per pixel row, then x and range per pixel), and the detail
// gain * (Y - value / weight) added to the pixel's channels.
#if defined(MORVANE_IMGPROC_SLICE_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef MORVANE_IMGPROC_SLICE_INL_H_
#undef MORVANE_IMGPROC_SLICE_INL_H_
#else
#define MORVANE_IMGPROC_SLICE_INL_H_
#endif

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "pixels-inl.h"
#include "quads-inl.h"

HWY_BEFORE_NAMESPACE();
namespace morvane::imgproc {
namespace HWY_NAMESPACE {
// The corners of the grid around a vector of pixels, for the pixels' own cell
// [0] and the cell to its right [1]: value and weight of the pixel's range
// bin, and their slopes to the bin above (the next bin's less this one's).
struct Corners {
  VF v[2], w[2], dv[2], dw[2];
};

#if HWY_TARGET <= HWY_AVX2
// AVX2 and AVX-512 slice through register table lookups wherever a segment
// has kLookupPixelsPerCell pixels or more per cell (schedule.h: a grid
// spacing of 8 px on AVX2, a short side from 512 px, and 5 px on AVX-512,
// from 320 px): the pixels of one vector then lie in at most two
// neighbouring cells on AVX2 and four on AVX-512, as many as their lookups
// take.
// A cell's tables are its twelve values, its twelve weights, and their
// twelve slopes each, so one index fetches a bin and its slope, and the
// range interpolation is one multiply-add per corner. Sixteen floats from a table
// hold all twelve entries (the rest belong to the next table and no index
// selects them): one AVX-512 vector holds a table and vpermt2ps over the
// tables of two cells fetches what eight gathers would; on AVX2 two vpermps
// and a blend fetch one table. Smaller spacings load each pixel's corners
// (LoadCorners): there a cell serves about one vector per pixel row or
// fewer, and the row's tables cost more than the lookups save.
//
// The tables are made in two steps. Once per strip, SliceStrip takes apart
// the interleaved pairs of grid row g0 and of the difference g1 - g0 (the
// strip layout: values, then weights, kCellFloats per cell). Each pixel row
// then makes its values and weights with one multiply-add per float, P0 + wy * D,
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

// Whether the segment's rows look their corners up: when it has at least
// kLookupPixelsPerCell pixels for every cell boundary it crosses. A vector
// that spans more cells than the lookups take anyway (a short segment) loads
// the same interpolated values through LoadCorners.
#if HWY_TARGET <= HWY_AVX3
constexpr int kLookupPixelsPerCell = kLookupPixelsPerCellAvx512;
#else
constexpr int kLookupPixelsPerCell = kLookupPixelsPerCellAvx2;
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

// A row's tables from the strip's (the zero cells after them stay from
// SliceStrip). Slopes past bin 10, which no pixel's range bin reaches, are
// left as they fall.
HWY_INLINE void BuildSliceTables(const float* HWY_RESTRICT strip, std::size_t floats, float wy,
                                 float* HWY_RESTRICT tables) {
  const hn::FixedTag<float, 8> d8;
  const auto vwy = hn::Set(d8, wy);
  const float* HWY_RESTRICT diff = strip + floats;
  const std::size_t cells = floats / kCellFloats;
  // By strip offset, of which a cell's table offset is twice: fewer
  // induction variables than counting cells.
  for (std::size_t at = 0; at < cells * kCellFloats; at += kCellFloats) {
    auto lerp = [&](std::size_t i) {
      return MulThenAdd(vwy, hn::LoadU(d8, diff + at + i), hn::LoadU(d8, strip + at + i));
    };
    const auto lo = lerp(0), mid = lerp(8), hi = lerp(16);
    float* t = tables + 2 * at;
    hn::StoreU(lo, d8, t);
    hn::StoreU(mid, d8, t + 8);
    hn::StoreU(hi, d8, t + 16);
    hn::StoreU(hn::Sub(NextLanes(lo, mid), lo), d8, t + kSlopesAt);
    hn::StoreU(hn::Sub(NextLanes(mid, hi), mid), d8, t + kSlopesAt + 8);
    hn::StoreU(hn::Sub(NextLanes(hi, hi), hi), d8, t + kSlopesAt + 16);
  }
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
  // The zero cells after the rows' tables (which start at 2 * floats): once
  // for all the strip's rows, which never write there.
  std::memset(scratch + 2 * floats + floats / kCellFloats * kTableFloats, 0,
              kZeroCells * kTableFloats * sizeof(float));
#else
  (void)seg, (void)g0, (void)g1, (void)colOff, (void)scratch;
#endif
}

#if HWY_TARGET <= HWY_AVX3
// Fetches the corners from the tables from lane 0's cell on, at t; every
// lane's cell is lane 0's or the next.
HWY_INLINE void LookupCorners(const float* HWY_RESTRICT t, VI off, VI bin, Corners& k) {
  const __m512i first = _mm512_broadcastd_epi32(_mm512_castsi512_si128(off.raw));
  const __m512i right = _mm512_maskz_set1_epi32(_mm512_cmpneq_epi32_mask(off.raw, first), 16);
  const __m512i idx = _mm512_add_epi32(right, bin.raw);
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
HWY_INLINE void LookupCornersWide(const float* HWY_RESTRICT t, VI off, VI bin, Corners& k) {
  // (off - first) / 8 is 0, 3, 6 or 9 for cells first .. first + 3.
  const __m512i sixteenths = _mm512_setr_epi32(0, 0, 0, 16, 0, 0, 32, 0, 0, 48, 0, 0, 0, 0, 0, 0);
  const __m512i first = _mm512_broadcastd_epi32(_mm512_castsi512_si128(off.raw));
  const __m512i rel = _mm512_srli_epi32(_mm512_sub_epi32(off.raw, first), 3);
  const __m512i idx = _mm512_add_epi32(_mm512_permutexvar_epi32(rel, sixteenths), bin.raw);
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
HWY_INLINE void LookupCorners(const float* HWY_RESTRICT t, VI off, VI bin, Corners& k) {
  const __m256i idx = bin.raw;
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
// lookups take: (value, weight) of bins b and b + 1 at float offset idx
// (v00..w01) and one cell further on (v10..w11).
// Each lane's four floats per cell lie side by side, so AVX2 and AVX-512
// load them as one 128-bit quad per pixel and cell and transpose the quads
// of four pixels in each block, the splat's scatter run backwards: 16
// loads and 16 in-block shuffles per 8 pixels where 64-bit gathers took 8
// gather instructions of 4 elements and 16 shuffles (bench/README.md).
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
      hn::StoreU(MulThenAdd(vwy, hn::Sub(hn::LoadU(df, g1 + i), a), a), df, rg + i);
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
    const VF y = LoadLuma(p, valid, tail);
    const RangeBin z = RangeBinOf(y);
    const VI bin = z.bin;
    const VF fz = z.above;
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
        LookupCorners(t, off, bin, k);
      } else {
        LookupCornersWide(t, off, bin, k);
      }
#else
      if (span == 0) {
        LookupCorners<false>(t, off, bin, k);
      } else {
        LookupCorners<true>(t, off, bin, k);
      }
#endif
    } else
#endif
    {
      (void)span;
      (void)withTables;
      if (!rowReady) interpolateRow();
      const VI idx = hn::Add(off, hn::Add(bin, bin));
      VF v01, w01, v11, w11;
      LoadCorners(corners, idx, k.v[0], k.w[0], v01, w01, k.v[1], k.w[1], v11, w11);
      k.dv[0] = hn::Sub(v01, k.v[0]);
      k.dw[0] = hn::Sub(w01, k.w[0]);
      k.dv[1] = hn::Sub(v11, k.v[1]);
      k.dw[1] = hn::Sub(w11, k.w[1]);
    }
    const VF v0 = MulThenAdd(fz, k.dv[0], k.v[0]);
    const VF v1 = MulThenAdd(fz, k.dv[1], k.v[1]);
    const VF w0 = MulThenAdd(fz, k.dw[0], k.w[0]);
    const VF w1 = MulThenAdd(fz, k.dw[1], k.w[1]);
    const VF v = MulThenAdd(wx, hn::Sub(v1, v0), v0);
    const VF w = MulThenAdd(wx, hn::Sub(w1, w0), w0);
    // w > 0 for every real pixel (its own splat reaches all eight corners
    // through the blur, far above the floor); the floor only keeps the
    // padding lanes of a short vector finite, and whole vectors skip it.
    const VF base = hn::Div(v, valid < n ? hn::Max(w, tiny) : w);
    const VF detail = hn::Mul(vgain, hn::Sub(y, base));
    hn::Store(RoundDetail(detail), DI16(), out);
  };
  // The rounded detail of a batch of pixels, applied to their bytes in one
  // pass once the batch is done.
  HWY_ALIGN std::int16_t detail16[kBatchPixels];
  auto run = [&](auto withTables) {
    for (int x0 = xBegin; x0 < xEnd; x0 += kBatchPixels) {
      const int count = std::min(kBatchPixels, xEnd - x0);
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

}  // namespace HWY_NAMESPACE
}  // namespace morvane::imgproc
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
