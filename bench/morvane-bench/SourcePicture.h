// SourcePicture: a picture the builds are run on, laid out as the window lays
// out its pictures: B, G, R bytes, each row 3 x width bytes raised to the next
// multiple of 4.
#pragma once

#include "Difference.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace bench {

struct SourcePicture {
  std::string name;
  bool edge_shape = false;  // made up by morvane-bench, not given
  int width = 0;
  int height = 0;
  std::span<const std::uint8_t> pixels;  // stride() x height bytes
  std::shared_ptr<const void> storage;   // what holds the pixels

  int stride() const { return (3 * width + 3) / 4 * 4; }
  exact::PictureView View() const { return {pixels.data(), width, height, stride()}; }
};

// Shapes where filters go wrong at their edges: a single pixel, a strip one
// pixel wide and one a pixel high, and an odd width whose rows are padded;
// with photo-like content (smooth shading, edges, a little noise).
std::vector<SourcePicture> EdgeShapes();

}  // namespace bench
