// DataFloor: the fewest bytes a picture file must hold for the size its header
// claims, where its format sets such a floor. A file below it cannot hold its
// picture, and its decoder would make up the rest at the cost of the whole size:
// a few kilobytes of JPEG header claiming ten megapixels cost a decoder as much as
// the photo would.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace platform {

struct DataFloor {
  std::string Format;     // "JPEG" or "PNG"
  std::int64_t Width = 0;
  std::int64_t Height = 0;
  std::uint64_t Least = 0;  // bytes of coded data the claimed size needs at least
  std::uint64_t Held = 0;   // bytes of coded data the file holds
};

// For a Huffman-coded JPEG, one bit for each 8 x 8 block of its full-resolution
// component (the shortest code a block's DC value can have), counted over the
// whole file; for a PNG, its rows as the filter bytes and pixels need them,
// divided by 1032, the most that deflate can expand, against its image data
// chunks. None for other files, for arithmetic-coded JPEGs, which have no such
// floor, and for headers that do not parse.
std::optional<DataFloor> DataFloorOf(std::span<const std::uint8_t> File);

}  // namespace platform
