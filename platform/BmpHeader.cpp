// Reading the BMP file and info headers from raw bytes (all little-endian).
#include "BmpHeader.h"

#include <limits>

namespace platform {

namespace {

constexpr std::uint32_t kOs2InfoSize = 12;  // OS/2 1.x: 16-bit extents and bit count
constexpr std::uint32_t kOs2v2InfoSize = 64;
constexpr std::uint32_t kRgb = 0, kBitFields = 3, kAlphaBitFields = 6;

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
