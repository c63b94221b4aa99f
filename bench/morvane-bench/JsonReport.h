// JsonReport: a run's results as the JSON file that --json writes; the
// manual page, morvane-bench(1), describes every field.
#pragma once

#include "Results.h"

#include <string>

namespace bench {

std::string JsonReport(const Report& Report, const std::string& Version);

}  // namespace bench
