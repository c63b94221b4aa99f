// Statistics: the order statistics that timings are summed up by.
#pragma once

#include <vector>

namespace bench {

// The q-quantile (0 <= q <= 1) of the values, interpolated linearly between
// the two nearest ranks, as most statistics tools compute it; NaN for none.
double Quantile(std::vector<double> Values, double Q);

inline double Median(const std::vector<double>& Values) { return Quantile(Values, 0.5); }

}  // namespace bench
