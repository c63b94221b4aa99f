// The one place that picks a SIMD level: compiles every stage's kernels
// once per x86-64 target (SSSE3, SSE4, AVX2, AVX-512 and the portable
// baseline) and forwards each to the best one the CPU supports.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "kernels.cc"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#include "pixels-inl.h"
#include "splat-inl.h"
#include "blur-inl.h"
#include "slice-inl.h"
#include "window-inl.h"

#if HWY_ONCE
#include "kernels.h"

namespace morvane::imgproc {

HWY_EXPORT(SplatRow);
HWY_EXPORT(PendRow);
HWY_EXPORT(FlushStrip);
HWY_EXPORT(SplatRowInto);
HWY_EXPORT(SplatStrip);
HWY_EXPORT(BlurBins);
HWY_EXPORT(BlurAxis);
HWY_EXPORT(BlurRows);
HWY_EXPORT(SliceStrip);
HWY_EXPORT(SliceRow);
HWY_EXPORT(LumaRow);
HWY_EXPORT(WindowRow);

void SplatRow(const std::uint8_t* row, const Segment& seg, const std::int32_t* colOff,
              const float* colW, std::size_t segmentFloats, const SplatScratch& s) {
  HWY_DYNAMIC_DISPATCH(SplatRow)(row, seg, colOff, colW, segmentFloats, s);
}

void PendRow(const float* copies, std::size_t segmentFloats, std::size_t floats, float* pending,
             float step, bool first) {
  HWY_DYNAMIC_DISPATCH(PendRow)(copies, segmentFloats, floats, pending, step, first);
}

void FlushStrip(float* copies, std::size_t segmentFloats, std::size_t floats, const float* pending,
                float* g0, float* g1, float w0, float w1) {
  HWY_DYNAMIC_DISPATCH(FlushStrip)(copies, segmentFloats, floats, pending, g0, g1, w0, w1);
}

void SplatRowInto(const std::uint8_t* row, const Segment& seg, const std::int32_t* colOff,
                  const float* colW, float* g0, float* g1, float w0, float w1,
                  const SplatScratch& s) {
  HWY_DYNAMIC_DISPATCH(SplatRowInto)(row, seg, colOff, colW, g0, g1, w0, w1, s);
}

void SplatStrip(const std::uint8_t* first, std::ptrdiff_t stride, int rows, float a, float d,
                const Segment& seg, const std::int32_t* colOff, const float* colW, float* g0,
                float* g1) {
  HWY_DYNAMIC_DISPATCH(SplatStrip)(first, stride, rows, a, d, seg, colOff, colW, g0, g1);
}

void BlurBins(float* row, int cells) { HWY_DYNAMIC_DISPATCH(BlurBins)(row, cells); }

void BlurAxis(float* base, int count, std::size_t stride, std::size_t width) {
  HWY_DYNAMIC_DISPATCH(BlurAxis)(base, count, stride, width);
}

void BlurRows(const float* m2, const float* m1, const float* c, const float* p1, const float* p2,
              float* out, std::size_t floats) {
  HWY_DYNAMIC_DISPATCH(BlurRows)(m2, m1, c, p1, p2, out, floats);
}

void SliceStrip(const Segment& seg, const float* g0, const float* g1, const std::int32_t* colOff,
                float* scratch) {
  HWY_DYNAMIC_DISPATCH(SliceStrip)(seg, g0, g1, colOff, scratch);
}

void SliceRow(std::uint8_t* row, const Segment& seg, const float* g0, const float* g1, float wy,
              const std::int32_t* colOff, const float* colW, float gain, float* scratch) {
  HWY_DYNAMIC_DISPATCH(SliceRow)(row, seg, g0, g1, wy, colOff, colW, gain, scratch);
}

void LumaRow(const std::uint8_t* row, int width, std::uint16_t* out) {
  HWY_DYNAMIC_DISPATCH(LumaRow)(row, width, out);
}

void WindowRow(std::uint8_t* row, int y, const std::uint16_t* luma, int width, int height,
               const float* spatial, float gain) {
  HWY_DYNAMIC_DISPATCH(WindowRow)(row, y, luma, width, height, spatial, gain);
}

}  // namespace morvane::imgproc
#endif  // HWY_ONCE
