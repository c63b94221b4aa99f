// The display rectangle of a picture inside a box.
#include "FitToBox.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

namespace API {

namespace {

// A double to a signed 16-bit integer, to nearest with halves to even. Adding
// 0.5 before this rounding makes a fractional side round up, as the display
// rectangle has always done (449.3 gives 450).
int RoundTo16Bits(double Value) {
  const double rounded = std::nearbyint(Value);
  if (!(rounded >= std::numeric_limits<std::int16_t>::min() &&
        rounded <= std::numeric_limits<std::int16_t>::max())) {
    throw std::overflow_error("fitted side " + std::to_string(Value) +
                              " does not fit 16 bits; boxes are limited to 32766 pixels a side");
  }
  return static_cast<std::int16_t>(rounded);
}

}  // namespace

void FitToBox(int ImageWidth, int ImageHeight, int BoxWidth, int BoxHeight, int& FitLeft,
              int& FitTop, int& FitWidth, int& FitHeight) {
  int width = ImageWidth;
  int height = ImageHeight;
  if (ImageWidth > BoxWidth || ImageHeight > BoxHeight) {
    const double rw = static_cast<double>(BoxWidth) / ImageWidth;
    const double rh = static_cast<double>(BoxHeight) / ImageHeight;
    if (rw < rh) {
      width = BoxWidth;
      height = RoundTo16Bits(ImageHeight * rw + 0.5);
    } else {
      height = BoxHeight;
      width = RoundTo16Bits(ImageWidth * rh + 0.5);
    }
  }
  FitWidth = width;
  FitHeight = height;
  FitLeft = (BoxWidth - FitWidth) / 2;
  FitTop = (BoxHeight - FitHeight) / 2;
}

}  // namespace API
