// RunTimes: the minimum and median of the runs at one strength.
#include "RunTimes.h"

#include <algorithm>

RunTimes::Summary RunTimes::Of(int Strength) const {
  const auto found = times_.find(Strength);
  if (found == times_.end() || found->second.empty()) return {};
  std::vector<API::MsStamp> sorted = found->second;
  std::sort(sorted.begin(), sorted.end());
  const std::size_t middle = sorted.size() / 2;
  const API::MsStamp median =
      sorted.size() % 2 == 1 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
  return {static_cast<int>(sorted.size()), sorted.front(), median};
}
