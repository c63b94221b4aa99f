// The drawing layer: drawing contexts, 24-bit device-independent bitmaps and the
// copy and stretch operations between them.
//
// Every surface here is 24 bits per pixel, bytes blue, green, red, rows top-down,
// each row Stride = 3 * Width rounded up to a multiple of 4. A bitmap's pixel
// memory is at once the bytes a caller addresses and what the contexts draw from
// and into, so nothing is ever copied between "pixels" and "drawing".
//
// Handles are typed pointers to objects that the layer owns; the functions keep
// the meaning of the classic GDI calls of the same names.
#pragma once

#include <cstdint>

namespace platform {

class DeviceContext;
class Bitmap;

using Hdc = DeviceContext*;
using Hbitmap = Bitmap*;

inline constexpr std::uint32_t SRCCOPY = 0x00CC0020;

inline constexpr int BLACKONWHITE = 1;
inline constexpr int WHITEONBLACK = 2;
inline constexpr int COLORONCOLOR = 3;

inline constexpr std::uint32_t BI_RGB = 0;
inline constexpr std::uint32_t DIB_RGB_COLORS = 0;

struct BitmapInfoHeader {
  std::uint32_t Size = 40;
  std::int32_t Width = 0;
  std::int32_t Height = 0;  // negative: rows top-down
  std::uint16_t Planes = 1;
  std::uint16_t BitCount = 24;
  std::uint32_t Compression = BI_RGB;
  std::uint32_t SizeImage = 0;
  std::int32_t XPelsPerMeter = 0;
  std::int32_t YPelsPerMeter = 0;
  std::uint32_t ClrUsed = 0;
  std::uint32_t ClrImportant = 0;
};

// Bytes per row of a 24-bit surface: 3 * Width raised to the next multiple of 4.
constexpr std::int64_t StrideFor(std::int64_t Width) { return (3 * Width + 3) & ~std::int64_t{3}; }

// The screen's context, the one that memory contexts are made compatible with.
Hdc GetDC();
int ReleaseDC(Hdc Dc);

// A memory context starts with a 1 x 1 stock bitmap selected, as on the classic platform.
Hdc CreateCompatibleDC(Hdc Dc);
bool DeleteDC(Hdc Dc);

// Makes a top-down 24-bit bitmap (Header.Height < 0) and writes the address of its
// zero-filled pixel memory to *Bits. Returns nullptr and sets *Bits to nullptr when
// the header asks for anything else, when Stride x Height does not fit a signed
// 32-bit number, or when the memory cannot be had. Never throws.
Hbitmap CreateDIBSection(Hdc Dc, const BitmapInfoHeader& Header, std::uint32_t Usage,
                         std::uint8_t** Bits);

// Selects a bitmap into a memory context and returns the one it replaces; nullptr
// when the context or bitmap is invalid or the bitmap is already selected elsewhere.
Hbitmap SelectObject(Hdc Dc, Hbitmap Object);

// Frees a bitmap and its pixel memory. Refused (false) while the bitmap is selected
// into a context, and for the stock bitmap.
bool DeleteObject(Hbitmap Object);

// Copies a W x H block. Clipped to both surfaces: destination pixels whose source
// lies outside the source surface are left as they are. Only SRCCOPY is supported.
bool BitBlt(Hdc Dest, int X, int Y, int Width, int Height, Hdc Src, int SrcX, int SrcY,
            std::uint32_t Rop);

// Stretches a source rectangle onto a destination rectangle, dropping or repeating
// rows and columns, never blending. An extent of the opposite sign to its partner
// mirrors: a negative destination width puts the first source column at X and the
// following ones at X - 1, X - 2, ... (likewise for heights). Clipped as BitBlt.
bool StretchBlt(Hdc Dest, int X, int Y, int Width, int Height, Hdc Src, int SrcX, int SrcY,
                int SrcWidth, int SrcHeight, std::uint32_t Rop);

// Stretches like StretchBlt, but writes per channel 128 + 8 x (After - Before),
// clamped to 0..255: mid-grey where two pictures agree, lighter or darker where
// the After picture is brighter or darker. After and Before must have one size;
// false otherwise.
bool StretchDifference(Hdc Dest, int X, int Y, int Width, int Height, Hdc After, Hdc Before,
                       int SrcX, int SrcY, int SrcWidth, int SrcHeight);

// Returns the previous mode, or 0 for an invalid context or mode. The stretch
// itself always drops or repeats whole pixels; the mode is kept for callers that ask.
int SetStretchBltMode(Hdc Dc, int Mode);
int GetStretchBltMode(Hdc Dc);

}  // namespace platform
