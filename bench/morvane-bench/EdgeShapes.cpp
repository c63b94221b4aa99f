// EdgeShapes: the shapes and their content, the same in every run.
#include "SourcePicture.h"

#include <algorithm>
#include <cmath>

namespace bench {

namespace {

SourcePicture Shape(int Width, int Height, const std::string& What) {
  SourcePicture p;
  p.name = "edge shape " + std::to_string(Width) + "x" + std::to_string(Height) + " (" + What + ")";
  p.edge_shape = true;
  p.width = Width;
  p.height = Height;
  auto pixels = std::make_shared<std::vector<std::uint8_t>>(static_cast<std::size_t>(p.stride()) * Height);
  std::uint32_t noise = 12345;
  for (int y = 0; y < Height; ++y) {
    for (int x = 0; x < Width; ++x) {
      const bool edge = (x / 7 + y / 5) % 2 == 0;
      for (int c = 0; c < 3; ++c) {
        noise = noise * 1664525u + 1013904223u;
        const double shade = 128 + 60 * std::sin(0.11 * x + 0.07 * y + 2.1 * c) + (edge ? 40 : -40);
        const double value = shade + static_cast<double>(noise >> 28) - 8;
        (*pixels)[static_cast<std::size_t>(y) * p.stride() + 3 * x + c] =
            static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
      }
    }
  }
  p.pixels = *pixels;
  p.storage = pixels;
  return p;
}

}  // namespace

std::vector<SourcePicture> EdgeShapes() {
  return {Shape(1, 1, "one pixel"), Shape(1, 300, "one pixel wide"), Shape(300, 1, "one pixel high"),
          Shape(75, 49, "odd width, padded rows")};
}

}  // namespace bench
