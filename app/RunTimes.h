// RunTimes: how long the filter took on the current picture, run by run, for
// each strength, so that one slow or fast run is seen as what it is.
#pragma once

#include "support/PreciseClock.h"

#include <map>
#include <vector>

class RunTimes {
 public:
  struct Summary {
    int Runs = 0;
    API::MsStamp Minimum = 0;
    API::MsStamp Median = 0;  // of an even count, the mean of the middle two
  };

  // A new picture: the times of the last one no longer apply.
  void Clear() { times_.clear(); }
  void Add(int Strength, API::MsStamp Time) { times_[Strength].push_back(Time); }
  Summary Of(int Strength) const;

 private:
  std::map<int, std::vector<API::MsStamp>> times_;
};
