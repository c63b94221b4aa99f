// Time-stamp counter ticks spent in each stage of the grid, summed over the
// threads: only in the copy of the library that filter_bench --stages loads
// (built with MORVANE_STAGE_TIMERS); in the library that ships, MORVANE_STAGE
// is nothing.
#pragma once

#ifdef MORVANE_STAGE_TIMERS
#include <x86intrin.h>

#include <atomic>

namespace morvane::imgproc {

// The splat includes its luma, the slice its luma and the writing back.
enum Stage { kSplatStage, kBlurStage, kSliceStage, kStageCount };
extern std::atomic<unsigned long long> gStageTicks[kStageCount];

class StageTimer {
 public:
  explicit StageTimer(Stage stage) : stage_(stage), start_(__rdtsc()) {}
  ~StageTimer() { gStageTicks[stage_].fetch_add(__rdtsc() - start_, std::memory_order_relaxed); }
  StageTimer(const StageTimer&) = delete;
  StageTimer& operator=(const StageTimer&) = delete;

 private:
  Stage stage_;
  unsigned long long start_;
};

}  // namespace morvane::imgproc

#define MORVANE_STAGE(stage) ::morvane::imgproc::StageTimer stageTimer_(::morvane::imgproc::stage)
#else
#define MORVANE_STAGE(stage)
#endif
