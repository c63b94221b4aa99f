// SecondBuild: a second build of the filter, named on the command line, run
// after the first on its own copy of the same source at the same strength, so
// that holding B shows its result in the first one's place.
#pragma once

#include "EnhancementLibrary.h"
#include "FailureText.h"
#include "RunTimes.h"
#include "imaging/Cimage.h"

#include <optional>
#include <string>

class SecondBuild {
 public:
  explicit SecondBuild(EnhancementLibrary& Library) : library_(Library) {}

  // Filters a fresh copy of Source. A failure comes back to be shown: a build
  // that cannot be bound once, and is not tried again; a refusal every time.
  std::optional<FailureText> Run(const Cimage& Source, int Strength);

  // A new picture: the times of the last one no longer apply.
  void Clear() { times_.Clear(); }
  void Release() { result_.DisposeResource(); }

  // The output of the last run, when it succeeded.
  const Cimage& Result() const { return result_; }
  bool Filtered() const { return filtered_; }
  RunTimes::Summary Times(int Strength) const { return times_.Of(Strength); }
  const EnhancementLibrary& Library() const { return library_; }

 private:
  EnhancementLibrary& library_;
  Cimage result_;
  bool filtered_ = false;
  bool unusable_ = false;
  RunTimes times_;
};
