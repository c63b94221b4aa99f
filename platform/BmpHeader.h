// What a BMP file's first bytes say about it: the size it claims, how its pixels
// are stored, where they start and how many bytes its rows take. Read on bytes so
// that the loader can judge a file before any decoder allocates for it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace platform {

struct BmpHeader {
  std::int64_t Width = 0;
  std::int64_t Height = 0;  // a magnitude: top-down files store it negated
  std::uint32_t InfoSize = 0;
  std::uint32_t BitCount = 0;
  std::uint32_t Compression = 0;
  std::uint32_t PixelOffset = 0;
};

// The header at the start of File; none when File is not a BMP or too short to
// hold a header, or when the header claims no pixels or extents beyond int.
std::optional<BmpHeader> ReadBmpHeader(std::span<const std::uint8_t> File);

// The bytes the rows of an uncompressed BMP take; none for compressed ones,
// whose length the header does not tell.
std::optional<std::uint64_t> UncompressedPixelBytes(const BmpHeader& Header);

// How far the RLE8 or RLE4 pixel data of a BMP reaches: the pixels its runs,
// row ends and jumps cover before it ends, and whether it ends with its
// end-of-bitmap mark, as a complete file does. None for other files.
struct RleReach {
  std::uint64_t Pixels = 0;
  bool Ended = false;
};
std::optional<RleReach> ReachOfRle(std::span<const std::uint8_t> File, const BmpHeader& Header);

// True for the compressions that OS/2's 64-byte header numbers 3 (Huffman coding)
// and 4 (RLE24): decoders that know only the Windows numbering read the first as
// uncompressed bit fields, so a few bytes of header would claim pixel data the
// file never holds.
bool HasOs2OnlyCompression(const BmpHeader& Header);

// Widths in bits of the channels a BMP stores; 8 means "as Qt returns it".
struct ChannelBits {
  int Red = 8, Green = 8, Blue = 8, Alpha = 8;
};

// The channel widths of a 16- or 32-bit BMP, from its first bytes (up to 70); all 8
// for anything else.
ChannelBits BmpChannelBits(std::span<const std::uint8_t> File);

}  // namespace platform
