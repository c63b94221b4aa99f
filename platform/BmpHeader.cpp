// Reading the BMP file and info headers from raw bytes (all little-endian).
#include "BmpHeader.h"

#include <algorithm>
#include <limits>

namespace platform {

namespace {

constexpr std::uint32_t kOs2InfoSize = 12;  // OS/2 1.x: 16-bit extents and bit count
constexpr std::uint32_t kOs2v2InfoSize = 64;
constexpr std::uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6;

// The unsigned number of Bytes bytes at At (the caller checks the length).
std::uint32_t LittleEndian(std::span<const std::uint8_t> Data, std::size_t At, int Bytes) {
  std::uint32_t value = 0;
  for (int i = Bytes - 1; i >= 0; --i) value = (value << 8) | Data[At + i];
  return value;
}

bool IsBmp(std::span<const std::uint8_t> File, std::size_t Length) {
  return File.size() >= Length && File[0] == 'B' && File[1] == 'M';
}

// Width of a contiguous bit mask, 0 for an empty or broken one.
int MaskWidth(std::uint32_t Mask) {
  if (Mask == 0) return 0;
  while ((Mask & 1) == 0) Mask >>= 1;
  int width = 0;
  while (Mask & 1) {
    Mask >>= 1;
    ++width;
  }
  return Mask == 0 ? width : 0;
}

}  // namespace

std::optional<BmpHeader> ReadBmpHeader(std::span<const std::uint8_t> File) {
  if (!IsBmp(File, 26)) return std::nullopt;
  auto le = [File](std::size_t At, int Bytes) { return LittleEndian(File, At, Bytes); };
  BmpHeader header;
  header.PixelOffset = le(10, 4);
  header.InfoSize = le(14, 4);
  if (header.InfoSize == kOs2InfoSize) {
    header.Width = le(18, 2);
    header.Height = le(20, 2);
    header.BitCount = le(24, 2);
  } else if (header.InfoSize >= 16) {
    header.Width = static_cast<std::int32_t>(le(18, 4));
    header.Height = static_cast<std::int32_t>(le(22, 4));
    if (File.size() >= 30) header.BitCount = le(28, 2);
    if (header.InfoSize >= 20 && File.size() >= 34) header.Compression = le(30, 4);
  } else {
    return std::nullopt;
  }
  if (header.Height < 0) header.Height = -header.Height;
  constexpr std::int64_t kMax = std::numeric_limits<int>::max();
  if (header.Width <= 0 || header.Height <= 0 || header.Width > kMax || header.Height > kMax) {
    return std::nullopt;
  }
  return header;
}

std::optional<std::uint64_t> UncompressedPixelBytes(const BmpHeader& Header) {
  // OS/2's 64-byte header numbers its compressions differently: 3 is Huffman coding.
  const bool os2 = Header.InfoSize == kOs2v2InfoSize;
  const bool uncompressed =
      Header.Compression == kRgb ||
      (!os2 && (Header.Compression == kBitFields || Header.Compression == kAlphaBitFields));
  if (!uncompressed || Header.BitCount == 0 || Header.BitCount > 32) return std::nullopt;
  const auto row_bits = static_cast<std::uint64_t>(Header.Width) * Header.BitCount;
  const std::uint64_t stride = (row_bits + 31) / 32 * 4;
  return stride * static_cast<std::uint64_t>(Header.Height);
}

// Walks the pairs of the run-length code: a count and a value, or after a zero
// count an escape: 0 ends the row, 1 the bitmap, 2 jumps right and down by the
// next two bytes, and n >= 3 starts n literal pixels padded to a 16-bit word.
std::optional<RleReach> ReachOfRle(std::span<const std::uint8_t> File, const BmpHeader& Header) {
  const bool rle8 = Header.Compression == kRle8 && Header.BitCount == 8;
  const bool rle4 = Header.Compression == kRle4 && Header.BitCount == 4;
  if (!rle8 && !rle4) return std::nullopt;
  const auto width = static_cast<std::uint64_t>(Header.Width);
  const auto height = static_cast<std::uint64_t>(Header.Height);
  std::uint64_t x = 0;
  std::uint64_t y = 0;
  const auto reach = [&](bool Ended) {
    return RleReach{std::min(y, height) * width + (y < height ? std::min(x, width) : 0), Ended};
  };
  for (std::size_t at = Header.PixelOffset; at + 2 <= File.size() && y < height;) {
    const std::uint8_t count = File[at];
    const std::uint8_t value = File[at + 1];
    at += 2;
    if (count > 0) {
      x += count;
    } else if (value == 0) {
      x = 0;
      ++y;
    } else if (value == 1) {
      return reach(true);
    } else if (value == 2) {
      if (at + 2 > File.size()) break;
      x += File[at];
      y += File[at + 1];
      at += 2;
    } else {
      const std::size_t bytes = rle8 ? value : (value + 1) / 2u;
      at += (bytes + 1) & ~std::size_t{1};
      x += value;
    }
  }
  return reach(y >= height);
}

bool HasOs2OnlyCompression(const BmpHeader& Header) {
  constexpr std::uint32_t kOs2Huffman = 3, kOs2Rle24 = 4;
  return Header.InfoSize == kOs2v2InfoSize &&
         (Header.Compression == kOs2Huffman || Header.Compression == kOs2Rle24);
}

ChannelBits BmpChannelBits(std::span<const std::uint8_t> File) {
  ChannelBits bits;
  if (!IsBmp(File, 34)) return bits;
  auto le = [File](std::size_t At, int Bytes) { return LittleEndian(File, At, Bytes); };
  const std::uint32_t info_size = le(14, 4);
  const std::uint32_t bit_count = le(28, 2);
  const std::uint32_t compression = le(30, 4);
  if (info_size < 40 || info_size == kOs2v2InfoSize || (bit_count != 16 && bit_count != 32)) {
    return bits;
  }
  if (compression == kRgb) {
    if (bit_count == 16) bits = {5, 5, 5, 8};
    return bits;
  }
  if ((compression != kBitFields && compression != kAlphaBitFields) || File.size() < 66) {
    return bits;
  }
  bits.Red = MaskWidth(le(54, 4));
  bits.Green = MaskWidth(le(58, 4));
  bits.Blue = MaskWidth(le(62, 4));
  const bool has_alpha_mask = info_size >= 56 || compression == kAlphaBitFields;
  bits.Alpha = has_alpha_mask && File.size() >= 70 ? MaskWidth(le(66, 4)) : 8;
  return bits;
}

}  // namespace platform
