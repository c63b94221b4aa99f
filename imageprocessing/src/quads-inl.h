// Quads: the four floats (value, weight, value, weight) of two neighbouring
// range bins of a cell, which the splat adds per pixel and the slice reads
// per pixel, and the transpose of vectors into them.
#if defined(MORVANE_IMGPROC_QUADS_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef MORVANE_IMGPROC_QUADS_INL_H_
#undef MORVANE_IMGPROC_QUADS_INL_H_
#else
#define MORVANE_IMGPROC_QUADS_INL_H_
#endif

#include <cstring>

#include "pixels-inl.h"

HWY_BEFORE_NAMESPACE();
namespace morvane::imgproc {
namespace HWY_NAMESPACE {

// One quad in a register: a 128-bit vector, or four floats on the portable
// target, whose vectors hold one.
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

#if HWY_TARGET <= HWY_AVX2
// Vectors of values and weights of two bins, lane by lane, as quads: two
// rounds of in-block interleaving leave the quad (v, w, vh, wh) of lane
// 4k + j in 128-bit block k of out[j]. The splat adds its quads from there
// without a store and a reload; the slice runs it backwards on the quads it
// loads.
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

// 128-bit block kBlock of a vector, as a quad.
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
#endif

}  // namespace HWY_NAMESPACE
}  // namespace morvane::imgproc
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
