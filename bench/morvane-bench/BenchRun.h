// BenchRun: one run of morvane-bench: the builds loaded, each picture decoded
// and measured at every strength with every build (a call at the other row
// layout, a warm-up, the timed calls interleaved A B B A ..., the check of
// determinism), then the edge shapes; the results gathered into a Report.
#pragma once

#include "BuildProcess.h"
#include "Console.h"
#include "ExactComparison.h"
#include "Options.h"
#include "Results.h"
#include "SourcePicture.h"
#include "platform/SharedMemory.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace bench {

class BenchRun {
 public:
  BenchRun(const Options& Options, Console& Console);
  ~BenchRun();

  // Throws UsageError, before measuring anything, for pictures that cannot be
  // listed and builds that cannot be loaded (one line for each), and when no
  // picture could be read at all.
  Report Run();

 private:
  struct Build;
  class Case;

  void LoadBuilds();
  void Measure(const SourcePicture& Picture);
  void MeasureStrength(const SourcePicture& Picture, int Strength, const ExactComparison* Exact);
  void KeepRegion(const SourcePicture& Picture, int Strength, const std::vector<bool>& Alive);
  int RunsFor(const SourcePicture& Picture, double SlowestWarmUpMs) const;
  void AddRunWarnings();

  const Options& options_;
  Console& console_;
  platform::SharedMemory source_;
  std::vector<std::unique_ptr<Build>> builds_;
  Report report_;
  double work_ms_ = 0;  // in the builds' calls and in the copies before them
};

}  // namespace bench
