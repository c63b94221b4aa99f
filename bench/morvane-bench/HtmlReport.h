// HtmlReport: a run as one self-contained HTML file: the machine and the
// builds, the table, a chart of the times (SVG), and for each picture the
// region where the builds differ most as source / A / B / difference at 100 %
// and 400 %. The pictures are PNG inside the file; nothing is fetched.
#pragma once

#include "Results.h"

#include <string>

namespace bench {

std::string HtmlReport(const Report& Report, const std::string& Version);

}  // namespace bench
