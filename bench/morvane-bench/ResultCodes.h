// ResultCodes: the entry point's return values by the names that the
// library's header gives them.
#pragma once

#include <string>

namespace bench {

// "IMAGEPROCESSING_OK", "IMAGEPROCESSING_ERROR_BAD_STRIDE", ...; empty for a
// value the header does not define.
std::string ResultName(int Result);

// "IMAGEPROCESSING_ERROR_BAD_SIZE (-2)", or "an unknown result 7".
std::string DescribeResult(int Result);

}  // namespace bench
