// Numbers as the user reads them, in the user's locale.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// A fixed-point number counted in ten-thousandths: a minus sign if negative, the
// whole part without grouping, and only when there is a fraction the locale's
// decimal separator with one to four digits, trailing zeros dropped.
// 125000 gives "12.5", 30000 gives "3", 421 gives "0.0421" (with a point).
std::string FixedPointText(std::int64_t TenThousandths);

}  // namespace platform
