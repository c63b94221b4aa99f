// Fixed-point text with the decimal separator of the default locale, which is the
// user's unless the program sets another.
#include "NumberText.h"

#include <QLocale>

namespace platform {

std::string FixedPointText(std::int64_t TenThousandths) {
  // Unsigned, so that the most negative value has a magnitude too.
  const bool negative = TenThousandths < 0;
  const std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(TenThousandths)
                                            : static_cast<std::uint64_t>(TenThousandths);

  std::string text = negative ? "-" : "";
  text += std::to_string(magnitude / 10000);
  std::string fraction = std::to_string(10000 + magnitude % 10000).substr(1);
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  if (!fraction.empty()) text += QLocale().decimalPoint().toStdString() + fraction;
  return text;
}

}  // namespace platform
