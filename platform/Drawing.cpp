// Drawing contexts, DIB sections and the copy and stretch between them.
#include "Drawing.h"
#include "Surface.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

namespace platform {

namespace {

bool IsScreen(Hdc Dc);

// The destination index range [First, Last) of an extent that starts at Origin and
// runs forward (Extent > 0) or backward (Extent < 0), clipped to [0, Size).
struct Span {
  std::int64_t First;
  std::int64_t Last;
};

Span ClippedSpan(std::int64_t Origin, std::int64_t Extent, std::int64_t Size) {
  const std::int64_t count = Extent < 0 ? -Extent : Extent;
  if (Extent > 0) return {std::max<std::int64_t>(0, -Origin), std::min(count, Size - Origin)};
  return {std::max<std::int64_t>(0, Origin - Size + 1), std::min(count, Origin + 1)};
}

// For each destination step i in the clipped span, the source index it samples
// (the pixel under the centre of the destination pixel), or -1 outside the source.
struct Step {
  int Dest;
  int Src;
};

std::vector<Step> MapAxis(std::int64_t Origin, std::int64_t Extent, std::int64_t DestSize,
                          std::int64_t SrcOrigin, std::int64_t SrcExtent, std::int64_t SrcSize) {
  std::vector<Step> steps;
  const std::int64_t count = Extent < 0 ? -Extent : Extent;
  const std::int64_t src_count = SrcExtent < 0 ? -SrcExtent : SrcExtent;
  const Span span = ClippedSpan(Origin, Extent, DestSize);
  if (span.First >= span.Last) return steps;
  steps.reserve(static_cast<std::size_t>(span.Last - span.First));
  for (std::int64_t i = span.First; i < span.Last; ++i) {
    const std::int64_t offset = ((2 * i + 1) * src_count) / (2 * count);
    const std::int64_t src = SrcExtent > 0 ? SrcOrigin + offset : SrcOrigin - offset;
    if (src < 0 || src >= SrcSize) continue;
    const std::int64_t dest = Extent > 0 ? Origin + i : Origin - i;
    steps.push_back({static_cast<int>(dest), static_cast<int>(src)});
  }
  return steps;
}

bool Drawable(Hdc Dc) { return Dc != nullptr && !IsScreen(Dc); }

// The row and column mapping shared by every stretch: WritePixel(out, offset of
// the source pixel) is called for each destination pixel that has a source.
template <typename PixelWriter>
void StretchEach(const SurfaceView& Dest, int X, int Y, int Width, int Height,
                 const SurfaceView& Src, int SrcX, int SrcY, int SrcWidth, int SrcHeight,
                 PixelWriter WritePixel) {
  if (Width == 0 || Height == 0 || SrcWidth == 0 || SrcHeight == 0) return;
  const auto columns = MapAxis(X, Width, Dest.Width, SrcX, SrcWidth, Src.Width);
  const auto rows = MapAxis(Y, Height, Dest.Height, SrcY, SrcHeight, Src.Height);
  for (const Step& row : rows) {
    std::uint8_t* out = Dest.Bits + static_cast<std::size_t>(row.Dest) * Dest.Stride;
    const std::size_t in_row = static_cast<std::size_t>(row.Src) * Src.Stride;
    for (const Step& column : columns) {
      WritePixel(out + 3 * static_cast<std::size_t>(column.Dest),
                 in_row + 3 * static_cast<std::size_t>(column.Src));
    }
  }
}

}  // namespace

void StretchPixels(const SurfaceView& Dest, int X, int Y, int Width, int Height,
                   const SurfaceView& Src, int SrcX, int SrcY, int SrcWidth, int SrcHeight) {
  // A copy within one surface reads from a snapshot so that overlapping
  // rectangles come out as if read before any write.
  std::vector<std::uint8_t> snapshot;
  const std::uint8_t* src_bits = Src.Bits;
  if (Src.Bits == Dest.Bits && Width != 0 && Height != 0) {
    snapshot.assign(Src.Bits, Src.Bits + static_cast<std::size_t>(Src.Stride) * Src.Height);
    src_bits = snapshot.data();
  }
  StretchEach(Dest, X, Y, Width, Height, Src, SrcX, SrcY, SrcWidth, SrcHeight,
              [src_bits](std::uint8_t* Out, std::size_t In) { std::memcpy(Out, src_bits + In, 3); });
}

void StretchDifferencePixels(const SurfaceView& Dest, int X, int Y, int Width, int Height,
                             const SurfaceView& After, const SurfaceView& Before, int SrcX,
                             int SrcY, int SrcWidth, int SrcHeight) {
  const std::uint8_t* after = After.Bits;
  const std::uint8_t* before = Before.Bits;
  StretchEach(Dest, X, Y, Width, Height, After, SrcX, SrcY, SrcWidth, SrcHeight,
              [after, before](std::uint8_t* Out, std::size_t In) {
                for (int c = 0; c < 3; ++c) {
                  const int change = after[In + c] - before[In + c];
                  Out[c] = static_cast<std::uint8_t>(std::clamp(128 + 8 * change, 0, 255));
                }
              });
}

std::unique_ptr<Bitmap> Bitmap::Create(int Width, int Height) noexcept {
  if (Width < 1 || Height < 1) return nullptr;
  const std::int64_t stride = StrideFor(Width);
  const std::int64_t bytes = stride * Height;
  if (stride > std::numeric_limits<std::int32_t>::max() ||
      bytes > std::numeric_limits<std::int32_t>::max()) {
    return nullptr;
  }
  auto* bits = static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(bytes), 1));
  if (bits == nullptr) return nullptr;
  auto* bitmap = new (std::nothrow) Bitmap(bits, Width, Height, static_cast<int>(stride));
  if (bitmap == nullptr) std::free(bits);
  return std::unique_ptr<Bitmap>(bitmap);
}

Bitmap::~Bitmap() { std::free(bits_); }

Bitmap& StockBitmap() {
  static const std::unique_ptr<Bitmap> stock = Bitmap::Create(1, 1);
  return *stock;
}

DeviceContext::DeviceContext() : selected_(&StockBitmap()) {}

DeviceContext::~DeviceContext() {
  if (selected_ != &StockBitmap()) selected_->selected_into_ = nullptr;
}

Bitmap* DeviceContext::Select(Bitmap& Object) {
  const bool stock = &Object == &StockBitmap();
  if (!stock && Object.selected_into_ != nullptr && Object.selected_into_ != this) return nullptr;
  Bitmap* previous = selected_;
  if (previous != &StockBitmap()) previous->selected_into_ = nullptr;
  if (!stock) Object.selected_into_ = this;
  selected_ = &Object;
  return previous;
}

namespace {

DeviceContext& Screen() {
  static DeviceContext screen;
  return screen;
}

bool IsScreen(Hdc Dc) { return Dc == &Screen(); }

}  // namespace

Hdc GetDC() { return &Screen(); }

int ReleaseDC(Hdc Dc) { return IsScreen(Dc) ? 1 : 0; }

Hdc CreateCompatibleDC(Hdc /*Dc*/) { return new (std::nothrow) DeviceContext; }

bool DeleteDC(Hdc Dc) {
  if (!Drawable(Dc)) return false;
  delete Dc;
  return true;
}

Hbitmap CreateDIBSection(Hdc /*Dc*/, const BitmapInfoHeader& Header, std::uint32_t Usage,
                         std::uint8_t** Bits) {
  if (Bits != nullptr) *Bits = nullptr;
  const bool supported = Header.Size == sizeof(BitmapInfoHeader) && Header.Planes == 1 &&
                         Header.BitCount == 24 && Header.Compression == BI_RGB &&
                         Usage == DIB_RGB_COLORS && Header.Height < 0 &&
                         Header.Height != std::numeric_limits<std::int32_t>::min();
  if (!supported) return nullptr;
  std::unique_ptr<Bitmap> bitmap = Bitmap::Create(Header.Width, -Header.Height);
  if (!bitmap) return nullptr;
  if (Bits != nullptr) *Bits = bitmap->Bits();
  return bitmap.release();
}

Hbitmap SelectObject(Hdc Dc, Hbitmap Object) {
  if (!Drawable(Dc) || Object == nullptr) return nullptr;
  return Dc->Select(*Object);
}

bool DeleteObject(Hbitmap Object) {
  if (Object == nullptr || Object == &StockBitmap() || Object->SelectedInto() != nullptr) {
    return false;
  }
  delete Object;
  return true;
}

bool BitBlt(Hdc Dest, int X, int Y, int Width, int Height, Hdc Src, int SrcX, int SrcY,
            std::uint32_t Rop) {
  return StretchBlt(Dest, X, Y, Width, Height, Src, SrcX, SrcY, Width, Height, Rop);
}

bool StretchBlt(Hdc Dest, int X, int Y, int Width, int Height, Hdc Src, int SrcX, int SrcY,
                int SrcWidth, int SrcHeight, std::uint32_t Rop) {
  if (!Drawable(Dest) || !Drawable(Src) || Rop != SRCCOPY) return false;
  StretchPixels(Dest->View(), X, Y, Width, Height, Src->View(), SrcX, SrcY, SrcWidth, SrcHeight);
  return true;
}

bool StretchDifference(Hdc Dest, int X, int Y, int Width, int Height, Hdc After, Hdc Before,
                       int SrcX, int SrcY, int SrcWidth, int SrcHeight) {
  if (!Drawable(Dest) || !Drawable(After) || !Drawable(Before)) return false;
  const SurfaceView after = After->View();
  const SurfaceView before = Before->View();
  if (after.Width != before.Width || after.Height != before.Height ||
      after.Stride != before.Stride) {
    return false;
  }
  StretchDifferencePixels(Dest->View(), X, Y, Width, Height, after, before, SrcX, SrcY, SrcWidth,
                          SrcHeight);
  return true;
}

int SetStretchBltMode(Hdc Dc, int Mode) {
  if (!Drawable(Dc) || Mode < BLACKONWHITE || Mode > COLORONCOLOR) return 0;
  const int previous = Dc->StretchMode();
  Dc->SetStretchMode(Mode);
  return previous;
}

int GetStretchBltMode(Hdc Dc) { return Drawable(Dc) ? Dc->StretchMode() : 0; }

}  // namespace platform
