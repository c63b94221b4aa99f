// PngEncoding: a picture in the drawing layer's byte order as a PNG file's
// bytes, for reports that carry their pictures inside them.
#pragma once

#include <cstdint>
#include <vector>

namespace platform {

// Width x Height pixels of 3 bytes (blue, green, red), rows Stride bytes
// apart. Throws PlatformError when the encoder fails.
std::vector<std::uint8_t> EncodePng(const std::uint8_t* Pixels, int Width, int Height, int Stride);

}  // namespace platform
