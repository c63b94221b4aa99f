// Statistics: quantiles by sorting a copy.
#include "Statistics.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace bench {

double Quantile(std::vector<double> Values, double Q) {
  if (Values.empty()) return std::numeric_limits<double>::quiet_NaN();
  std::sort(Values.begin(), Values.end());
  const double rank = Q * static_cast<double>(Values.size() - 1);
  const auto below = static_cast<std::size_t>(std::floor(rank));
  const std::size_t above = std::min(below + 1, Values.size() - 1);
  return Values[below] + (rank - static_cast<double>(below)) * (Values[above] - Values[below]);
}

}  // namespace bench
