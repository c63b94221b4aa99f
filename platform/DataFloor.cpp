// DataFloor: the JPEG frame header and the PNG header and image data chunks, read
// just far enough for the floor.
#include "DataFloor.h"

#include <algorithm>
#include <array>

namespace platform {

namespace {

constexpr std::uint64_t kBitsPerByte = 8;
constexpr std::int64_t kJpegBlock = 8;
// Deflate codes at most 258 repeated bytes in two bits.
constexpr std::uint64_t kMostDeflateExpansion = 1032;

std::uint32_t BigEndian(std::span<const std::uint8_t> Data, std::size_t At, int Bytes) {
  std::uint32_t value = 0;
  for (int i = 0; i < Bytes; ++i) value = (value << 8) | Data[At + i];
  return value;
}

// Start-of-frame markers with Huffman coding: baseline, extended, progressive,
// lossless and the differential ones. Those from 0xC9 up, 0xC8 and 0xCC aside,
// use arithmetic coding.
bool IsHuffmanFrame(std::uint8_t Marker) {
  return (Marker >= 0xc0 && Marker <= 0xc3) || (Marker >= 0xc5 && Marker <= 0xc7);
}

bool IsArithmeticFrame(std::uint8_t Marker) {
  return Marker >= 0xc9 && Marker <= 0xcf && Marker != 0xcc;
}

// Walks the marker segments before the first scan to the frame header.
std::optional<DataFloor> JpegFloor(std::span<const std::uint8_t> File) {
  std::size_t at = 2;
  while (at + 4 <= File.size()) {
    if (File[at] != 0xff) return std::nullopt;
    const std::uint8_t marker = File[at + 1];
    if (marker == 0xff) {  // fill byte
      ++at;
      continue;
    }
    if (marker == 0xda || marker == 0xd9 || IsArithmeticFrame(marker)) return std::nullopt;
    const std::size_t length = BigEndian(File, at + 2, 2);
    if (IsHuffmanFrame(marker)) {
      if (length < 7 || at + 9 > File.size()) return std::nullopt;
      const std::int64_t height = BigEndian(File, at + 5, 2);
      const std::int64_t width = BigEndian(File, at + 7, 2);
      // A height of 0 is given later, after the first scan.
      if (width == 0 || height == 0) return std::nullopt;
      const auto blocks = static_cast<std::uint64_t>(((width + kJpegBlock - 1) / kJpegBlock) *
                                                     ((height + kJpegBlock - 1) / kJpegBlock));
      return DataFloor{"JPEG", width, height, blocks / kBitsPerByte, File.size()};
    }
    at += 2 + length;
  }
  return std::nullopt;
}

constexpr std::array<std::uint8_t, 8> kPngSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

int PngChannels(std::uint8_t ColourType) {
  switch (ColourType) {
    case 0:
    case 3:
      return 1;
    case 2:
      return 3;
    case 4:
      return 2;
    case 6:
      return 4;
    default:
      return 0;
  }
}

bool ChunkIs(std::span<const std::uint8_t> File, std::size_t At, const char* Type) {
  return std::equal(Type, Type + 4, File.begin() + static_cast<std::ptrdiff_t>(At + 4));
}

std::optional<DataFloor> PngFloor(std::span<const std::uint8_t> File) {
  constexpr std::size_t kHeaderEnd = 8 + 8 + 13;
  if (File.size() < kHeaderEnd || !ChunkIs(File, 8, "IHDR")) return std::nullopt;
  const std::int64_t width = BigEndian(File, 16, 4);
  const std::int64_t height = BigEndian(File, 20, 4);
  const int bits = File[24] * PngChannels(File[25]);
  if (width == 0 || height == 0 || bits == 0) return std::nullopt;
  const std::uint64_t row = 1 + (static_cast<std::uint64_t>(width) * bits + 7) / kBitsPerByte;
  DataFloor floor{"PNG", width, height, row * static_cast<std::uint64_t>(height) /
                                            kMostDeflateExpansion, 0};
  for (std::uint64_t at = kPngSignature.size(); at + 8 <= File.size();) {
    const std::uint64_t length = BigEndian(File, at, 4);
    if (ChunkIs(File, at, "IDAT")) floor.Held += std::min(length, File.size() - (at + 8));
    if (ChunkIs(File, at, "IEND")) break;
    at += 8 + length + 4;  // length and type, data, CRC
  }
  return floor;
}

}  // namespace

std::optional<DataFloor> DataFloorOf(std::span<const std::uint8_t> File) {
  if (File.size() >= 2 && File[0] == 0xff && File[1] == 0xd8) return JpegFloor(File);
  if (File.size() >= kPngSignature.size() &&
      std::equal(kPngSignature.begin(), kPngSignature.end(), File.begin())) {
    return PngFloor(File);
  }
  return std::nullopt;
}

}  // namespace platform
