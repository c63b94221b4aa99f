// The stage counters of the bench's copy of the library, and the one entry
// point it adds: filter_bench --stages reads them through it.
#include "stage_timers.h"

#include "ImageProcessing.h"

namespace morvane::imgproc {

std::atomic<unsigned long long> gStageTicks[kStageCount];

}  // namespace morvane::imgproc

// Copies the ticks of the splat, the blur and the slice since the last
// call into ticks[0..2] and starts them again from 0.
extern "C" IMAGEPROCESSING_API void ImageProcessingTakeStageTicks(unsigned long long* ticks) {
  for (int s = 0; s < morvane::imgproc::kStageCount; ++s) {
    ticks[s] = morvane::imgproc::gStageTicks[s].exchange(0, std::memory_order_relaxed);
  }
}
