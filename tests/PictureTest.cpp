// The picture object and its files: HIMETRIC sizes, rendering into drawing
// contexts, decoding real BMP, JPEG and PNG files (good, bad, cut short, rotated,
// transparent, huge) and writing 24-bit BMP files.
#include "platform/BmpHeader.h"
#include "platform/Drawing.h"
#include "platform/Errors.h"
#include "platform/Picture.h"

#include "TestSurfaces.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using platform::Picture;
using platform::PictureLoadError;
using platform::PictureSaveError;
using platform::PlatformError;
using Bytes = std::vector<std::uint8_t>;

const fs::path kData = MORVANE_TESTDATA;
const fs::path kShared = MORVANE_SHARED_TESTDATA;

// ---------------------------------------------------------------------------
// Helpers

Bytes ReadFile(const fs::path& Path) {
  std::ifstream in(Path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& Path, const Bytes& Data) {
  std::ofstream out(Path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(Data.data()), static_cast<std::streamsize>(Data.size()));
  ASSERT_TRUE(out.good()) << Path;
}

Bytes ToBytes(const QByteArray& Data) { return Bytes(Data.begin(), Data.end()); }

std::size_t Stride(int Width) { return static_cast<std::size_t>(platform::StrideFor(Width)); }

// The three bytes (blue, green, red) of a pixel in the 24-bit layout.
struct Bgr {
  int B, G, R;
};

Bgr PixelAt(const Picture& P, int X, int Y) {
  const std::uint8_t* p = P.Pixels().data() + Stride(P.PixelWidth()) * Y + 3 * X;
  return {p[0], p[1], p[2]};
}

bool Near(Bgr Actual, Bgr Expected, int Tolerance) {
  return std::abs(Actual.B - Expected.B) <= Tolerance &&
         std::abs(Actual.G - Expected.G) <= Tolerance &&
         std::abs(Actual.R - Expected.R) <= Tolerance;
}

std::string Describe(Bgr P) {
  return "(b " + std::to_string(P.B) + ", g " + std::to_string(P.G) + ", r " +
         std::to_string(P.R) + ")";
}

// The 24-bit layout of an opaque QImage: what a correct load of it holds.
Bytes LayoutOf(const QImage& Source) {
  const QImage image = Source.convertToFormat(QImage::Format_RGB32);
  const std::size_t stride = Stride(image.width());
  Bytes out(stride * image.height(), 0);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      std::uint8_t* o = &out[stride * y + 3 * x];
      o[0] = static_cast<std::uint8_t>(qBlue(p));
      o[1] = static_cast<std::uint8_t>(qGreen(p));
      o[2] = static_cast<std::uint8_t>(qRed(p));
    }
  return out;
}

using morvane_test::CoordinatePicture;

// A surface read back as pixels.
class Dib : public morvane_test::MemorySurface {
 public:
  using MemorySurface::MemorySurface;
  Bgr At(int X, int Y) const {
    const std::uint8_t* p = Pixel(X, Y);
    return {p[0], p[1], p[2]};
  }
};

// What a program sees of a picture: the standard whole-picture render into a DIB of
// its pixel size.
Bytes Rendered(const Picture& P) {
  Dib dib(P.PixelWidth(), P.PixelHeight(), 0x5a);
  EXPECT_TRUE(dib.Valid());
  if (!dib.Valid()) return {};
  P.Render(dib.Dc(), 0, 0, P.PixelWidth(), P.PixelHeight(), 0, P.Height(), P.Width(),
           -P.Height(), nullptr);
  return dib.Contents();
}

// The first pixel where two same-sized 24-bit layouts differ, for failure messages.
std::string FirstDifference(const Bytes& Actual, const Bytes& Expected, int Width) {
  if (Actual.size() != Expected.size()) {
    return "sizes differ: " + std::to_string(Actual.size()) + " vs " +
           std::to_string(Expected.size());
  }
  const std::size_t stride = Stride(Width);
  std::size_t count = 0;
  std::string first;
  for (std::size_t i = 0; i < Actual.size(); ++i) {
    if (Actual[i] == Expected[i]) continue;
    if (count++ == 0) {
      const std::size_t y = i / stride;
      const std::size_t x = (i % stride) / 3;
      first = "first at (" + std::to_string(x) + ", " + std::to_string(y) + ") byte " +
              std::to_string(i % stride % 3) + ": " + std::to_string(Actual[i]) + " vs " +
              std::to_string(Expected[i]);
    }
  }
  return count == 0 ? "equal" : std::to_string(count) + " bytes differ, " + first;
}

// Byte-equal 24-bit layouts, with the first difference in the failure message.
::testing::AssertionResult SameLayout(const Bytes& Actual, const Bytes& Expected, int Width) {
  if (Actual == Expected) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << FirstDifference(Actual, Expected, Width);
}

void PutLe16(Bytes& B, std::size_t At, std::uint16_t V) {
  B[At] = static_cast<std::uint8_t>(V);
  B[At + 1] = static_cast<std::uint8_t>(V >> 8);
}
void PutLe32(Bytes& B, std::size_t At, std::uint32_t V) {
  for (int i = 0; i < 4; ++i) B[At + i] = static_cast<std::uint8_t>(V >> (8 * i));
}
std::uint32_t GetLe32(const Bytes& B, std::size_t At) {
  return B[At] | (B[At + 1] << 8) | (B[At + 2] << 16) | (std::uint32_t{B[At + 3]} << 24);
}
std::uint16_t GetLe16(const Bytes& B, std::size_t At) {
  return static_cast<std::uint16_t>(B[At] | (B[At + 1] << 8));
}

// File and info header of an uncompressed bottom-up 24-bit BMP, written by hand so
// that the tests do not depend on the writer they check.
Bytes BmpHeader(std::int32_t Width, std::int32_t Height) {
  Bytes h(54, 0);
  const std::uint64_t image_size = static_cast<std::uint64_t>(platform::StrideFor(Width)) *
                                   static_cast<std::uint64_t>(Height < 0 ? -Height : Height);
  h[0] = 'B';
  h[1] = 'M';
  PutLe32(h, 2, static_cast<std::uint32_t>(std::min<std::uint64_t>(54 + image_size, 0xffffffffu)));
  PutLe32(h, 10, 54);
  PutLe32(h, 14, 40);
  PutLe32(h, 18, static_cast<std::uint32_t>(Width));
  PutLe32(h, 22, static_cast<std::uint32_t>(Height));
  PutLe16(h, 26, 1);
  PutLe16(h, 28, 24);
  PutLe32(h, 34, static_cast<std::uint32_t>(std::min<std::uint64_t>(image_size, 0xffffffffu)));
  PutLe32(h, 38, 2835);
  PutLe32(h, 42, 2835);
  return h;
}

std::vector<std::string> BmpsIn(const std::string& Folder) {
  std::vector<std::string> names;
  const fs::path dir = kData / "bmpsuite" / Folder;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec))
    if (entry.path().extension() == ".bmp") names.push_back(entry.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string TestNameOf(const ::testing::TestParamInfo<std::string>& Info) {
  std::string name = Info.param;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

// Loads a file; either it fails with PictureLoadError naming the path, or it
// gives a consistent picture. Any other exception fails the calling test.
std::unique_ptr<Picture> LoadOrRefuse(const fs::path& Path) {
  try {
    auto picture = platform::LoadPicture(Path.string());
    EXPECT_NE(picture, nullptr);
    if (picture) {
      EXPECT_GT(picture->PixelWidth(), 0);
      EXPECT_GT(picture->PixelHeight(), 0);
      EXPECT_EQ(picture->Pixels().size(), Stride(picture->PixelWidth()) * picture->PixelHeight());
    }
    return picture;
  } catch (const PictureLoadError& e) {
    EXPECT_NE(std::string(e.what()).find(Path.string()), std::string::npos) << e.what();
    return nullptr;
  }
}

// ---------------------------------------------------------------------------
// HIMETRIC sizes

// How the image class turns HIMETRIC back into pixels: the oracle for the round trip.
int BackToPixels(std::int32_t Himetric, float TwipsPerPixel) {
  return static_cast<int>(
      std::nearbyint(static_cast<double>(std::int64_t{Himetric} * 1440) / 2540.0 / TwipsPerPixel));
}

TEST(PixelsToHimetric, ConvertsAtTheScreenMetricToTheNearestUnit) {
  EXPECT_EQ(platform::PixelsToHimetric(640, 15.0f), 16933);  // 16933.33
  EXPECT_EQ(platform::PixelsToHimetric(480, 15.0f), 12700);
  EXPECT_EQ(platform::PixelsToHimetric(1, 15.0f), 26);   // 26.46
  EXPECT_EQ(platform::PixelsToHimetric(1, 10.0f), 18);   // 17.64
  EXPECT_EQ(platform::PixelsToHimetric(0, 15.0f), 0);
  // 36 twips a pixel is 63.5 HIMETRIC: halves go away from zero.
  EXPECT_EQ(platform::PixelsToHimetric(1, 36.0f), 64);
  EXPECT_EQ(platform::PixelsToHimetric(3, 36.0f), 191);
  EXPECT_EQ(platform::PixelsToHimetric(-1, 36.0f), -64);
}

TEST(PixelsToHimetric, RefusesAnExtentBeyondThirtyTwoBits) {
  EXPECT_THROW(platform::PixelsToHimetric(std::int64_t{1} << 40, 15.0f), PlatformError);
  EXPECT_NO_THROW(platform::PixelsToHimetric(80'000'000, 15.0f));
}

TEST(PixelsToHimetric, ComesBackAsTheSamePixelCountAtCommonScreenMetrics) {
  for (const float twips : {15.0f, 12.0f, 10.0f}) {
    int failures = 0;
    for (int pixels = 0; pixels <= 200000 && failures < 5; ++pixels) {
      const std::int32_t himetric = platform::PixelsToHimetric(pixels, twips);
      if (BackToPixels(himetric, twips) != pixels) {
        ++failures;
        ADD_FAILURE() << pixels << " pixels at " << twips << " twips/pixel -> " << himetric
                      << " HIMETRIC -> " << BackToPixels(himetric, twips) << " pixels";
      }
    }
  }
}

TEST(PictureSize, IsThePixelSizeInHimetricAtTheGivenMetric) {
  const Picture picture(Bytes(Stride(640) * 480, 0), 640, 480, 15.0f, 15.0f);
  EXPECT_EQ(picture.Width(), 16933);
  EXPECT_EQ(picture.Height(), 12700);
  EXPECT_EQ(picture.PixelWidth(), 640);
  EXPECT_EQ(picture.PixelHeight(), 480);
  const Picture wide(Bytes(Stride(640) * 480, 0), 640, 480, 12.0f, 10.0f);
  EXPECT_EQ(wide.Width(), platform::PixelsToHimetric(640, 12.0f));
  EXPECT_EQ(wide.Height(), platform::PixelsToHimetric(480, 10.0f));
}

TEST(PictureConstruction, RefusesPixelsThatDoNotMatchTheSize) {
  EXPECT_THROW(Picture(Bytes(3 * 2 * 2, 0), 3, 2, 15.0f, 15.0f), PlatformError);  // no padding
  EXPECT_THROW(Picture(Bytes(), 2, 2, 15.0f, 15.0f), PlatformError);
  EXPECT_THROW(Picture(Bytes(), -1, 0, 15.0f, 15.0f), PlatformError);
  EXPECT_THROW(Picture(Bytes(Stride(2) * 2, 0), 2, 2, 0.0f, 15.0f), PlatformError);
  EXPECT_NO_THROW(Picture(Bytes(Stride(3) * 2, 0), 3, 2, 15.0f, 15.0f));
}

TEST(PictureConstruction, AnEmptyPictureHasNoExtentAndRendersNothing) {
  const Picture empty(Bytes(), 0, 0, 15.0f, 15.0f);
  EXPECT_EQ(empty.Width(), 0);
  EXPECT_EQ(empty.Height(), 0);
  Dib dib(4, 4, 0x5a);
  ASSERT_TRUE(dib.Valid());
  const Bytes before = dib.Contents();
  empty.Render(dib.Dc(), 0, 0, 4, 4, 0, empty.Height(), empty.Width(), -empty.Height(), nullptr);
  empty.Render(dib.Dc(), 0, 0, 4, 4, 0, 100, 100, -100, nullptr);
  EXPECT_EQ(dib.Contents(), before);
}

// ---------------------------------------------------------------------------
// Rendering

TEST(Render, TheWholePictureAtItsPixelSizeReproducesThePixelsExactly) {
  for (const float twips : {15.0f, 12.0f, 10.0f, 7.5f}) {
    const Picture picture = CoordinatePicture(37, 11, twips);
    EXPECT_TRUE(SameLayout(Rendered(picture), picture.Pixels(), 37)) << twips << " twips/pixel";
  }
}

TEST(Render, SourceCoordinatesRunUpFromTheBottomEdge) {
  const Picture picture = CoordinatePicture(8, 8);
  // The lower half in HIMETRIC: from y = Height() / 2 down to 0, i.e. pixel rows 4..7.
  Dib dib(8, 4);
  ASSERT_TRUE(dib.Valid());
  picture.Render(dib.Dc(), 0, 0, 8, 4, 0, picture.Height() / 2, picture.Width(),
                 -picture.Height() / 2, nullptr);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) {
      const Bgr p = dib.At(x, y);
      ASSERT_EQ(p.B, x);
      ASSERT_EQ(p.G, y + 4);
    }
}

TEST(Render, AnUpwardSourceExtentTurnsThePictureUpsideDown) {
  const Picture picture = CoordinatePicture(5, 6);
  Dib dib(5, 6);
  ASSERT_TRUE(dib.Valid());
  picture.Render(dib.Dc(), 0, 0, 5, 6, 0, 0, picture.Width(), picture.Height(), nullptr);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 5; ++x) {
      ASSERT_EQ(dib.At(x, y).B, x);
      ASSERT_EQ(dib.At(x, y).G, 5 - y);
    }
}

TEST(Render, ALargerDestinationRepeatsWholePixels) {
  const Picture picture = CoordinatePicture(3, 2);
  Dib dib(6, 4);
  ASSERT_TRUE(dib.Valid());
  picture.Render(dib.Dc(), 0, 0, 6, 4, 0, picture.Height(), picture.Width(), -picture.Height(),
                 nullptr);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) {
      ASSERT_EQ(dib.At(x, y).B, x / 2);
      ASSERT_EQ(dib.At(x, y).G, y / 2);
      ASSERT_EQ(dib.At(x, y).R, 99);
    }
}

TEST(Render, IsClippedToTheDestination) {
  const Picture picture = CoordinatePicture(10, 10);
  Dib dib(4, 3, 0x5a);
  ASSERT_TRUE(dib.Valid());
  picture.Render(dib.Dc(), -2, -1, 10, 10, 0, picture.Height(), picture.Width(),
                 -picture.Height(), nullptr);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) {
      ASSERT_EQ(dib.At(x, y).B, x + 2);
      ASSERT_EQ(dib.At(x, y).G, y + 1);
    }
}

TEST(Render, RefusesBoundsAndContextsWithoutPixels) {
  const Picture picture = CoordinatePicture(4, 4);
  Dib dib(4, 4, 0x5a);
  ASSERT_TRUE(dib.Valid());
  const Bytes before = dib.Contents();
  const int bounds[4] = {0, 0, 4, 4};
  EXPECT_THROW(picture.Render(dib.Dc(), 0, 0, 4, 4, 0, picture.Height(), picture.Width(),
                              -picture.Height(), bounds),
               PlatformError);
  EXPECT_EQ(dib.Contents(), before);
  EXPECT_THROW(picture.Render(nullptr, 0, 0, 4, 4, 0, picture.Height(), picture.Width(),
                              -picture.Height(), nullptr),
               PlatformError);
  platform::Hdc screen = platform::GetDC();
  EXPECT_THROW(picture.Render(screen, 0, 0, 4, 4, 0, picture.Height(), picture.Width(),
                              -picture.Height(), nullptr),
               PlatformError);
  platform::ReleaseDC(screen);
}

TEST(Render, ExtremeRectanglesDoNotCrash) {
  const Picture picture = CoordinatePicture(4, 4);
  Dib dib(4, 4, 0x5a);
  ASSERT_TRUE(dib.Valid());
  constexpr int kMax = std::numeric_limits<int>::max();
  constexpr int kMin = std::numeric_limits<int>::min();
  picture.Render(dib.Dc(), kMin, kMin, kMax, kMax, 0, picture.Height(), picture.Width(),
                 -picture.Height(), nullptr);
  picture.Render(dib.Dc(), 0, 0, 4, 4, kMax, kMin, kMax, kMin, nullptr);
  picture.Render(dib.Dc(), 0, 0, 4, 4, kMin, kMax, kMin, kMax, nullptr);
  picture.Render(dib.Dc(), 0, 0, 0, 0, 0, picture.Height(), picture.Width(), -picture.Height(),
                 nullptr);
  // Rectangles far outside the picture leave the destination as it was.
  const Bytes untouched = Dib(4, 4, 0x5a).Contents();
  Dib other(4, 4, 0x5a);
  picture.Render(other.Dc(), 0, 0, 4, 4, 1000000, 1000000, 100, -100, nullptr);
  EXPECT_EQ(other.Contents(), untouched);
}

// ---------------------------------------------------------------------------
// BMP Suite: good files against the suite's reference renderings

class GoodBmp : public ::testing::TestWithParam<std::string> {};

TEST(GoodBmps, AllTwentySevenAreInTheRepository) { EXPECT_EQ(BmpsIn("g").size(), 27u); }

// Width and height of a BMP as its header states them (rows up or down).
std::pair<int, int> HeaderSize(const Bytes& Bmp) {
  if (GetLe32(Bmp, 14) == 12) return {GetLe16(Bmp, 18), GetLe16(Bmp, 20)};
  const auto height = static_cast<std::int32_t>(GetLe32(Bmp, 22));
  return {static_cast<int>(GetLe32(Bmp, 18)), height < 0 ? -height : height};
}

TEST_P(GoodBmp, LoadsWithTheReferenceRenderingsPixels) {
  const fs::path path = kData / "bmpsuite" / "g" / (GetParam() + ".bmp");
  const auto picture = platform::LoadPicture(path.string());
  ASSERT_NE(picture, nullptr);
  const auto [width, height] = HeaderSize(ReadFile(path));
  EXPECT_EQ(picture->PixelWidth(), width);
  EXPECT_EQ(picture->PixelHeight(), height);
  EXPECT_FALSE(picture->CutShort());

  const fs::path reference = kShared / "bmpsuite" / "reference" / (GetParam() + ".png");
  if (!fs::is_directory(reference.parent_path())) {
    GTEST_SKIP() << "the reference renderings are GPL-licensed and not in the repository; "
                    "they are read from "
                 << reference.parent_path() << ", which is not there";
  }
  const QImage expected(QString::fromStdString(reference.string()));
  ASSERT_FALSE(expected.isNull()) << reference;
  ASSERT_EQ(picture->PixelWidth(), expected.width());
  ASSERT_EQ(picture->PixelHeight(), expected.height());
  EXPECT_TRUE(SameLayout(Rendered(*picture), LayoutOf(expected), expected.width()));
}

INSTANTIATE_TEST_SUITE_P(BmpSuite, GoodBmp, ::testing::ValuesIn(BmpsIn("g")), TestNameOf);

TEST(SixteenBitBmp, ChannelsAreWidenedToTheFullRange) {
  // 5-5-5 bits, no masks: white, red, half green (16 of 31), the least blue.
  const std::uint16_t stored[4] = {0x7fff, 0x7c00, 16 << 5, 1};
  Bytes file = BmpHeader(4, 1);
  PutLe16(file, 28, 16);
  PutLe32(file, 34, 8);
  PutLe32(file, 2, 54 + 8);
  for (const std::uint16_t p : stored) {
    file.push_back(static_cast<std::uint8_t>(p));
    file.push_back(static_cast<std::uint8_t>(p >> 8));
  }
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const fs::path path = fs::path(dir.path().toStdString()) / "rgb555.bmp";
  WriteFile(path, file);
  const auto picture = platform::LoadPicture(path.string());
  ASSERT_EQ(picture->PixelWidth(), 4);
  // round(v * 255 / 31)
  const Bgr expected[4] = {{255, 255, 255}, {0, 0, 255}, {0, 132, 0}, {8, 0, 0}};
  for (int x = 0; x < 4; ++x)
    EXPECT_TRUE(Near(PixelAt(*picture, x, 0), expected[x], 0))
        << x << ": " << Describe(PixelAt(*picture, x, 0));
}

// ---------------------------------------------------------------------------
// BMP Suite: bad, questionable and related-format files

class OddBmp : public ::testing::TestWithParam<std::string> {};

TEST_P(OddBmp, IsRefusedOrLoadsTheSameTwice) {
  const fs::path path = kData / "bmpsuite" / (GetParam() + ".bmp");
  ASSERT_TRUE(fs::exists(path)) << path;
  const auto first = LoadOrRefuse(path);
  const auto second = LoadOrRefuse(path);
  ASSERT_EQ(first == nullptr, second == nullptr);
  if (first) {
    EXPECT_EQ(first->PixelWidth(), second->PixelWidth());
    EXPECT_EQ(first->PixelHeight(), second->PixelHeight());
    EXPECT_TRUE(first->Pixels() == second->Pixels());
    EXPECT_TRUE(SameLayout(Rendered(*first), first->Pixels(), first->PixelWidth()));
  }
}

std::vector<std::string> OddBmps() {
  std::vector<std::string> names;
  for (const char* folder : {"b", "q", "x"})
    for (const std::string& name : BmpsIn(folder)) names.push_back(std::string(folder) + "/" + name);
  return names;
}

TEST(OddBmps, AllAreInTheRepository) { EXPECT_EQ(OddBmps().size(), 20u + 43u + 1u); }

INSTANTIATE_TEST_SUITE_P(BmpSuite, OddBmp, ::testing::ValuesIn(OddBmps()), TestNameOf);

TEST(OddBmps, ObviouslyBrokenFilesAreRefused) {
  // Files that no reader can make a picture of: the header itself is unusable.
  for (const char* name : {"badbitcount", "badheadersize", "badplanes", "badwidth"}) {
    const fs::path path = kData / "bmpsuite" / "b" / (std::string(name) + ".bmp");
    EXPECT_THROW(platform::LoadPicture(path.string()), PictureLoadError) << path;
  }
}

// ---------------------------------------------------------------------------
// Files cut short

TEST(TruncatedBmp, RowsInTheFileAreDecodedAndMissingRowsAreWhite) {
  const fs::path source = kData / "bmpsuite" / "g" / "rgb24.bmp";
  const Bytes whole = ReadFile(source);
  ASSERT_GT(whole.size(), 54u);
  const auto full = platform::LoadPicture(source.string());
  EXPECT_FALSE(full->CutShort());
  const int width = full->PixelWidth();
  const int height = full->PixelHeight();
  const std::size_t stride = Stride(width);
  const std::size_t offset = GetLe32(whole, 10);

  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  for (const std::size_t rows_kept : {std::size_t{0}, std::size_t{1}, std::size_t{20},
                                      static_cast<std::size_t>(height - 1)}) {
    for (const std::size_t extra : {std::size_t{0}, std::size_t{7}}) {
      const std::size_t cut = offset + rows_kept * stride + extra;
      const fs::path path = fs::path(dir.path().toStdString()) / "cut.bmp";
      WriteFile(path, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)));
      const auto first = LoadOrRefuse(path);
      const auto second = LoadOrRefuse(path);
      ASSERT_EQ(first == nullptr, second == nullptr) << cut;
      if (!first) continue;
      ASSERT_EQ(first->PixelWidth(), width);
      ASSERT_EQ(first->PixelHeight(), height);
      EXPECT_TRUE(first->Pixels() == second->Pixels()) << cut;
      EXPECT_TRUE(first->CutShort()) << cut;
      // Bottom-up: the file's first rows are the picture's last.
      for (int y = 0; y < height; ++y) {
        const bool in_file = static_cast<std::size_t>(height - 1 - y) < rows_kept;
        const bool partly = static_cast<std::size_t>(height - 1 - y) == rows_kept && extra > 0;
        if (partly) continue;
        for (int x = 0; x < width; ++x) {
          const Bgr got = PixelAt(*first, x, y);
          const Bgr want = in_file ? PixelAt(*full, x, y) : Bgr{255, 255, 255};
          ASSERT_TRUE(Near(got, want, 0))
              << "cut at " << cut << ", pixel (" << x << ", " << y << ") is " << Describe(got)
              << ", expected " << Describe(want);
        }
      }
    }
  }
}

TEST(TruncatedBmp, MissingRowsOfAPaletteFileTakeTheFirstPaletteColour) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  // A bottom-up file misses its top rows, a top-down one (negative height) its bottom rows.
  for (const char* name : {"pal8.bmp", "pal8topdown.bmp"}) {
    const Bytes whole = ReadFile(kData / "bmpsuite" / "g" / name);
    const std::size_t offset = GetLe32(whole, 10);
    const std::size_t palette = 14 + GetLe32(whole, 14);
    const Bgr first_colour{whole[palette], whole[palette + 1], whole[palette + 2]};
    const auto signed_height = static_cast<std::int32_t>(GetLe32(whole, 22));
    const bool top_down = signed_height < 0;
    const int height = top_down ? -signed_height : signed_height;
    const std::size_t stride = (GetLe32(whole, 18) + 3) & ~std::size_t{3};

    const fs::path path = fs::path(dir.path().toStdString()) / "cut.bmp";
    const int rows_kept = 10;
    WriteFile(path, Bytes(whole.begin(),
                          whole.begin() + static_cast<std::ptrdiff_t>(offset + rows_kept * stride)));
    const auto picture = LoadOrRefuse(path);
    if (!picture) {
      std::printf("[ skipped  ] this Qt refuses the cut-short %s, which is fine too\n", name);
      continue;
    }
    ASSERT_EQ(picture->PixelHeight(), height) << name;
    EXPECT_TRUE(picture->CutShort()) << name;
    const int first_missing = top_down ? rows_kept : 0;
    for (int y = first_missing; y < first_missing + height - rows_kept; ++y)
      for (int x = 0; x < picture->PixelWidth(); ++x)
        ASSERT_TRUE(Near(PixelAt(*picture, x, y), first_colour, 0))
            << name << " (" << x << ", " << y << ") is " << Describe(PixelAt(*picture, x, y));
    EXPECT_EQ(LoadOrRefuse(path)->Pixels(), picture->Pixels()) << name;
  }
}

TEST(TruncatedBmp, CompressedFilesCutAnywhereAreRefusedOrLoadTheSameTwice) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  for (const char* name : {"g/pal4rle", "g/pal8rle", "g/pal1", "g/rgb16", "g/rgb32bf", "q/rgba32-1"}) {
    const Bytes whole = ReadFile(kData / "bmpsuite" / (std::string(name) + ".bmp"));
    for (const double fraction : {0.0, 0.02, 0.1, 0.3, 0.5, 0.9, 0.999}) {
      const auto cut = static_cast<std::ptrdiff_t>(static_cast<double>(whole.size()) * fraction);
      const fs::path path = fs::path(dir.path().toStdString()) / "cut.bmp";
      WriteFile(path, Bytes(whole.begin(), whole.begin() + cut));
      const auto first = LoadOrRefuse(path);
      const auto second = LoadOrRefuse(path);
      ASSERT_EQ(first == nullptr, second == nullptr) << name << " cut at " << cut;
      if (first) {
        EXPECT_TRUE(first->Pixels() == second->Pixels()) << name << " cut at " << cut;
      }
    }
  }
}

TEST(TruncatedJpeg, DecodesTheSameTwiceOrIsRefusedWhereverItIsCut) {
  const fs::path source = kData / "jpeg" / "testorig.jpg";
  const Bytes whole = ReadFile(source);
  ASSERT_GT(whole.size(), 1000u);
  const auto full = platform::LoadPicture(source.string());
  const std::size_t n = whole.size();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  int decoded = 0;
  for (const std::size_t cut : {std::size_t{0}, std::size_t{2}, std::size_t{20}, std::size_t{200},
                                n / 4, n / 2, 3 * n / 4, n - 2, n - 1}) {
    const fs::path path = fs::path(dir.path().toStdString()) / "cut.jpg";
    WriteFile(path, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)));
    const auto first = LoadOrRefuse(path);
    const auto second = LoadOrRefuse(path);
    ASSERT_EQ(first == nullptr, second == nullptr) << cut;
    if (!first) continue;
    ++decoded;
    EXPECT_EQ(first->PixelWidth(), 227);
    EXPECT_EQ(first->PixelHeight(), 149);
    EXPECT_TRUE(first->Pixels() == second->Pixels()) << cut;
    EXPECT_TRUE(first->CutShort()) << cut;
    if (cut >= n / 2) {
      // Baseline coding: the rows before the cut are already final.
      const std::size_t top = Stride(227) * 8;
      EXPECT_TRUE(std::equal(first->Pixels().begin(), first->Pixels().begin() + top,
                             full->Pixels().begin()))
          << cut;
    }
  }
  // Cutting the end-of-image marker off a complete scan must not lose the picture.
  EXPECT_GE(decoded, 2);
}

TEST(TruncatedJpeg, ProgressiveFilesCutAnywhereDecodeTheSameTwiceOrAreRefused) {
  const Bytes whole = ReadFile(kData / "jpeg" / "testprog.jpg");
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  for (const double fraction : {0.05, 0.2, 0.4, 0.6, 0.8, 0.99}) {
    const auto cut = static_cast<std::ptrdiff_t>(static_cast<double>(whole.size()) * fraction);
    const fs::path path = fs::path(dir.path().toStdString()) / "cut.jpg";
    WriteFile(path, Bytes(whole.begin(), whole.begin() + cut));
    const auto first = LoadOrRefuse(path);
    const auto second = LoadOrRefuse(path);
    ASSERT_EQ(first == nullptr, second == nullptr) << cut;
    if (first) {
      EXPECT_TRUE(first->Pixels() == second->Pixels()) << cut;
      EXPECT_TRUE(first->CutShort()) << cut;
    }
  }
}

// A JPEG segment of the given marker around Payload.
Bytes JpegSegment(std::uint8_t Marker, const Bytes& Payload) {
  const std::size_t length = Payload.size() + 2;
  Bytes segment = {0xff, Marker, static_cast<std::uint8_t>(length >> 8),
                   static_cast<std::uint8_t>(length)};
  segment.insert(segment.end(), Payload.begin(), Payload.end());
  return segment;
}

class CutShortNotice : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
  // Loads Data from a file of the given name; null when it is refused.
  std::unique_ptr<Picture> Load(const Bytes& Data, const std::string& Name) const {
    const fs::path path = fs::path(dir_.path().toStdString()) / Name;
    WriteFile(path, Data);
    return LoadOrRefuse(path);
  }
  QTemporaryDir dir_;
};

TEST_F(CutShortNotice, CompleteJpegAndPngFilesAreNotCutShort) {
  for (const char* name : {"jpeg/testorig.jpg", "jpeg/testprog.jpg", "jpeg/testimgint.jpg",
                           "jpeg/testimggray.jpg", "jpeg/testimgcrop.jpg", "photos/chelsea.png"}) {
    EXPECT_FALSE(platform::LoadPicture((kData / name).string())->CutShort()) << name;
  }
}

TEST_F(CutShortNotice, BytesAfterTheEndOfAJpegDoNotMakeItCutShort) {
  Bytes file = ReadFile(kData / "jpeg" / "testorig.jpg");
  file.insert(file.end(), 300, 0x00);
  EXPECT_FALSE(Load(file, "padded.jpg")->CutShort());
}

TEST_F(CutShortNotice, AThumbnailsEndMarkerDoesNotCompleteACutJpeg) {
  // An APP1 segment carrying a whole small JPEG, end marker included, as cameras do.
  const Bytes whole = ReadFile(kData / "jpeg" / "testorig.jpg");
  Bytes thumbnail = {'E', 'x', 'i', 'f', 0, 0, 0xff, 0xd8, 0xff, 0xd9};
  Bytes file(whole.begin(), whole.begin() + 2);
  const Bytes app1 = JpegSegment(0xe1, thumbnail);
  file.insert(file.end(), app1.begin(), app1.end());
  file.insert(file.end(), whole.begin() + 2, whole.end());
  EXPECT_FALSE(Load(file, "thumbnail.jpg")->CutShort());

  file.resize(file.size() * 3 / 4);
  const auto cut = Load(file, "thumbnail-cut.jpg");
  ASSERT_NE(cut, nullptr);
  EXPECT_TRUE(cut->CutShort());
}

// Run-length code may end the bitmap early with its own mark, leaving the rest
// blank; code that runs out before the mark was cut short, and what holds a
// hundredth of the pixels or less is refused rather than made up.
TEST_F(CutShortNotice, RunLengthCodeRunningOutBeforeItsEndMarkIsCutShortOrRefused) {
  const auto rle8 = [](std::int32_t Width, std::int32_t Height, const Bytes& Code) {
    Bytes file = BmpHeader(Width, Height);
    PutLe16(file, 28, 8);
    PutLe32(file, 30, 1);  // RLE8
    PutLe32(file, 46, 2);  // two palette entries: black and white
    file.insert(file.end(), {0, 0, 0, 0, 255, 255, 255, 0});
    PutLe32(file, 10, static_cast<std::uint32_t>(file.size()));
    file.insert(file.end(), Code.begin(), Code.end());
    return file;
  };
  EXPECT_EQ(Load(rle8(2000, 1000, {0, 0}), "row.bmp"), nullptr);
  const auto blank = Load(rle8(2000, 1000, {0, 0, 0, 1}), "blank.bmp");
  ASSERT_NE(blank, nullptr);
  EXPECT_FALSE(blank->CutShort());

  Bytes rows;
  for (int y = 0; y < 60; ++y) rows.insert(rows.end(), {100, 1, 0, 0});
  const auto cut = Load(rle8(100, 100, rows), "cut.bmp");
  ASSERT_NE(cut, nullptr);
  EXPECT_TRUE(cut->CutShort());
  EXPECT_TRUE(Near(PixelAt(*cut, 50, 99), Bgr{255, 255, 255}, 0));  // rows are stored bottom-up
  rows.insert(rows.end(), {0, 1});
  EXPECT_FALSE(Load(rle8(100, 100, rows), "whole.bmp")->CutShort());
}

TEST_F(CutShortNotice, APngEndingBeforeItsEndChunkIsCutShortOrRefused) {
  const Bytes whole = ReadFile(kData / "photos" / "chelsea.png");
  for (const std::size_t lost : {std::size_t{1}, std::size_t{12}, whole.size() / 3}) {
    const auto picture = Load(Bytes(whole.begin(), whole.end() - static_cast<std::ptrdiff_t>(lost)),
                              "cut.png");
    if (picture) {
      EXPECT_TRUE(picture->CutShort()) << lost;
    }
  }
}

// ---------------------------------------------------------------------------
// JPEG files against the IJG reference decodes

// Qt decodes with the system's libjpeg; any libjpeg with the accurate integer IDCT
// and fancy upsampling gives the reference bytes. Two levels leave room for a
// decoder whose upsampler rounds differently, and are far below a real fault.
constexpr int kJpegTolerance = 2;

struct JpegCase {
  const char* Name;
  const char* Reference;
  int Width;
  int Height;
};

void PrintTo(const JpegCase& Case, std::ostream* Out) { *Out << Case.Name; }

class JpegDecode : public ::testing::TestWithParam<JpegCase> {};

// Largest channel difference between a load and the reference; -1 on a size mismatch.
int LargestDifference(const Picture& Picture, const QImage& Reference) {
  if (Picture.PixelWidth() != Reference.width() || Picture.PixelHeight() != Reference.height()) {
    return -1;
  }
  const Bytes want = LayoutOf(Reference);
  int largest = 0;
  for (std::size_t i = 0; i < want.size(); ++i)
    largest = std::max(largest, std::abs(int{Picture.Pixels()[i]} - int{want[i]}));
  return largest;
}

TEST_P(JpegDecode, MatchesTheReferenceDecode) {
  const JpegCase& c = GetParam();
  const QImage reference(
      QString::fromStdString((kData / "jpeg" / "reference" / c.Reference).string()));
  ASSERT_FALSE(reference.isNull());
  ASSERT_EQ(reference.width(), c.Width);
  const fs::path path = kData / "jpeg" / c.Name;
  std::unique_ptr<Picture> picture;
  if (std::string(c.Name) == "testimgari.jpg") {
    // Arithmetic coding is optional in libjpeg builds: refusing it is allowed.
    picture = LoadOrRefuse(path);
    if (!picture) GTEST_SKIP() << "this libjpeg has no arithmetic decoding; refused cleanly";
  } else {
    picture = platform::LoadPicture(path.string());
  }
  ASSERT_EQ(picture->PixelWidth(), c.Width);
  ASSERT_EQ(picture->PixelHeight(), c.Height);
  const int largest = LargestDifference(*picture, reference);
  EXPECT_GE(largest, 0);
  EXPECT_LE(largest, kJpegTolerance);
  EXPECT_TRUE(SameLayout(Rendered(*picture), picture->Pixels(), picture->PixelWidth()));
}

INSTANTIATE_TEST_SUITE_P(
    IjgImages, JpegDecode,
    ::testing::Values(JpegCase{"testorig.jpg", "testorig.ppm", 227, 149},
                      JpegCase{"testprog.jpg", "testprog.ppm", 227, 149},
                      JpegCase{"testimgint.jpg", "testimgint.ppm", 227, 149},
                      JpegCase{"testimgari.jpg", "testimgari.ppm", 227, 149},
                      JpegCase{"testimgp.jpg", "testimgp.ppm", 227, 149},
                      JpegCase{"testimggray.jpg", "testimggray.pgm", 227, 149},
                      JpegCase{"testimgcrop.jpg", "testimgcrop.ppm", 124, 92}),
    [](const ::testing::TestParamInfo<JpegCase>& Info) {
      std::string name = Info.param.Name;
      return name.substr(0, name.find('.'));
    });

TEST(JpegDecode, TwelveBitPrecisionDecodesOrIsRefusedCleanly) {
  const fs::path path = kData / "jpeg" / "testorig12.jpg";
  const auto picture = LoadOrRefuse(path);
  if (picture) {
    EXPECT_EQ(picture->PixelWidth(), 227);
    EXPECT_EQ(picture->PixelHeight(), 149);
    // The same photograph as testorig.jpg; 12-bit coding changes only its precision.
    const QImage reference(
        QString::fromStdString((kData / "jpeg" / "reference" / "testorig.ppm").string()));
    const int largest = LargestDifference(*picture, reference);
    EXPECT_GE(largest, 0);
    EXPECT_LE(largest, 16);
  }
}

// ---------------------------------------------------------------------------
// Files that are not pictures

// Tests that write their files into a temporary folder of their own.
class InTempDir : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
  fs::path In(const std::string& Name) const { return fs::path(dir_.path().toStdString()) / Name; }
  QTemporaryDir dir_;
};

// The message of the PictureLoadError that loading Path raises; a failure when none does.
std::string LoadRefusal(const fs::path& Path) {
  try {
    platform::LoadPicture(Path.string());
    ADD_FAILURE() << Path << " loaded";
  } catch (const PictureLoadError& e) {
    return e.what();
  }
  return {};
}

class NotAPicture : public InTempDir {
 protected:
  // The load fails with PictureLoadError whose message names the path and contains
  // the given reason.
  static void ExpectRefused(const fs::path& Path, const std::string& Reason) {
    const std::string message = LoadRefusal(Path);
    EXPECT_NE(message.find(Path.string()), std::string::npos) << message;
    EXPECT_NE(message.find(Reason), std::string::npos) << message;
  }
};

TEST_F(NotAPicture, AMissingFileIsRefusedNamingThePath) {
  ExpectRefused(In("nowhere.jpg"), "no such file");
}

TEST_F(NotAPicture, AFolderIsRefused) {
  fs::create_directory(In("album.jpg"));
  ExpectRefused(In("album.jpg"), "folder");
}

TEST_F(NotAPicture, ATextFileNamedJpgIsRefused) {
  const std::string text = "This is a shopping list, not a photograph.\n";
  WriteFile(In("list.jpg"), Bytes(text.begin(), text.end()));
  ExpectRefused(In("list.jpg"), "Unsupported image format");
}

TEST_F(NotAPicture, AnEmptyFileIsRefused) {
  WriteFile(In("empty.bmp"), Bytes());
  ExpectRefused(In("empty.bmp"), "");
}

TEST_F(NotAPicture, AJpegWhoseHeaderDoesNotParseIsRefused) {
  WriteFile(In("start.jpg"), Bytes{0xff, 0xd8});
  ExpectRefused(In("start.jpg"), "");
  Bytes damaged = ReadFile(kData / "jpeg" / "testorig.jpg");
  damaged.resize(20);
  WriteFile(In("damaged.jpg"), damaged);
  ExpectRefused(In("damaged.jpg"), "");
}

TEST_F(NotAPicture, AnUnreadableFileIsRefusedWithTheSystemsReason) {
  const fs::path path = In("locked.bmp");
  WriteFile(path, BmpHeader(1, 1));
  ASSERT_EQ(::chmod(path.c_str(), 0), 0);
  if (std::ifstream(path).good()) {
    GTEST_SKIP() << "file permissions do not restrict this user (running as root)";
  }
  ExpectRefused(path, "ermission");
}

TEST_F(NotAPicture, ThePictureIsFoundByContentNotBySuffix) {
  const QImage image = QImage(5, 3, QImage::Format_RGB32);
  QImage filled = image;
  filled.fill(qRgb(10, 200, 30));
  ASSERT_TRUE(filled.save(QString::fromStdString(In("really.png").string()), "PNG"));
  fs::rename(In("really.png"), In("named.jpg"));
  const auto picture = platform::LoadPicture(In("named.jpg").string());
  EXPECT_TRUE(Near(PixelAt(*picture, 4, 2), Bgr{30, 200, 10}, 0));
}

// ---------------------------------------------------------------------------
// JPEG orientation metadata

// Inserts an APP1 Exif segment holding only an Orientation tag right after SOI.
Bytes WithOrientation(const Bytes& Jpeg, std::uint16_t Orientation) {
  const Bytes tiff = {'M', 'M', 0, 42, 0, 0, 0, 8,       // big-endian header, IFD at 8
                      0, 1,                              // one entry
                      0x01, 0x12, 0, 3, 0, 0, 0, 1,      // Orientation, SHORT, count 1
                      static_cast<std::uint8_t>(Orientation >> 8),
                      static_cast<std::uint8_t>(Orientation), 0, 0,
                      0, 0, 0, 0};                       // no next IFD
  Bytes segment = {0xff, 0xe1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
  segment.insert(segment.end(), tiff.begin(), tiff.end());
  const std::size_t length = segment.size() - 2;
  segment[2] = static_cast<std::uint8_t>(length >> 8);
  segment[3] = static_cast<std::uint8_t>(length);
  Bytes out = Jpeg;
  out.insert(out.begin() + 2, segment.begin(), segment.end());
  return out;
}

class Orientation : public InTempDir {
 protected:
  void SetUp() override {
    InTempDir::SetUp();
    // 48 x 32, the top-left 24 x 16 quarter red, the rest blue: big flat areas so
    // that JPEG's blocks keep the colours clear.
    QImage image(48, 32, QImage::Format_RGB32);
    image.fill(qRgb(0, 0, 255));
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 24; ++x) image.setPixel(x, y, qRgb(255, 0, 0));
    QByteArray data;
    QBuffer buffer(&data);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
    ASSERT_TRUE(image.save(&buffer, "JPEG", 95));
    jpeg_ = ToBytes(data);
    ASSERT_EQ(jpeg_[0], 0xff);
    ASSERT_EQ(jpeg_[1], 0xd8);
  }
  std::unique_ptr<Picture> Load(const Bytes& Data) {
    WriteFile(In("photo.jpg"), Data);
    return platform::LoadPicture(In("photo.jpg").string());
  }
  static bool Red(Bgr P) { return P.R > 200 && P.G < 60 && P.B < 60; }
  static bool Blue(Bgr P) { return P.B > 200 && P.G < 60 && P.R < 60; }

  Bytes jpeg_;
};

TEST_F(Orientation, WithoutTheTagThePictureIsAsStored) {
  const auto picture = Load(WithOrientation(jpeg_, 1));
  ASSERT_EQ(picture->PixelWidth(), 48);
  ASSERT_EQ(picture->PixelHeight(), 32);
  EXPECT_TRUE(Red(PixelAt(*picture, 4, 4))) << Describe(PixelAt(*picture, 4, 4));
  EXPECT_TRUE(Blue(PixelAt(*picture, 43, 4))) << Describe(PixelAt(*picture, 43, 4));
}

TEST_F(Orientation, SixTurnsThePictureAQuarterClockwise) {
  const auto picture = Load(WithOrientation(jpeg_, 6));
  ASSERT_EQ(picture->PixelWidth(), 32);
  ASSERT_EQ(picture->PixelHeight(), 48);
  // The stored top-left corner is now the top-right one.
  EXPECT_TRUE(Red(PixelAt(*picture, 28, 4))) << Describe(PixelAt(*picture, 28, 4));
  EXPECT_TRUE(Blue(PixelAt(*picture, 4, 4))) << Describe(PixelAt(*picture, 4, 4));
  EXPECT_TRUE(Blue(PixelAt(*picture, 28, 43))) << Describe(PixelAt(*picture, 28, 43));
  EXPECT_TRUE(SameLayout(Rendered(*picture), picture->Pixels(), picture->PixelWidth()));
}

// ---------------------------------------------------------------------------
// Transparency

TEST(Transparency, TransparentPixelsComeOutOverWhite) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QImage image(5, 1, QImage::Format_ARGB32);
  image.setPixel(0, 0, qRgba(255, 0, 0, 255));    // opaque red
  image.setPixel(1, 0, qRgba(0, 0, 255, 0));      // invisible blue
  image.setPixel(2, 0, qRgba(0, 0, 0, 128));      // half black
  image.setPixel(3, 0, qRgba(0, 255, 0, 128));    // half green
  image.setPixel(4, 0, qRgba(200, 100, 50, 64));  // a quarter brown
  const QString path = dir.filePath("glass.png");
  ASSERT_TRUE(image.save(path, "PNG"));

  const auto picture = platform::LoadPicture(path.toStdString());
  ASSERT_EQ(picture->PixelWidth(), 5);
  // c * a / 255 + 255 * (1 - a / 255)
  const Bgr expected[5] = {{0, 0, 255}, {255, 255, 255}, {127, 127, 127}, {127, 255, 127},
                           {204, 216, 241}};
  for (int x = 0; x < 5; ++x)
    EXPECT_TRUE(Near(PixelAt(*picture, x, 0), expected[x], 1))
        << x << ": " << Describe(PixelAt(*picture, x, 0));
}

// ---------------------------------------------------------------------------
// Size limits

class Limits : public InTempDir {
 protected:
  // The refusal of a BMP that has only a header claiming Width x Height and a little data.
  std::string RefusalOfBmpHeader(std::int32_t Width, std::int32_t Height) const {
    Bytes file = BmpHeader(Width, Height);
    file.resize(file.size() + 4096, 0x80);
    WriteFile(In("claim.bmp"), file);
    return LoadRefusal(In("claim.bmp"));
  }
};

TEST_F(Limits, AHeaderClaimingTenGigapixelsIsRefusedBeforeDecoding) {
  const std::string message = RefusalOfBmpHeader(100000, 100000);
  EXPECT_NE(message.find(In("claim.bmp").string()), std::string::npos) << message;
  // Named by the size check, not by a decoder that tried and ran out of memory.
  EXPECT_NE(message.find("100000 x 100000"), std::string::npos) << message;
}

TEST_F(Limits, AnUncompressedBmpFarTooShortForItsRowsIsRefusedForItsLength) {
  // 100 megapixels claimed, under the size limit, with 4 KB of pixels in the file.
  const std::string message = RefusalOfBmpHeader(10000, 10000);
  EXPECT_NE(message.find("4096 bytes of pixels"), std::string::npos) << message;
  EXPECT_NE(message.find("10000 x 10000"), std::string::npos) << message;
}

TEST(BmpHeaderBytes, GiveTheClaimedSizeLayoutAndRowBytes) {
  Bytes info = BmpHeader(5, -3);  // top-down
  const auto header = platform::ReadBmpHeader(info);
  ASSERT_TRUE(header.has_value());
  EXPECT_EQ(header->Width, 5);
  EXPECT_EQ(header->Height, 3);
  EXPECT_EQ(header->PixelOffset, 54u);
  EXPECT_EQ(platform::UncompressedPixelBytes(*header), std::optional<std::uint64_t>(16 * 3));

  PutLe16(info, 28, 1);  // one bit a pixel: rows still take whole 32-bit words
  EXPECT_EQ(platform::UncompressedPixelBytes(*platform::ReadBmpHeader(info)),
            std::optional<std::uint64_t>(4 * 3));
  PutLe32(info, 30, 1);  // RLE8: the header cannot tell the length
  EXPECT_EQ(platform::UncompressedPixelBytes(*platform::ReadBmpHeader(info)), std::nullopt);

  Bytes os2 = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 26, 0, 0, 0, 12, 0, 0, 0,
               7, 0, 2, 0, 1, 0, 8, 0};  // 16-bit extents, 8 bits a pixel
  const auto old = platform::ReadBmpHeader(os2);
  ASSERT_TRUE(old.has_value());
  EXPECT_EQ(old->Width, 7);
  EXPECT_EQ(platform::UncompressedPixelBytes(*old), std::optional<std::uint64_t>(8 * 2));

  EXPECT_FALSE(platform::ReadBmpHeader(Bytes(info.begin(), info.begin() + 25)).has_value());
  EXPECT_FALSE(platform::ReadBmpHeader(BmpHeader(0, 4)).has_value());
  info[0] = 'X';
  EXPECT_FALSE(platform::ReadBmpHeader(info).has_value());
}

TEST_F(Limits, AStripTooWideToMeasureIsRefusedAsAPictureNotLoaded) {
  // 90 megapixels in one row: under the pixel limit, but beyond 2^31 HIMETRIC units.
  const std::string message = RefusalOfBmpHeader(90'000'000, 1);
  EXPECT_NE(message.find("90000000 x 1"), std::string::npos) << message;
}

std::uint32_t Crc32(const Bytes& Data, std::size_t From, std::size_t To) {
  std::uint32_t crc = 0xffffffffu;
  for (std::size_t i = From; i < To; ++i) {
    crc ^= Data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

TEST_F(Limits, APngHeaderClaimingTooManyPixelsIsRefusedForItsSize) {
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  for (const std::uint32_t extent : {30000u, 30000u})
    for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<std::uint8_t>(extent >> shift));
  png.insert(png.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
  const std::uint32_t crc = Crc32(png, 12, png.size());
  for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<std::uint8_t>(crc >> shift));
  // The decoder reads the header up to the first data chunk: an empty one, then the end.
  for (const char* type : {"IDAT", "IEND"}) {
    const std::size_t start = png.size() + 4;
    png.insert(png.end(), {0, 0, 0, 0});
    png.insert(png.end(), type, type + 4);
    const std::uint32_t chunk_crc = Crc32(png, start, png.size());
    for (int shift = 24; shift >= 0; shift -= 8)
      png.push_back(static_cast<std::uint8_t>(chunk_crc >> shift));
  }
  WriteFile(In("wide.png"), png);
  const std::string message = LoadRefusal(In("wide.png"));
  EXPECT_NE(message.find("30000 x 30000"), std::string::npos) << message;
}

// 77 bytes that Qt's decoder reads as 160 megapixels of uncompressed bit fields:
// OS/2's 64-byte header, compression 3 (Huffman coding in OS/2's numbering).
TEST_F(Limits, AnOs2CompressionTheDecoderWouldMisreadIsRefusedBeforeDecoding) {
  Bytes file = BmpHeader(1245185, 129);
  file.resize(77, 0);
  PutLe32(file, 14, 64);
  PutLe16(file, 28, 16);
  PutLe32(file, 30, 3);
  WriteFile(In("huffman.bmp"), file);
  const std::string message = LoadRefusal(In("huffman.bmp"));
  EXPECT_NE(message.find("OS/2 BMP compressed with compression 3"), std::string::npos) << message;

  PutLe32(file, 30, 4);  // RLE24
  WriteFile(In("rle24.bmp"), file);
  EXPECT_NE(LoadRefusal(In("rle24.bmp")).find("compression 4"), std::string::npos);
}

// What the program does not offer is not opened: a few bytes of SVG would render
// to as many pixels as they ask for.
TEST_F(Limits, FormatsBeyondBmpJpegAndPngAreRefused) {
  const std::string svg =
      "<svg xmlns='http://www.w3.org/2000/svg' width='15000' height='15000'></svg>";
  WriteFile(In("drawing.svg"), Bytes(svg.begin(), svg.end()));
  EXPECT_NE(LoadRefusal(In("drawing.svg")).find("SVG format"), std::string::npos);
  QImage small(4, 4, QImage::Format_RGB32);
  small.fill(Qt::red);
  ASSERT_TRUE(small.save(QString::fromStdString(In("small.gif").string()), "GIF") ||
              small.save(QString::fromStdString(In("small.gif").string()), "PPM"));
  EXPECT_NE(LoadRefusal(In("small.gif")).find("only BMP, JPEG and PNG"), std::string::npos);
}

// A JPEG header claiming ten megapixels over a few kilobytes of data: the
// decoder would make up nearly all of it, at the cost of the whole size.
TEST_F(Limits, AJpegFarTooShortForItsClaimedSizeIsRefused) {
  Bytes jpeg = ReadFile(kData / "jpeg" / "testorig.jpg");
  std::size_t frame = 2;
  while (jpeg[frame + 1] != 0xc0) frame += 2 + (jpeg[frame + 2] << 8 | jpeg[frame + 3]);
  jpeg[frame + 5] = 164 >> 8;  // height
  jpeg[frame + 6] = 164 & 0xff;
  jpeg[frame + 7] = 65411 >> 8;  // width
  jpeg[frame + 8] = 65411 & 0xff;
  WriteFile(In("claim.jpg"), jpeg);
  const std::string message = LoadRefusal(In("claim.jpg"));
  EXPECT_NE(message.find("bytes of JPEG data where its 65411 x 164 pixels need at least 21464"),
            std::string::npos)
      << message;
}

TEST_F(Limits, APngWithTooLittleImageDataForItsSizeIsRefused) {
  QImage image(10000, 1000, QImage::Format_RGB888);
  image.fill(Qt::white);
  QByteArray data;
  QBuffer buffer(&data);
  ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
  ASSERT_TRUE(image.save(&buffer, "PNG"));
  Bytes png = ToBytes(data);
  WriteFile(In("whole.png"), png);
  EXPECT_EQ(platform::LoadPicture(In("whole.png").string())->PixelWidth(), 10000);

  png[16 + 4 + 1] = 0x01;  // a height of 66536 rows: 1.9 GB of rows from the same data
  WriteFile(In("tall.png"), png);
  const std::string message = LoadRefusal(In("tall.png"));
  EXPECT_NE(message.find("bytes of PNG data where its 10000 x 66536 pixels need at least"),
            std::string::npos)
      << message;
}

TEST_F(Limits, BmpSuitesReallyBigFileIsRefusedForItsSize) {
  const std::string message = LoadRefusal(kData / "bmpsuite" / "b" / "reallybig.bmp");
  EXPECT_NE(message.find("3000000 x 2000000"), std::string::npos) << message;
}

TEST_F(Limits, AHeaderJustAboveTheLimitIsRefusedThoughQtCouldAllocateIt) {
  // 256 megapixels: a gigabyte at 32 bits, which the decoder would take on.
  const std::string message = RefusalOfBmpHeader(16000, 16000);
  EXPECT_NE(message.find("16000 x 16000"), std::string::npos) << message;
}

TEST_F(Limits, AHundredMegapixelPhotoLoads) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "a 300 MB file takes too long under AddressSanitizer";
#endif
  constexpr int kWidth = 12000;
  constexpr int kHeight = 8400;
  const std::size_t stride = Stride(kWidth);
  // Pixel (x, y) of the picture, top-down: blue = x mod 251, green = y mod 241,
  // red = (x + y) mod 256.
  auto expected = [](int X, int Y) { return Bgr{X % 251, Y % 241, (X + Y) % 256}; };
  {
    std::ofstream out(In("big.bmp"), std::ios::binary);
    const Bytes header = BmpHeader(kWidth, kHeight);
    out.write(reinterpret_cast<const char*>(header.data()), 54);
    std::vector<char> row(stride, 0);
    for (int stored = 0; stored < kHeight; ++stored) {
      const int y = kHeight - 1 - stored;
      for (int x = 0; x < kWidth; ++x) {
        const Bgr p = expected(x, y);
        row[3 * x] = static_cast<char>(p.B);
        row[3 * x + 1] = static_cast<char>(p.G);
        row[3 * x + 2] = static_cast<char>(p.R);
      }
      out.write(row.data(), static_cast<std::streamsize>(stride));
    }
    ASSERT_TRUE(out.good());
  }
  const auto picture = platform::LoadPicture(In("big.bmp").string());
  fs::remove(In("big.bmp"));
  ASSERT_EQ(picture->PixelWidth(), kWidth);
  ASSERT_EQ(picture->PixelHeight(), kHeight);
  for (int y = 0; y < kHeight; y += 97)
    for (int x = 0; x < kWidth; x += 89)
      ASSERT_TRUE(Near(PixelAt(*picture, x, y), expected(x, y), 0)) << x << ", " << y;
  for (const auto& [x, y] : {std::pair{0, 0}, std::pair{kWidth - 1, 0}, std::pair{0, kHeight - 1},
                             std::pair{kWidth - 1, kHeight - 1}})
    EXPECT_TRUE(Near(PixelAt(*picture, x, y), expected(x, y), 0)) << x << ", " << y;
  // Padding bytes after each row's last pixel are zero.
  const std::uint8_t* last = picture->Pixels().data() + stride * (kHeight - 1);
  for (std::size_t i = 3 * kWidth; i < stride; ++i) EXPECT_EQ(last[i], 0);
}

// ---------------------------------------------------------------------------
// Saving

class Save : public InTempDir {
 protected:
  // Saving fails with PictureSaveError naming the path and containing Reason.
  static void ExpectSaveFails(const Picture& P, const fs::path& Path, const std::string& Reason) {
    try {
      platform::SavePicture(P, Path.string());
      ADD_FAILURE() << Path << " saved";
    } catch (const PictureSaveError& e) {
      const std::string message = e.what();
      EXPECT_NE(message.find(Path.string()), std::string::npos) << message;
      EXPECT_NE(message.find(Reason), std::string::npos) << message;
    }
  }
};

TEST_F(Save, PixelsComeBackUnchanged) {
  for (const auto& [w, h] : {std::pair{37, 11}, std::pair{1, 1}, std::pair{4, 3}, std::pair{255, 2}}) {
    const Picture picture = CoordinatePicture(w, h);
    platform::SavePicture(picture, In("out.bmp").string());
    const auto loaded = platform::LoadPicture(In("out.bmp").string());
    ASSERT_EQ(loaded->PixelWidth(), w);
    ASSERT_EQ(loaded->PixelHeight(), h);
    EXPECT_TRUE(loaded->Pixels() == picture.Pixels())
        << w << " x " << h << ": " << FirstDifference(loaded->Pixels(), picture.Pixels(), w);
  }
}

TEST_F(Save, WritesATwentyFourBitUncompressedBmp) {
  platform::SavePicture(CoordinatePicture(37, 11), In("out.bmp").string());
  const Bytes file = ReadFile(In("out.bmp"));
  ASSERT_GE(file.size(), 54u);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  EXPECT_EQ(GetLe32(file, 18), 37u);
  EXPECT_EQ(static_cast<std::int32_t>(GetLe32(file, 22)) < 0 ? -static_cast<std::int32_t>(GetLe32(file, 22))
                                                             : static_cast<std::int32_t>(GetLe32(file, 22)),
            11);
  EXPECT_EQ(GetLe16(file, 28), 24) << "bits per pixel";
  EXPECT_EQ(GetLe32(file, 30), 0u) << "compression";
  EXPECT_GE(file.size(), GetLe32(file, 10) + Stride(37) * 11);
}

TEST_F(Save, ReplacesAnExistingFile) {
  const std::string junk(5000, 'x');
  WriteFile(In("out.bmp"), Bytes(junk.begin(), junk.end()));
  const Picture picture = CoordinatePicture(6, 5);
  platform::SavePicture(picture, In("out.bmp").string());
  EXPECT_EQ(platform::LoadPicture(In("out.bmp").string())->Pixels(), picture.Pixels());
  // Nothing but the file itself is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(In("")), fs::directory_iterator()), 1);
}

TEST_F(Save, AnEmptyPictureIsRefusedAndTheExistingFileKept) {
  platform::SavePicture(CoordinatePicture(3, 3), In("out.bmp").string());
  const Bytes before = ReadFile(In("out.bmp"));
  ExpectSaveFails(Picture(Bytes(), 0, 0, 15.0f, 15.0f), In("out.bmp"), "no pixels");
  EXPECT_EQ(ReadFile(In("out.bmp")), before);
}

TEST_F(Save, AMissingFolderIsReported) {
  ExpectSaveFails(CoordinatePicture(3, 3), In("no such folder") / "out.bmp", "does not exist");
  EXPECT_FALSE(fs::exists(In("no such folder")));
}

TEST_F(Save, AFolderInThePlaceOfTheFileIsReportedAndKept) {
  fs::create_directory(In("out.bmp"));
  WriteFile(In("out.bmp") / "inside.txt", Bytes{'k'});
  ExpectSaveFails(CoordinatePicture(3, 3), In("out.bmp"), "folder");
  EXPECT_TRUE(fs::is_directory(In("out.bmp")));
  EXPECT_EQ(ReadFile(In("out.bmp") / "inside.txt"), Bytes{'k'});
}

TEST_F(Save, AFileInThePlaceOfTheFolderIsReported) {
  WriteFile(In("plain"), Bytes{'p'});
  ExpectSaveFails(CoordinatePicture(3, 3), In("plain") / "out.bmp", "");
  EXPECT_EQ(ReadFile(In("plain")), Bytes{'p'});
}

TEST_F(Save, AFolderThatCannotBeWrittenKeepsTheExistingFile) {
  fs::create_directory(In("locked"));
  const fs::path target = In("locked") / "out.bmp";
  platform::SavePicture(CoordinatePicture(3, 3), target.string());
  const Bytes before = ReadFile(target);
  ASSERT_EQ(::chmod(In("locked").c_str(), 0555), 0);
  const bool restricted = ::access(In("locked").c_str(), W_OK) != 0;
  if (restricted) ExpectSaveFails(CoordinatePicture(9, 9), target, "");
  ::chmod(In("locked").c_str(), 0755);
  if (!restricted) GTEST_SKIP() << "folder permissions do not restrict this user (running as root)";
  EXPECT_EQ(ReadFile(target), before);
}

TEST_F(Save, NamesThatAreNotTextReachTheirOwnFilesOnly) {
  // "\xef\xbf\xbd" is U+FFFD, what a text conversion makes of the bytes 0xfe and 0xff.
  const std::string folder = In("").string();
  const Picture replacement_char = CoordinatePicture(3, 3);
  platform::SavePicture(replacement_char, folder + "\xef\xbf\xbd.bmp");
  const Bytes kept = ReadFile(folder + "\xef\xbf\xbd.bmp");

  const Picture fe = CoordinatePicture(5, 2);
  platform::SavePicture(fe, folder + "\xfe.bmp");
  platform::SavePicture(CoordinatePicture(4, 4), folder + "\xff.bmp");
  EXPECT_EQ(platform::LoadPicture(folder + "\xfe.bmp")->Pixels(), fe.Pixels());
  EXPECT_EQ(platform::LoadPicture(folder + "\xff.bmp")->PixelWidth(), 4);
  EXPECT_EQ(ReadFile(folder + "\xef\xbf\xbd.bmp"), kept);
  EXPECT_EQ(std::distance(fs::directory_iterator(In("")), fs::directory_iterator()), 3);
  EXPECT_NE(LoadRefusal(folder + "\xfd.bmp").find("no such file"), std::string::npos);
}

TEST_F(Save, ASymbolicLinkKeepsPointingAtTheFileItReplaces) {
  platform::SavePicture(CoordinatePicture(3, 3), In("real.bmp").string());
  fs::create_symlink(In("real.bmp"), In("link.bmp"));
  const Picture picture = CoordinatePicture(6, 2);
  platform::SavePicture(picture, In("link.bmp").string());
  EXPECT_TRUE(fs::is_symlink(In("link.bmp")));
  EXPECT_EQ(platform::LoadPicture(In("real.bmp").string())->Pixels(), picture.Pixels());
}

TEST_F(Save, AReplacedFileKeepsItsPermissions) {
  platform::SavePicture(CoordinatePicture(3, 3), In("out.bmp").string());
  ASSERT_EQ(::chmod(In("out.bmp").c_str(), 0640), 0);
  platform::SavePicture(CoordinatePicture(6, 2), In("out.bmp").string());
  EXPECT_EQ(fs::status(In("out.bmp")).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

// A 64 KB file system of its own: the disk a save fills up.
class FullDisk : public Save {
 protected:
  void SetUp() override {
    Save::SetUp();
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
    if (::mount("tmpfs", In("").c_str(), "tmpfs", 0, "size=64k") != 0) {
      GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    }
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) ::umount(In("").c_str());
  }
  // Leaves about Free bytes of the file system unused.
  void FillLeaving(std::size_t Free) {
    std::ofstream filler(In("filler"), std::ios::binary);
    const std::vector<char> block(1024, 'f');
    while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) && filler.flush()) {
    }
    filler.close();
    fs::resize_file(In("filler"), fs::file_size(In("filler")) - Free);
  }
  std::size_t FilesHere() const {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(In("")), fs::directory_iterator()));
  }
  bool mounted_ = false;
};

TEST_F(FullDisk, ASaveThatDoesNotFitFailsWithTheReasonAndKeepsTheOldFile) {
  platform::SavePicture(CoordinatePicture(3, 3), In("keep.bmp").string());
  const Bytes before = ReadFile(In("keep.bmp"));
  // Larger than the whole file system, and then a 9.6 KB picture with about 4 KB free.
  ExpectSaveFails(CoordinatePicture(200, 200), In("keep.bmp"), "No space left on device");
  EXPECT_EQ(ReadFile(In("keep.bmp")), before);
  EXPECT_EQ(FilesHere(), 1u);
  FillLeaving(4096);
  ExpectSaveFails(CoordinatePicture(64, 50), In("keep.bmp"), "No space left on device");
  EXPECT_EQ(ReadFile(In("keep.bmp")), before);
  EXPECT_EQ(FilesHere(), 2u);
}

TEST_F(FullDisk, ANewNameThatDoesNotFitLeavesNoFile) {
  FillLeaving(4096);
  ExpectSaveFails(CoordinatePicture(64, 50), In("new.bmp"), "No space left on device");
  EXPECT_FALSE(fs::exists(In("new.bmp")));
  EXPECT_EQ(FilesHere(), 1u);
}

}  // namespace
