// The picture object and the Qt-backed loader and saver behind Picture.h: HIMETRIC
// sizes, rendering through the drawing layer's stretch, decoding with
// QImageReader into the 24-bit layout, and writing 24-bit BMP files.
#include "Picture.h"

#include "BmpHeader.h"
#include "CutShort.h"
#include "DataFloor.h"
#include "Errors.h"
#include "Files.h"
#include "Screen.h"
#include "Surface.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QString>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <optional>
#include <span>
#include <utility>

namespace platform {

namespace {

constexpr double kHimetricPerInch = 2540.0;
constexpr double kTwipsPerInch = 1440.0;

// Beyond this a header is taken to be hostile or broken rather than a photo:
// 250 megapixels is well above any camera, and far below what would exhaust memory
// on the machines the program runs on.
constexpr std::int64_t kMaxPixels = 250'000'000;

// Qt refuses to allocate decoded images above a process-wide limit (128 MB in Qt
// 6.4, 32 megapixels at 32 bits). Every picture that passes kMaxPixels has to get
// through, in the widest format Qt decodes into (64-bit RGBA for 16-bit PNG).
constexpr int kAllocationLimitMb = static_cast<int>((kMaxPixels * 8) / (1024 * 1024) + 1);

// The decoders, as Qt names them, of the formats the program opens. Qt's plugins
// read more (GIF, ICO, PPM, XPM, SVG ...), which nothing in the program offers, and
// some let a few bytes claim any size: a short SVG renders to as many pixels as
// its header asks for.
const std::array<std::string, 3> kDecoders = {"bmp", "jpeg", "png"};

std::string Utf8(const QString& Text) { return Text.toStdString(); }

// Nearest integer to Numerator / Denominator (Denominator > 0), halves rounding up;
// exact in integers, where a double would blur the largest int32 products.
std::int64_t DivideRounded(std::int64_t Numerator, std::int64_t Denominator) {
  const std::int64_t twice = 2 * Numerator + Denominator;
  const std::int64_t divisor = 2 * Denominator;
  std::int64_t quotient = twice / divisor;
  if (twice % divisor != 0 && twice < 0) --quotient;
  return quotient;
}

// A HIMETRIC coordinate along an axis of Extent units mapped onto Pixels pixels.
int ToPixels(std::int64_t Himetric, std::int64_t Extent, std::int64_t Pixels) {
  const std::int64_t pixels = DivideRounded(Himetric * Pixels, Extent);
  if (pixels < std::numeric_limits<int>::min() || pixels > std::numeric_limits<int>::max()) {
    throw PlatformError("Picture::Render: source rectangle lies too far outside the picture");
  }
  return static_cast<int>(pixels);
}

// A source range in the stretch's terms: the first pixel it samples and a signed
// count. Between edges From and To that is From when running forward, but the
// pixel just before From when running backward, as the stretch counts a backward
// extent from the pixel it starts on.
struct Span {
  int Origin;
  int Extent;
};

Span SourceSpan(int From, int To) {
  const std::int64_t extent = std::int64_t{To} - From;
  const std::int64_t origin = extent < 0 ? std::int64_t{From} - 1 : From;
  if (extent < std::numeric_limits<int>::min() || extent > std::numeric_limits<int>::max() ||
      origin < std::numeric_limits<int>::min()) {
    throw PlatformError("Picture::Render: source rectangle is too large");
  }
  return {static_cast<int>(origin), static_cast<int>(extent)};
}

std::int32_t CheckedHimetric(int Pixels, float TwipsPerPixel, const char* Axis) {
  if (Pixels < 0) {
    throw PlatformError(std::string("Picture: negative pixel ") + Axis + " " +
                        std::to_string(Pixels));
  }
  if (!(TwipsPerPixel > 0.0f) || !std::isfinite(TwipsPerPixel)) {
    throw PlatformError(std::string("Picture: screen metric for the ") + Axis +
                        " must be a positive number of twips per pixel");
  }
  return PixelsToHimetric(Pixels, TwipsPerPixel);
}

// Over white: (c * a + 255 * (255 - a)) / 255 rounded; exact c for opaque pixels.
std::uint8_t OverWhite(int Channel, int Alpha) {
  return static_cast<std::uint8_t>((Channel * Alpha + 255 * (255 - Alpha) + 127) / 255);
}

// Pixels at the given metric in HIMETRIC units, halves away from zero as the
// classic MulDiv that this conversion replaces; none when it leaves 32 bits.
std::optional<std::int32_t> HimetricExtent(std::int64_t Pixels, float TwipsPerPixel) {
  const double himetric =
      std::round(static_cast<double>(Pixels) * static_cast<double>(TwipsPerPixel) *
                     kHimetricPerInch / kTwipsPerInch);
  if (!(himetric >= std::numeric_limits<std::int32_t>::min() &&
        himetric <= std::numeric_limits<std::int32_t>::max())) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(himetric);
}

// Why the header's claimed size is refused, or empty when it is acceptable.
std::string SizeProblem(std::int64_t Width, std::int64_t Height) {
  const std::string size = std::to_string(Width) + " x " + std::to_string(Height);
  if (Width * Height > kMaxPixels) {
    return "the picture claims " + size + " pixels, more than the " +
           std::to_string(kMaxPixels / 1'000'000) + " megapixels this program opens";
  }
  if (StrideFor(Width) * Height > std::numeric_limits<std::int32_t>::max()) {
    return "the picture claims " + size + " pixels, too large for a 24-bit bitmap";
  }
  // The picture's extent is kept in 32-bit HIMETRIC units: about 81 million
  // pixels at 96 dpi.
  if (!HimetricExtent(Width, TwipsPerPixelX()) || !HimetricExtent(Height, TwipsPerPixelY())) {
    return "the picture claims " + size + " pixels, wider or taller than a picture can be measured";
  }
  return {};
}

// Qt 6.4's BMP handler widens a colour channel of n < 8 bits by shifting it left,
// so 5-bit white comes out as 248, not 255 (newer Qt replicates the bits, which is
// off by one in places). Either way the top n bits of what it returns are the
// stored value, so the channel is widened again here from those bits, as
// round(v * 255 / (2^n - 1)); a decoder that already does this is left unchanged.
// Channels wider than 8 bits are left alone: Qt 6.4 has already lost them.
void WidenNarrowChannels(QImage& Image, const ChannelBits& Bits) {
  auto table = [](int Width) {
    std::array<std::uint8_t, 256> lut{};
    for (int value = 0; value < 256; ++value) {
      if (Width < 1 || Width >= 8) {
        lut[value] = static_cast<std::uint8_t>(value);
      } else {
        const int stored = value >> (8 - Width);
        const int max = (1 << Width) - 1;
        lut[value] = static_cast<std::uint8_t>((2 * stored * 255 + max) / (2 * max));
      }
    }
    return lut;
  };
  auto narrow = [](int Width) { return Width >= 1 && Width < 8; };
  const bool alpha = Image.format() == QImage::Format_ARGB32 && narrow(Bits.Alpha);
  if (!narrow(Bits.Red) && !narrow(Bits.Green) && !narrow(Bits.Blue) && !alpha) return;
  const auto red = table(Bits.Red);
  const auto green = table(Bits.Green);
  const auto blue = table(Bits.Blue);
  const auto alphas = table(alpha ? Bits.Alpha : 8);
  for (int y = 0; y < Image.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(Image.scanLine(y));
    for (int x = 0; x < Image.width(); ++x) {
      const QRgb p = line[x];
      line[x] = qRgba(red[qRed(p)], green[qGreen(p)], blue[qBlue(p)], alphas[qAlpha(p)]);
    }
  }
}

[[noreturn]] void FailLoad(const std::string& Path, const std::string& Reason,
                           FileProblem Problem = FileProblem::NotAPicture) {
  throw PictureLoadError("Cannot open picture " + Quoted(Path) + ": " + Reason, Problem);
}

[[noreturn]] void FailSave(const std::string& Path, const std::string& Reason,
                           FileProblem Problem) {
  throw PictureSaveError("Cannot save picture " + Quoted(Path) + ": " + Reason, Problem);
}

bool IsIndexed(QImage::Format Format) {
  return Format == QImage::Format_Mono || Format == QImage::Format_MonoLSB ||
         Format == QImage::Format_Indexed8;
}

// Qt's BMP handler returns success for a file cut short and leaves the rows it never
// reached as the allocator left them. Its handlers decode into the image handed to
// them when size and format already match, so the image is allocated here first and
// filled: white for direct colours, palette entry 0 for indexed ones (an index past
// a short palette would be as arbitrary). What a decoder does not write is then
// defined, and the same on every load.
QImage Decode(QImageReader& Reader, const QByteArray& Decoder, const std::string& Path) {
  QImage image;
  // Qt's BMP handler reports a top-down file's height as it is stored: negative.
  // Its JPEG handler reports -1 x -1 when the header did not parse, and has then
  // left its pixel format unset: the format is asked for only after a real width.
  const QSize stored = Reader.size();
  if (stored.width() > 0 && stored.height() != 0 &&
      stored.height() != std::numeric_limits<int>::min()) {
    const QSize size(stored.width(), std::abs(stored.height()));
    const QImage::Format format = Reader.imageFormat();
    if (format != QImage::Format_Invalid) {
      image = QImage(size, format);
      if (image.isNull()) FailLoad(Path, "not enough memory to decode it", FileProblem::TooLarge);
      std::memset(image.bits(), IsIndexed(format) ? 0x00 : 0xff,
                  static_cast<std::size_t>(image.sizeInBytes()));
    }
  }
  if (!Reader.read(&image)) {
    // Qt's own text ("Unable to read image data") does not say which decoder gave up.
    FailLoad(Path, Utf8(Reader.errorString()) +
                       (Decoder.isEmpty() ? "" : " (" + Decoder.toStdString() + " decoder)"));
  }
  if (image.isNull()) FailLoad(Path, "the decoder produced no image");
  return image;
}


// Enough of a BMP file's start for every field the loader reads from its headers.
constexpr std::size_t kBmpHeadBytes = 70;

template <typename Reader>
std::vector<std::uint8_t> ReadOrFail(const std::string& Path, Reader Read) {
  try {
    return Read();
  } catch (const FileError& e) {
    FailLoad(Path, e.Reason(), e.Problem());
  }
}

// Qt's BMP handler turns down headers above its own pixel limit before it reports
// any size, with nothing better than "Unable to read image data", so for BMP the
// size check does not wait for the handler. Nor does the refusal of a compression
// that the handler would take for another and decode as pixels the file lacks.
void CheckBmpHead(const std::vector<std::uint8_t>& Head, const std::string& Path) {
  const std::optional<BmpHeader> header = ReadBmpHeader(Head);
  if (!header) return;
  const std::string problem = SizeProblem(header->Width, header->Height);
  if (!problem.empty()) FailLoad(Path, problem, FileProblem::TooLarge);
  if (HasOs2OnlyCompression(*header)) {
    FailLoad(Path, "it is an OS/2 BMP compressed with compression " +
                       std::to_string(header->Compression) +
                       " (Huffman coding or RLE24), which no decoder here reads");
  }
}

// A file cut short still opens, showing what it holds; but one holding less than a
// hundredth of the rows it claims is mostly a header, and decoding it would take
// memory out of all proportion to the file. Run-length code may end the bitmap
// early by its own mark, which leaves the rest blank; code that runs out before
// that mark is cut short like uncompressed rows.
void CheckBmpLength(const std::vector<std::uint8_t>& File, const std::string& Path) {
  const std::optional<BmpHeader> header = ReadBmpHeader(File);
  if (!header) return;
  const std::uint64_t pixels = static_cast<std::uint64_t>(header->Width) * header->Height;
  if (const std::optional<RleReach> reach = ReachOfRle(File, *header)) {
    if (reach->Ended || reach->Pixels * 100 >= pixels) return;
    FailLoad(Path,
             "its run-length code ends without its end mark after " +
                 std::to_string(reach->Pixels) + " of its " + std::to_string(header->Width) +
                 " x " + std::to_string(header->Height) + " pixels",
             FileProblem::Other);
  }
  const std::optional<std::uint64_t> rows = UncompressedPixelBytes(*header);
  if (!rows) return;
  const std::uint64_t present = File.size() > header->PixelOffset ? File.size() - header->PixelOffset : 0;
  if (present * 100 < *rows) {
    FailLoad(Path,
             "the file holds " + std::to_string(present) + " bytes of pixels where its " +
                 std::to_string(header->Width) + " x " + std::to_string(header->Height) +
                 " pixels need " + std::to_string(*rows),
             FileProblem::Other);
  }
}

// A file far too short for its picture is refused before the decoder makes up
// the rest at the full size's cost.
void CheckDataFloor(const std::vector<std::uint8_t>& File, const std::string& Path) {
  const std::optional<DataFloor> floor = DataFloorOf(File);
  if (!floor || floor->Held >= floor->Least) return;
  FailLoad(Path,
           "the file holds " + std::to_string(floor->Held) + " bytes of " + floor->Format +
               " data where its " + std::to_string(floor->Width) + " x " +
               std::to_string(floor->Height) + " pixels need at least " +
               std::to_string(floor->Least),
           FileProblem::Other);
}

// The decoded picture in 32-bit (A)RGB, with BMP channels widened to the full range.
QImage DecodeFile(const std::vector<std::uint8_t>& File, const std::string& Path) {
  const QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(File.data()),
                                                  static_cast<qsizetype>(File.size()));
  QBuffer buffer;
  buffer.setData(data);
  if (!buffer.open(QIODevice::ReadOnly)) FailLoad(Path, Utf8(buffer.errorString()));

  static std::once_flag limit_raised;
  std::call_once(limit_raised, [] { QImageReader::setAllocationLimit(kAllocationLimitMb); });
  QImageReader reader(&buffer);
  // The suffix is only a hint: a PNG saved as .jpg is still a PNG.
  reader.setDecideFormatFromContent(true);
  reader.setAutoTransform(true);
  if (!reader.canRead()) FailLoad(Path, Utf8(reader.errorString()));
  // Asked before reading: once the handler has read, the reader no longer says.
  const QByteArray decoder = reader.format();
  if (std::find(kDecoders.begin(), kDecoders.end(), decoder.toStdString()) == kDecoders.end()) {
    FailLoad(Path, "it is a picture in " + decoder.toUpper().toStdString() +
                       " format, and only BMP, JPEG and PNG pictures are opened");
  }

  const QSize claimed = reader.size();
  if (claimed.isValid()) {
    const std::string problem = SizeProblem(claimed.width(), claimed.height());
    if (!problem.empty()) FailLoad(Path, problem, FileProblem::TooLarge);
  }

  QImage image = Decode(reader, decoder, Path);
  const std::string problem = SizeProblem(image.width(), image.height());
  if (!problem.empty()) FailLoad(Path, problem, FileProblem::TooLarge);

  if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32) {
    image.convertTo(QImage::Format_ARGB32);
    if (image.isNull()) FailLoad(Path, "not enough memory to convert it", FileProblem::TooLarge);
  }
  if (decoder == "bmp") WidenNarrowChannels(image, BmpChannelBits(File));
  return image;
}

constexpr std::size_t kBmpHeaderBytes = 54;

// The file and info headers of an uncompressed bottom-up 24-bit BMP, marked with
// the screen's resolution.
std::array<std::uint8_t, kBmpHeaderBytes> Bmp24Header(int Width, int Height,
                                                      std::uint64_t PixelBytes) {
  std::array<std::uint8_t, kBmpHeaderBytes> header{'B', 'M'};
  auto put = [&header](std::size_t At, std::uint32_t Value, int Bytes) {
    for (int i = 0; i < Bytes; ++i) header[At + i] = static_cast<std::uint8_t>(Value >> (8 * i));
  };
  auto per_metre = [](float TwipsPerPixel) {
    return static_cast<std::uint32_t>(std::lround(kTwipsPerInch / TwipsPerPixel / 0.0254));
  };
  put(2, static_cast<std::uint32_t>(kBmpHeaderBytes + PixelBytes), 4);
  put(10, kBmpHeaderBytes, 4);
  put(14, 40, 4);  // BITMAPINFOHEADER
  put(18, static_cast<std::uint32_t>(Width), 4);
  put(22, static_cast<std::uint32_t>(Height), 4);
  put(26, 1, 2);   // planes
  put(28, 24, 2);  // bits per pixel
  put(34, static_cast<std::uint32_t>(PixelBytes), 4);
  put(38, per_metre(TwipsPerPixelX()), 4);
  put(42, per_metre(TwipsPerPixelY()), 4);
  return header;
}

}  // namespace

std::int32_t PixelsToHimetric(std::int64_t Pixels, float TwipsPerPixel) {
  const std::optional<std::int32_t> himetric = HimetricExtent(Pixels, TwipsPerPixel);
  if (!himetric) {
    throw PlatformError("a picture extent of " + std::to_string(Pixels) +
                        " pixels does not fit 32-bit HIMETRIC units");
  }
  return *himetric;
}

Picture::Picture(std::vector<std::uint8_t> Pixels, int PixelWidth, int PixelHeight,
                 float TwipsPerPixelX, float TwipsPerPixelY, bool CutShort)
    : pixels_(std::move(Pixels)),
      pixel_width_(PixelWidth),
      pixel_height_(PixelHeight),
      himetric_width_(CheckedHimetric(PixelWidth, TwipsPerPixelX, "width")),
      himetric_height_(CheckedHimetric(PixelHeight, TwipsPerPixelY, "height")),
      cut_short_(CutShort) {
  const auto expected = static_cast<std::uint64_t>(StrideFor(PixelWidth)) *
                        static_cast<std::uint64_t>(PixelHeight);
  if (pixels_.size() != expected) {
    throw PlatformError("Picture: " + std::to_string(pixels_.size()) + " bytes of pixels for " +
                        std::to_string(PixelWidth) + " x " + std::to_string(PixelHeight) +
                        ", which needs " + std::to_string(expected));
  }
}

void Picture::Render(Hdc Dc, int X, int Y, int Cx, int Cy, int XSrc, int YSrc, int CxSrc,
                     int CySrc, const void* Bounds) const {
  if (Bounds != nullptr) {
    throw PlatformError("Picture::Render: bounds are for metafiles; a bitmap takes none");
  }
  if (Dc == nullptr) throw PlatformError("Picture::Render: no drawing context");
  // The screen's context has no pixels of its own; drawing "into" it would land in
  // the stock bitmap that every fresh memory context shares.
  if (Dc == GetDC()) {
    throw PlatformError("Picture::Render: cannot draw into the screen's context");
  }
  if (pixels_.empty() || himetric_width_ == 0 || himetric_height_ == 0) return;

  // HIMETRIC y runs up from the bottom edge, pixel rows down from the top, so a
  // source y becomes the row edge (Height - y) and a downward extent a positive one.
  const Span columns = SourceSpan(ToPixels(XSrc, himetric_width_, pixel_width_),
                                  ToPixels(std::int64_t{XSrc} + CxSrc, himetric_width_,
                                           pixel_width_));
  const Span rows = SourceSpan(
      ToPixels(std::int64_t{himetric_height_} - YSrc, himetric_height_, pixel_height_),
      ToPixels(std::int64_t{himetric_height_} - YSrc - CySrc, himetric_height_, pixel_height_));

  // The stretch only reads; the view is non-const because it is shared with writers.
  const SurfaceView source{const_cast<std::uint8_t*>(pixels_.data()), pixel_width_,
                           pixel_height_, static_cast<int>(StrideFor(pixel_width_))};
  StretchPixels(Dc->View(), X, Y, Cx, Cy, source, columns.Origin, rows.Origin, columns.Extent,
                rows.Extent);
}

std::unique_ptr<Picture> LoadPicture(const std::string& Path) {
  const std::vector<std::uint8_t> head =
      ReadOrFail(Path, [&Path] { return ReadFileStart(Path, kBmpHeadBytes); });
  if (head.empty()) FailLoad(Path, "the file is empty", FileProblem::Empty);
  CheckBmpHead(head, Path);
  std::vector<std::uint8_t> file = ReadOrFail(Path, [&Path] { return ReadWholeFile(Path); });
  CheckBmpLength(file, Path);
  CheckDataFloor(file, Path);
  const bool cut_short = IsCutShort(file);
  QImage image = DecodeFile(file, Path);
  // The file's bytes are not needed any more; the pixels below may be as large.
  std::vector<std::uint8_t>().swap(file);

  const int width = image.width();
  const int height = image.height();
  const auto stride = static_cast<std::size_t>(StrideFor(width));
  std::vector<std::uint8_t> pixels;
  try {
    pixels.assign(stride * static_cast<std::size_t>(height), 0);
  } catch (const std::bad_alloc&) {
    FailLoad(Path,
             "not enough memory for " + std::to_string(width) + " x " + std::to_string(height) +
                 " pixels",
             FileProblem::TooLarge);
  }
  const bool opaque = image.format() == QImage::Format_RGB32;
  for (int y = 0; y < height; ++y) {
    const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    std::uint8_t* out = pixels.data() + stride * static_cast<std::size_t>(y);
    for (int x = 0; x < width; ++x, out += 3) {
      const QRgb pixel = in[x];
      const int alpha = opaque ? 255 : qAlpha(pixel);
      out[0] = OverWhite(qBlue(pixel), alpha);
      out[1] = OverWhite(qGreen(pixel), alpha);
      out[2] = OverWhite(qRed(pixel), alpha);
    }
  }
  return std::make_unique<Picture>(std::move(pixels), width, height, TwipsPerPixelX(),
                                   TwipsPerPixelY(), cut_short);
}

void SavePicture(const Picture& Picture, const std::string& Path) {
  if (Picture.PixelWidth() == 0 || Picture.PixelHeight() == 0) {
    FailSave(Path, "the picture has no pixels", FileProblem::Other);
  }
  const std::uint64_t stride = StrideFor(Picture.PixelWidth());
  const std::uint64_t pixel_bytes = stride * static_cast<std::uint64_t>(Picture.PixelHeight());
  if (kBmpHeaderBytes + pixel_bytes > std::numeric_limits<std::uint32_t>::max()) {
    FailSave(Path, "the picture is too large for a BMP file", FileProblem::TooLarge);
  }
  const std::array<std::uint8_t, kBmpHeaderBytes> header =
      Bmp24Header(Picture.PixelWidth(), Picture.PixelHeight(), pixel_bytes);
  // The drawing layer's rows are already BMP rows (BGR, padded to four bytes); BMP
  // stores them bottom-up.
  std::vector<std::span<const std::uint8_t>> pieces{header};
  const std::span<const std::uint8_t> pixels(Picture.Pixels());
  for (int y = Picture.PixelHeight() - 1; y >= 0; --y) {
    pieces.push_back(pixels.subspan(static_cast<std::size_t>(y) * stride, stride));
  }
  try {
    ReplaceFile(Path, pieces);
  } catch (const FileError& e) {
    FailSave(Path, e.Reason(), e.Problem());
  }
}

}  // namespace platform
