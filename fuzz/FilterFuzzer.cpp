// libFuzzer target for the filter library's entry point. Sizes, stride and
// strength come from the input, either within the documented limits (on a buffer
// with guard bytes on both sides) or as raw integers that the documentation says
// are refused. Checked: refusals touch nothing, no byte outside a row's 3 * Width
// is written, and one thread gives the same bytes as two.
#include "ImageProcessing.h"

#include <omp.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kGuard = 64;
constexpr std::uint8_t kGuardByte = 0xa5;
constexpr long long kMaxBytes = 1 << 20;  // keeps each run fast enough to explore

void Check(bool Holds, const char* What) {
  if (Holds) return;
  std::fprintf(stderr, "broken promise: %s\n", What);
  std::abort();
}

// Reads the input front to back; zeros once it runs out.
class Input {
 public:
  Input(const std::uint8_t* Data, std::size_t Size) : data_(Data), size_(Size) {}
  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::uint32_t Word() {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= std::uint32_t{Byte()} << (8 * i);
    return value;
  }
  const std::uint8_t* Rest() const { return data_ + std::min(at_, size_); }
  std::size_t RestSize() const { return size_ - std::min(at_, size_); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// The codes the header documents for these arguments with a non-null buffer: none
// for arguments it accepts, and any of them when several are wrong, as the header
// gives no order. A picture whose own 3 * Width * Height bytes pass INT_MAX is
// too large whatever the stride, and may be refused as such.
std::vector<int> DocumentedRefusals(int Width, int Height, int Stride) {
  std::vector<int> codes;
  if (Width < 1 || Height < 1) codes.push_back(IMAGEPROCESSING_ERROR_BAD_SIZE);
  if (Stride < 3LL * Width) codes.push_back(IMAGEPROCESSING_ERROR_BAD_STRIDE);
  if (static_cast<long long>(Stride) * Height > INT_MAX ||
      (!codes.empty() && 3.0 * Width * Height > INT_MAX)) {
    codes.push_back(IMAGEPROCESSING_ERROR_TOO_LARGE);
  }
  return codes;
}

// A picture with guard bytes around it and the unused end of every row filled
// with the guard pattern too.
struct Buffer {
  Buffer(int Width, int Height, int Stride, Input& In)
      : width(Width), stride(Stride), bytes(2 * kGuard + std::size_t(Stride) * Height, kGuardByte) {
    for (int y = 0; y < Height; ++y) {
      std::uint8_t* row = Picture() + std::size_t(y) * Stride;
      for (int x = 0; x < 3 * Width; ++x) {
        const std::size_t i = std::size_t(y) * 3 * Width + x;
        row[x] = In.RestSize() ? In.Rest()[i % In.RestSize()] : static_cast<std::uint8_t>(i * 37);
      }
    }
  }
  std::uint8_t* Picture() { return bytes.data() + kGuard; }
  // True when nothing outside the pixels proper differs from the guard pattern.
  bool GuardsIntact() const {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      const bool in_picture = i >= kGuard && i < bytes.size() - kGuard &&
                              (i - kGuard) % std::size_t(stride) < std::size_t(3 * width);
      if (!in_picture && bytes[i] != kGuardByte) return false;
    }
    return true;
  }
  int width;
  int stride;
  std::vector<std::uint8_t> bytes;
};

void FuzzWithinLimits(Input& In) {
  const int width = 1 + In.Byte() % 192 + (In.Byte() % 4 == 0 ? In.Byte() * 2 : 0);
  const int height = 1 + In.Byte() % 160;
  const int stride = 3 * width + In.Byte() % 9;
  const int strength = static_cast<std::int8_t>(In.Byte());
  if (static_cast<long long>(stride) * height > kMaxBytes) return;

  Buffer one(width, height, stride, In);
  const Buffer original = one;
  Buffer two = one;
  Check(DetailEnhancementByBilaterFilter(nullptr, width, height, stride, strength) ==
            IMAGEPROCESSING_ERROR_NULL_POINTER,
        "a null picture was not refused as one");
  omp_set_num_threads(1);
  const int result = DetailEnhancementByBilaterFilter(one.Picture(), width, height, stride, strength);
  omp_set_num_threads(2);
  const int again = DetailEnhancementByBilaterFilter(two.Picture(), width, height, stride, strength);
  Check(result == again, "one and two threads returned different results");
  Check(result == IMAGEPROCESSING_OK || result == IMAGEPROCESSING_ERROR_OUT_OF_MEMORY,
        "a call within the documented limits was refused");
  Check(one.GuardsIntact(), "bytes outside the pixels were written");
  Check(result == IMAGEPROCESSING_OK || one.bytes == original.bytes, "a refusal changed the picture");
  Check(one.bytes == two.bytes, "one and two threads gave different bytes");
}

void FuzzRawArguments(Input& In) {
  const auto width = static_cast<int>(In.Word());
  const auto height = static_cast<int>(In.Word());
  const auto stride = static_cast<int>(In.Word());
  const auto strength = static_cast<int>(In.Word());
  const std::vector<int> expected = DocumentedRefusals(width, height, stride);
  // Accepted arguments need a buffer of their size; those are FuzzWithinLimits' part.
  if (expected.empty()) return;
  std::vector<std::uint8_t> buffer(2 * kGuard + 256, kGuardByte);
  const int result = DetailEnhancementByBilaterFilter(buffer.data() + kGuard, width, height,
                                                      stride, strength);
  Check(std::find(expected.begin(), expected.end(), result) != expected.end(),
        "arguments were not refused with a documented code");
  Check(std::all_of(buffer.begin(), buffer.end(), [](std::uint8_t b) { return b == kGuardByte; }),
        "a refused call touched the buffer");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  Input in(Data, Size);
  if (in.Byte() % 4 == 0) {
    FuzzRawArguments(in);
  } else {
    FuzzWithinLimits(in);
  }
  return 0;
}
