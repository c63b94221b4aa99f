// Walks BMP headers, JPEG marker segments and PNG chunks just far enough to see
// whether the file reaches its last byte as its format lays it out.
#include "CutShort.h"

#include "BmpHeader.h"

#include <algorithm>
#include <array>
#include <optional>

namespace platform {

namespace {

bool BmpCutShort(std::span<const std::uint8_t> File) {
  const std::optional<BmpHeader> header = ReadBmpHeader(File);
  if (!header) return false;
  if (const std::optional<RleReach> reach = ReachOfRle(File, *header)) return !reach->Ended;
  const std::optional<std::uint64_t> rows = UncompressedPixelBytes(*header);
  return rows && File.size() < std::uint64_t{header->PixelOffset} + *rows;
}

bool IsJpeg(std::span<const std::uint8_t> File) {
  return File.size() >= 2 && File[0] == 0xff && File[1] == 0xd8;
}

// Markers that stand alone, without a length: TEM, the restart markers and SOI.
bool StandsAlone(std::uint8_t Marker) {
  return Marker == 0x01 || (Marker >= 0xd0 && Marker <= 0xd8);
}

// Entropy-coded data and stray bytes end at the next 0xFF that is neither a stuffed
// zero, a restart marker nor fill: the position of that 0xFF, or none.
std::optional<std::size_t> NextMarker(std::span<const std::uint8_t> File, std::size_t At) {
  for (; At + 1 < File.size(); ++At) {
    if (File[At] != 0xff) continue;
    const std::uint8_t next = File[At + 1];
    if (next != 0x00 && next != 0xff && !StandsAlone(next)) return At;
  }
  return std::nullopt;
}

// A JPEG ends with its EOI marker; thumbnails carry their own inside an APP segment,
// which the walk skips by its length.
bool JpegCutShort(std::span<const std::uint8_t> File) {
  std::size_t at = 2;
  for (;;) {
    const std::optional<std::size_t> marker_at = NextMarker(File, at);
    if (!marker_at) return true;
    const std::uint8_t marker = File[*marker_at + 1];
    if (marker == 0xd9) return false;
    if (*marker_at + 4 > File.size()) return true;
    const std::size_t length = (std::size_t{File[*marker_at + 2]} << 8) | File[*marker_at + 3];
    at = *marker_at + 2 + length;
    if (at > File.size()) return true;
  }
}

constexpr std::array<std::uint8_t, 8> kPngSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

bool IsPng(std::span<const std::uint8_t> File) {
  return File.size() >= kPngSignature.size() &&
         std::equal(kPngSignature.begin(), kPngSignature.end(), File.begin());
}

bool PngCutShort(std::span<const std::uint8_t> File) {
  std::uint64_t at = kPngSignature.size();
  while (at + 8 <= File.size()) {
    const std::uint64_t length = (std::uint64_t{File[at]} << 24) | (File[at + 1] << 16) |
                                 (File[at + 2] << 8) | File[at + 3];
    const bool end = File[at + 4] == 'I' && File[at + 5] == 'E' && File[at + 6] == 'N' &&
                     File[at + 7] == 'D';
    at += 8 + length + 4;  // length and type, data, CRC
    if (end) return at > File.size();
  }
  return true;
}

}  // namespace

bool IsCutShort(std::span<const std::uint8_t> File) {
  if (IsJpeg(File)) return JpegCutShort(File);
  if (IsPng(File)) return PngCutShort(File);
  return BmpCutShort(File);
}

}  // namespace platform
