// Splat: adds each pixel's luminance, with tent weights in x and in range,
// into the grid rows around it, through two accumulator copies of a segment
// or straight into the grid rows at small spacings.
#if defined(MORVANE_IMGPROC_SPLAT_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef MORVANE_IMGPROC_SPLAT_INL_H_
#undef MORVANE_IMGPROC_SPLAT_INL_H_
#else
#define MORVANE_IMGPROC_SPLAT_INL_H_
#endif

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "columns-inl.h"
#include "pixels-inl.h"
#include "quads-inl.h"

HWY_BEFORE_NAMESPACE();
namespace morvane::imgproc {
namespace HWY_NAMESPACE {

// The splat's additions. Each pixel adds two quads: `near` at its offset in
// cell cx, `far` kCellFloats further on, in cell cx + 1. Neighbouring pixels
// mostly share both the cell and the bins (a grid cell is sigma_s wide, ~17
// px at 1920x1080 and ~47 px at 4000x3000, and photos rarely move 25 levels
// within a few pixels), so the pixels are taken in groups of 8, aligned from
// the start of the batch: a group whose pixels all land on one offset adds
// the sum of its quads there once, instead of one read-modify-write per
// pixel. Other groups add pixel by pixel, even pixels into the first
// accumulator copy and odd ones into the second, which breaks the
// store-to-load chain of neighbours that share an offset. (Blocks of 4 as a
// second level cut more instructions, but their branch is too hard to
// predict.) A group's quads are summed as ((q0 + q1) + (q2 + q3)) +
// ((q4 + q5) + (q6 + q7)) into the first copy, every address receives its
// additions in pixel order, and every target follows this grouping, vector
// code and tails alike, so the sums are bit-identical on all of them
// whatever their vector width. A group is one AVX2 vector, half an AVX-512 one.
constexpr int kGroupPixels = 8;
constexpr int kBlockPixels = 4;
static_assert(kGroupPixels % 2 == 0 && kBatchPixels % kGroupPixels == 0,
              "a group's first pixel goes to the first copy, and groups never straddle a batch");

// Offset of pixel i's accumulator copy from the first.
HWY_INLINE std::size_t CopyOf(int i, std::size_t segmentFloats) {
  return static_cast<std::size_t>(i % 2) * segmentFloats;
}

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
// [from, count) of a batch, from a multiple of kGroupPixels.
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
      AddQuads(copies + CopyOf(i, segmentFloats) + offs[i],
               LoadQuad(nearC + 4 * i), LoadQuad(farC + 4 * i));
    }
  }
}

#if HWY_TARGET <= HWY_AVX2
// AVX2 and AVX-512 add whole vectors of contributions straight from
// registers (TransposeQuads), in the groups and order above.

// Adds the quads of lanes 4 * kBlock .. 4 * kBlock + 3 at their offsets
// from `copies`, which include the offset of each lane's copy.
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

// `off` holds each lane's float offset into its segment, `copyOff` that of
// the lane's accumulator copy from the first.
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
  const VF y = LoadLuma(row + 3 * static_cast<std::ptrdiff_t>(x), valid, tail);
  const RangeBin z = RangeBinOf(y);
  VF hi = z.above;
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
                       hn::Add(hn::Sub(hn::LoadU(di, colOff + x), base), hn::Add(z.bin, z.bin))};
}

// Leaves the contributions of the `valid` pixels from x0 + i in s.near,
// s.far and s.off at pixel i of the batch, for the adds that follow.
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
  // Offset of each lane's copy from the first, as CopyOf gives it.
  const VI copyOff = hn::Mul(hn::And(hn::Iota(di, 0), hn::Set(di, 1)),
                             hn::Set(di, static_cast<std::int32_t>(segmentFloats)));
#endif

  for (int x0 = seg.xBegin; x0 < seg.xEnd; x0 += kBatchPixels) {
    const int count = std::min(kBatchPixels, seg.xEnd - x0);
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
// every row into both grid rows read four and wrote four.

void PendRow(const float* HWY_RESTRICT copies, std::size_t segmentFloats, std::size_t floats,
             float* HWY_RESTRICT pending, float step, bool first) {
  const DF df;
  const std::size_t n = hn::Lanes(df);
  const VF vstep = hn::Set(df, step);
  const float* c0 = copies;
  const float* c1 = copies + segmentFloats;
  for (std::size_t i = 0; i < floats; i += n) {
    const VF sum = hn::Add(hn::LoadU(df, c0 + i), hn::LoadU(df, c1 + i));
    const VF p = first ? hn::Mul(vstep, sum) : MulThenAdd(vstep, sum, hn::LoadU(df, pending + i));
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
    hn::StoreU(hn::Add(hn::LoadU(df, g0 + i), MulThenAdd(vw0, sum, p)), df, g0 + i);
    hn::StoreU(hn::Add(hn::LoadU(df, g1 + i), hn::Sub(hn::Mul(vw1, sum), p)), df, g1 + i);
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
// bit-identical on all targets.
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
  // Adds pixels [0, count) of the batch, weighted, into grid rows g[0 ..
  // kRows): each pixel's near quad at its offset a, its far quad at
  // a + kCellFloats. Both rows in one pass share the loads and the branches,
  // whose outcome depends on the picture; each row still receives the same
  // additions in the same order.
  auto addBatch = [&](auto rows, float* const* g, const float* weight, int count) {
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
            pendingNear[r] = MulThenAdd(vw[r], nearQ, pendingNear[r]);
            pendingFar[r] = MulThenAdd(vw[r], farQ, pendingFar[r]);
          }
          continue;
        }
        const bool nextCell = a == at + kCellFloats;  // same bin: its near is our far
        for (int r = 0; r < kRows; ++r) {
          store(r, at, pendingNear[r]);
          if (nextCell) {
            pendingNear[r] = MulThenAdd(vw[r], nearQ, pendingFar[r]);
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
  for (int x0 = seg.xBegin; x0 < seg.xEnd; x0 += kBatchPixels) {
    const int count = std::min(kBatchPixels, seg.xEnd - x0);
    for (int i = 0; i < count; i += n) {
      BufferContributions(row, x0, i, std::min(n, count - i), colOff, colW, base, tail, s);
    }
    if (rowCount == 2) {
      addBatch(std::integral_constant<int, 2>{}, rows, weights, count);
    } else if (rowCount == 1) {
      addBatch(std::integral_constant<int, 1>{}, rows + first, weights + first, count);
    }
  }
}

// The splat by columns (columns-inl.h), from kColumnSplatSpacing on: a strip's
// pixels are summed down each pixel column in registers, one lane per
// column, and each group of kGroupColumns columns adds its sums into the
// grid rows once per strip, where the paths above add two quads per pixel at
// addresses that depend on the pixel. In a window with middle bin m, the
// sums of 1, t and r, and of y, y t and y r, over a column's pixels give the
// six floats the column adds to a cell (values and weights of bins m - 1, m
// and m + 1). The y tent needs no multiply per pixel: with C the sums over
// the rows so far and D the sum of C after every row, a run of n rows that
// weigh a, a + d, ... in grid row g1 adds (a + n d) C - d D to g1 and the
// rest, C less that, to g0. The x tent is applied per group: with u a
// column's position from the group's first cell, in cells, the group's sums
// weighted by 1, u and max(u - k, 0) give every cell's.
// Every lane's sums are its column's alone, a group's columns are summed in
// one fixed tree, and the groups add in column order, so the bits do not
// depend on the vector width.

// The sums of a lane: C (over the rows so far) and D (of C after each row),
// of y, y t, and y r_k and r_k for k = 0 in a narrow window and 0 .. 2 in a
// wide one (columns-inl.h); those of 1 are counted only where pixels are
// left out (ColumnSums::count). Those of t = y / sigma_r - m follow from
// those of y and 1, one multiply and one subtraction per strip instead of
// two additions per row.
enum ColumnSum { kSumY, kSumYT, kSumYR0, kSumR0, kSumYR1, kSumR1, kSumYR2, kSumR2, kColumnSums };
constexpr int kNarrowSums = kSumYR1;

// The (values, weights) of the bins of a window, from m - 1 on, that each
// lane's column adds to its cell in one grid row, lane by lane: kBinFloats
// rows of kGroupColumns floats for the lower grid row, then as many for the
// upper. A narrow window has the first kNarrowFloats of them.
constexpr int kNarrowFloats = 6;
constexpr int kBinFloats = 10;

// Adds the group's bin floats, weighted by the x tent of each column, to the
// cells from c0 on of grid rows g0 and g1 (floats from the group's window
// on): kFloats of them (its window's), of which the first `floats` lie
// within a cell (fewer where a wide window reaches past the last bin).
// bins[q * stride + l] as above, h[k][l] = 1, u, max(u - 1, 0),
// max(u - 2, 0) of lane l, whose u < cells <= kGroupCells; sums over the
// lanes go in the tree ((l0 + l1) + (l2 + l3)) + ((l4 + l5) + (l6 + l7)).
template <int kFloats>
HWY_INLINE void AddGroupToRows(const float* HWY_RESTRICT bins, int stride,
                               const float (*HWY_RESTRICT h)[kGroupColumns], int cells, int floats,
                               float* HWY_RESTRICT g0, float* HWY_RESTRICT g1) {
  // Cell i from the group's first gets the tent weight max(0, 1 - |u - i|):
  // h[0] - h[1] + h[2] for the first, h[i] - 2 h[i + 1] + h[i + 2] for the
  // others; the sums beyond k = cells are 0.
#if HWY_TARGET <= HWY_AVX2
  for (int row = 0; row < 2; ++row) {
    float* g = row == 0 ? g0 : g1;
    // Eight floats at a time, the lane sums of each in one vector.
    for (int part = 0; part < kFloats; part += 8) {
      const int count = std::min(8, kFloats - part);
      const __m256i these = _mm256_cmpgt_epi32(_mm256_set1_epi32(std::min(8, floats - part)),
                                               _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
      // sums[k]: the floats' sums weighted by h[k], then zeros.
      __m256 sums[kGroupCells + 3];
      for (int k = 0; k < kGroupCells + 3; ++k) sums[k] = _mm256_setzero_ps();
      for (int k = 0; k <= cells; ++k) {
        const __m256 hk = _mm256_loadu_ps(h[k]);
        __m256 in[8];
        for (int q = 0; q < 8; ++q) {
          if (q >= count) {
            in[q] = _mm256_setzero_ps();
            continue;
          }
          const __m256 b = _mm256_loadu_ps(bins + (row * kBinFloats + part + q) * stride);
          // h[0] is 1, and the product would be b itself.
          in[q] = k == 0 ? b : _mm256_mul_ps(b, hk);
        }
        // hadd sums neighbouring lanes: twice over, then the two halves, it
        // leaves in lane q the tree sum of input q.
        const __m256 a = _mm256_hadd_ps(_mm256_hadd_ps(in[0], in[1]), _mm256_hadd_ps(in[2], in[3]));
        const __m256 b = _mm256_hadd_ps(_mm256_hadd_ps(in[4], in[5]), _mm256_hadd_ps(in[6], in[7]));
        sums[k] = _mm256_add_ps(_mm256_permute2f128_ps(a, b, 0x20), _mm256_permute2f128_ps(a, b, 0x31));
      }
      for (int i = 0; i <= cells; ++i) {
        const __m256 add =
            i == 0 ? _mm256_add_ps(_mm256_sub_ps(sums[0], sums[1]), sums[2])
                   : _mm256_add_ps(_mm256_sub_ps(sums[i], _mm256_add_ps(sums[i + 1], sums[i + 1])),
                                   sums[i + 2]);
        float* cell = g + static_cast<std::ptrdiff_t>(i) * kCellFloats + part;
        _mm256_maskstore_ps(cell, these, _mm256_add_ps(_mm256_maskload_ps(cell, these), add));
      }
    }
  }
#else
  float sums[2][kGroupCells + 3][kBinFloats] = {};
  for (int k = 0; k <= cells; ++k)
    for (int row = 0; row < 2; ++row)
      for (int q = 0; q < floats; ++q) {
        float p[kGroupColumns];
        for (int l = 0; l < kGroupColumns; ++l) p[l] = bins[(row * kBinFloats + q) * stride + l] * h[k][l];
        sums[row][k][q] = ((p[0] + p[1]) + (p[2] + p[3])) + ((p[4] + p[5]) + (p[6] + p[7]));
      }
  for (int row = 0; row < 2; ++row) {
    float* g = row == 0 ? g0 : g1;
    for (int i = 0; i <= cells; ++i) {
      const float* s = sums[row][i];
      float* cell = g + static_cast<std::ptrdiff_t>(i) * kCellFloats;
      for (int q = 0; q < floats; ++q) {
        cell[q] += i == 0 ? (s[q] - sums[row][1][q]) + sums[row][2][q]
                          : (s[q] - (sums[row][i + 1][q] + sums[row][i + 1][q])) + sums[row][i + 2][q];
      }
    }
  }
#endif
}


// The sums of one pass over a run's luma (see SplatColumns) for kVectors
// vectors of lanes: C over the rows so far and D of C after each row.
template <int kVectors>
struct ColumnSums {
  VF c[kColumnSums][kVectors], d[kColumnSums][kVectors];
  VF count[kVectors], countD[kVectors];  // of 1, in passes that leave pixels out
};

// Adds one row of luma y (lanes outside the pass's window or the segment
// given as `in`) to the sums of a narrow or a wide window, with t =
// y / sigma_r - the window's middle.
template <bool kMasked, bool kWide, int kVectors>
HWY_INLINE void AddRow(ColumnSums<kVectors>& s, int v, VF y, VF t, hn::Mask<DF> in) {
  const DF df;
  if (kMasked) {
    y = hn::IfThenElseZero(in, y);
    t = hn::IfThenElseZero(in, t);
    s.count[v] = hn::Add(s.count[v], hn::IfThenElseZero(in, hn::Set(df, 1.0f)));
    s.countD[v] = hn::Add(s.countD[v], s.count[v]);
  }
  const VF r0 = hn::Max(t, hn::Zero(df));
  s.c[kSumY][v] = hn::Add(s.c[kSumY][v], y);
  s.c[kSumYT][v] = hn::Add(s.c[kSumYT][v], hn::Mul(y, t));
  s.c[kSumYR0][v] = hn::Add(s.c[kSumYR0][v], hn::Mul(y, r0));
  s.c[kSumR0][v] = hn::Add(s.c[kSumR0][v], r0);
  if (kWide) {
    const VF r1 = hn::Max(hn::Sub(t, hn::Set(df, 1.0f)), hn::Zero(df));
    const VF r2 = hn::Max(hn::Sub(t, hn::Set(df, 2.0f)), hn::Zero(df));
    s.c[kSumYR1][v] = hn::Add(s.c[kSumYR1][v], hn::Mul(y, r1));
    s.c[kSumR1][v] = hn::Add(s.c[kSumR1][v], r1);
    s.c[kSumYR2][v] = hn::Add(s.c[kSumYR2][v], hn::Mul(y, r2));
    s.c[kSumR2][v] = hn::Add(s.c[kSumR2][v], r2);
  }
  constexpr int kSums = kWide ? kColumnSums : kNarrowSums;
  for (int q = 0; q < kSums; ++q) s.d[q][v] = hn::Add(s.d[q][v], s.c[q][v]);
}

// Splats pixel columns [x0, x0 + valid) of a run of n rows from `first`
// (rows `stride` bytes apart, the upper grid row's weights a, a + d, ...)
// into grid rows g0 and g1 (floats from seg.base on); kLanes columns are the
// vector width or one group, whichever is more.
// The luma of the run is computed once, into `luma`, with each group's
// lowest and highest. A run whose groups all fit a narrow window takes one
// pass of narrow sums; others take wide windows, which follow each other
// from the lowest luma up (middle bins m, m + 4, ...), each pixel in the
// sums of the one that holds it. A group's bins are the same bits either
// way: where its luma fits a narrow window, the sums of r_1 and r_2 are
// zeros that the wide bins only add.
template <int kLanes>
HWY_INLINE void SplatColumns(const std::uint8_t* HWY_RESTRICT first, std::ptrdiff_t stride, int n,
                             float a, float d, int x0, int valid, const Segment& seg,
                             const std::int32_t* HWY_RESTRICT colOff,
                             const float* HWY_RESTRICT colW, float* HWY_RESTRICT g0,
                             float* HWY_RESTRICT g1) {
  const DF df;
  constexpr int N = static_cast<int>(hn::MaxLanes(DF()));
  constexpr int kVectors = kLanes / N;
  constexpr int kGroups = kLanes / kGroupColumns;
  ColumnRun<kLanes> run;
  LoadColumnRun(first, stride, n, x0, valid, run);
  const VF inv = hn::Set(df, 1.0f / kSigmaR);
  const bool whole = valid == kLanes;
  hn::Mask<DF> inside[kVectors];
  for (int v = 0; v < kVectors; ++v) {
    inside[v] = hn::FirstN(df, static_cast<std::size_t>(std::clamp(valid - v * N, 0, N)));
  }
  const int passes = run.passes;
  const float all = static_cast<float>(n), allD = static_cast<float>(n * (n + 1) / 2);
  const VF vk = hn::Set(df, a + all * d), vd = hn::Set(df, d);
  // Per window and lane, the bin floats it adds to each grid row (see
  // kBinFloats); the groups add theirs one after another once all are done.
  HWY_ALIGN float bins[kMaxWindows][2 * kBinFloats][kLanes];
  const bool wide = !run.narrowRun;
  for (int pass = 0; pass < passes; ++pass) {
    ColumnSums<kVectors> s;
    VF mid[kVectors];
    for (int v = 0; v < kVectors; ++v) {
      mid[v] = MiddleOf(run, pass, v * N);
      for (int q = 0; q < kColumnSums; ++q) s.c[q][v] = s.d[q][v] = hn::Zero(df);
      s.count[v] = s.countD[v] = hn::Zero(df);
    }
    const bool masked = passes > 1 || !whole;
    auto addRows = [&](auto maskedRows, auto wideRows) {
      for (int j = 0; j < n; ++j) {
        for (int v = 0; v < kVectors; ++v) {
          const VF y = hn::Load(df, run.luma[j] + v * N);
          const VF z = hn::Mul(y, inv);
          const VF t = hn::Sub(z, mid[v]);
          const auto in = maskedRows ? Holds(run, pass, v * N, z, inside[v]) : inside[v];
          AddRow<maskedRows, wideRows>(s, v, y, t, in);
        }
      }
    };
    if (masked) {
      if (wide) {
        addRows(std::true_type{}, std::true_type{});
      } else {
        addRows(std::true_type{}, std::false_type{});
      }
    } else if (wide) {
      addRows(std::false_type{}, std::true_type{});
    } else {
      addRows(std::false_type{}, std::false_type{});
    }
    for (int v = 0; v < kVectors; ++v) {
      const VF ones = masked ? s.count[v] : hn::IfThenElseZero(inside[v], hn::Set(df, all));
      const VF onesD = masked ? s.countD[v] : hn::IfThenElseZero(inside[v], hn::Set(df, allD));
      const VF sumT = hn::Sub(hn::Mul(inv, s.c[kSumY][v]), hn::Mul(mid[v], ones));
      const VF sumDT = hn::Sub(hn::Mul(inv, s.d[kSumY][v]), hn::Mul(mid[v], onesD));
      // The sums of y, 1 (T), y t, t (U) and y r_k, r_k (R_k), for the upper
      // grid row (weighted) and the lower (the rest).
      const VF sumC[kBinFloats] = {s.c[kSumY][v],  ones,           s.c[kSumYT][v],  sumT,
                           s.c[kSumYR0][v], s.c[kSumR0][v], s.c[kSumYR1][v], s.c[kSumR1][v],
                           s.c[kSumYR2][v], s.c[kSumR2][v]};
      const VF sumD[kBinFloats] = {s.d[kSumY][v],  onesD,          s.d[kSumYT][v],  sumDT,
                           s.d[kSumYR0][v], s.d[kSumR0][v], s.d[kSumYR1][v], s.d[kSumR1][v],
                           s.d[kSumYR2][v], s.d[kSumR2][v]};
      const int used = wide ? kBinFloats : kNarrowFloats;
      for (int row = 0; row < 2; ++row) {
        VF w[kBinFloats];
        for (int q = 0; q < used; ++q) {
          const VF upper = hn::Sub(hn::Mul(vk, sumC[q]), hn::Mul(vd, sumD[q]));
          w[q] = row == 1 ? upper : hn::Sub(sumC[q], upper);
        }
        // Bins m - 1, m, m + 1 of a narrow window: R_0 - U, (T + U) - 2 R_0,
        // R_0; of a wide one, m - 1 .. m + 3: R_0 - U, ((T + U) - 2 R_0) +
        // R_1, (R_0 - 2 R_1) + R_2, R_1 - 2 R_2, R_2. Values, then weights.
        for (int k = 0; k < 2; ++k) {
          const VF T = w[k], U = w[2 + k], R0 = w[4 + k];
          float* out = bins[pass][row * kBinFloats] + v * N;
          hn::Store(hn::Sub(R0, U), df, out + k * kLanes);
          const VF middle = hn::Sub(hn::Add(T, U), hn::Add(R0, R0));
          if (!wide) {
            hn::Store(middle, df, out + (2 + k) * kLanes);
            hn::Store(R0, df, out + (4 + k) * kLanes);
            continue;
          }
          const VF R1 = w[6 + k], R2 = w[8 + k];
          hn::Store(hn::Add(middle, R1), df, out + (2 + k) * kLanes);
          hn::Store(hn::Add(hn::Sub(R0, hn::Add(R1, R1)), R2), df, out + (4 + k) * kLanes);
          hn::Store(hn::Sub(R1, hn::Add(R2, R2)), df, out + (6 + k) * kLanes);
          hn::Store(R2, df, out + (8 + k) * kLanes);
        }
      }
    }
  }
  for (int g = 0; g < kGroups; ++g) {
    const int lane0 = g * kGroupColumns;
    if (lane0 >= valid) break;
    const int xg = x0 + lane0;
    const int middle = run.middle[g];
    const int last = std::min(valid, lane0 + kGroupColumns) - 1 + x0;
    const int cells = (colOff[last] - colOff[xg]) / kCellFloats + 1;
    // h[k][l]: 1, u, max(u - 1, 0), max(u - 2, 0) of lane l (the last
    // column's for lanes past it, whose bins are 0).
    HWY_ALIGN float h[kGroupCells + 1][kGroupColumns];
#if HWY_TARGET <= HWY_AVX2
    if (last == xg + kGroupColumns - 1) {
      // Whole cells apart, the offsets' difference over kCellFloats is exact.
      const __m256 u = _mm256_add_ps(
          _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_sub_epi32(
                            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(colOff + xg)),
                            _mm256_set1_epi32(colOff[xg]))),
                        _mm256_set1_ps(1.0f / kCellFloats)),
          _mm256_loadu_ps(colW + xg));
      _mm256_store_ps(h[0], _mm256_set1_ps(1.0f));
      for (int k = 1; k <= kGroupCells; ++k) {
        _mm256_store_ps(h[k], _mm256_max_ps(_mm256_sub_ps(u, _mm256_set1_ps(static_cast<float>(k - 1))),
                                            _mm256_setzero_ps()));
      }
    } else
#endif
    for (int l = 0; l < kGroupColumns; ++l) {
      const int x = std::min(xg + l, last);
      const float u = static_cast<float>((colOff[x] - colOff[xg]) / kCellFloats) + colW[x];
      h[0][l] = 1.0f;
      for (int k = 1; k <= kGroupCells; ++k) h[k][l] = std::max(u - static_cast<float>(k - 1), 0.0f);
    }
    for (int pass = 0; pass < run.windows[g]; ++pass) {
      // Bins past the last one hold nothing, and are not there to add to.
      const int from = WindowMiddle(middle, pass) - 1;
      const int floats = std::min(run.narrow[g] ? kNarrowFloats : kBinFloats, 2 * (kBins - from));
      const std::ptrdiff_t at = colOff[xg] - seg.base + 2 * from;
      if (run.narrow[g]) {
        AddGroupToRows<kNarrowFloats>(&bins[pass][0][lane0], kLanes, h, cells, floats, g0 + at, g1 + at);
      } else {
        AddGroupToRows<kBinFloats>(&bins[pass][0][lane0], kLanes, h, cells, floats, g0 + at, g1 + at);
      }
    }
  }
}

void SplatStrip(const std::uint8_t* HWY_RESTRICT rows, std::ptrdiff_t stride, int rowCount, float a,
                float d, const Segment& seg, const std::int32_t* HWY_RESTRICT colOff,
                const float* HWY_RESTRICT colW, float* HWY_RESTRICT g0, float* HWY_RESTRICT g1) {
  constexpr int N = static_cast<int>(hn::MaxLanes(DF()));
  constexpr int kLanes = N > kGroupColumns ? N : kGroupColumns;
  
  for (int r0 = 0; r0 < rowCount; r0 += kRunRows) {
    const int n = std::min(kRunRows, rowCount - r0);
    const std::uint8_t* first = rows + r0 * stride;
    const float aRun = a + static_cast<float>(r0) * d;
    for (int x0 = seg.xBegin; x0 < seg.xEnd; x0 += kLanes) {
      SplatColumns<kLanes>(first, stride, n, aRun, d, x0, std::min(kLanes, seg.xEnd - x0), seg,
                           colOff, colW, g0, g1);
    }
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace morvane::imgproc
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
