// Telling from a picture file's bytes whether the file stops before the end its
// format marks: a download or copy that broke off. Decoders fill what they never
// reach with a plain colour and often say nothing, so the loader asks here.
#pragma once

#include <cstdint>
#include <span>

namespace platform {

// True for an uncompressed BMP shorter than its rows need, a run-length coded BMP
// whose code runs out before its end-of-bitmap mark, a JPEG whose data runs out
// before its end-of-image marker and a PNG that ends before its IEND chunk.
// False for complete files and for anything else, which this cannot judge.
bool IsCutShort(std::span<const std::uint8_t> File);

}  // namespace platform
