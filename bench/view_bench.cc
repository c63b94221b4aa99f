// view_bench: the cost of one redraw of a picture box for a 6000 x 4000
// picture, fitted, at 100 % and at 800 %: clearing the 600 x 450 box,
// stretching the part of the picture that shows into it (or the difference of
// result and source), and repainting the box's widget. Runs on Qt's offscreen
// platform unless another is set. Not a test.
#include "platform/Application.h"
#include "platform/Drawing.h"
#include "platform/Form.h"
#include "platform/PictureBox.h"

#include <QByteArray>
#include <QtGlobal>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace platform;

constexpr int kPictureWidth = 6000;
constexpr int kPictureHeight = 4000;
constexpr int kBoxWidth = 600;
constexpr int kBoxHeight = 450;

struct Surface {
  Surface(int Width, int Height) : width(Width), height(Height) {
    BitmapInfoHeader header;
    header.Width = Width;
    header.Height = -Height;
    dc = CreateCompatibleDC(GetDC());
    bitmap = CreateDIBSection(dc, header, DIB_RGB_COLORS, &bits);
    SelectObject(dc, bitmap);
  }
  int Stride() const { return static_cast<int>(StrideFor(width)); }

  int width;
  int height;
  Hdc dc = nullptr;
  Hbitmap bitmap = nullptr;
  std::uint8_t* bits = nullptr;
};

Surface& Picture(int Seed) {
  static Surface source(kPictureWidth, kPictureHeight);
  static Surface result(kPictureWidth, kPictureHeight);
  static const bool filled = [] {
    for (int y = 0; y < kPictureHeight; ++y) {
      std::uint8_t* a = source.bits + static_cast<std::size_t>(y) * source.Stride();
      std::uint8_t* b = result.bits + static_cast<std::size_t>(y) * result.Stride();
      for (int x = 0; x < 3 * kPictureWidth; ++x) {
        a[x] = static_cast<std::uint8_t>(x * 7 + y * 3);
        b[x] = static_cast<std::uint8_t>(a[x] + (x % 5));
      }
    }
    return true;
  }();
  static_cast<void>(filled);
  return Seed == 0 ? source : result;
}

// Scale 0: fitted (600 x 400 for the whole picture); else box pixels per
// picture pixel, around the picture's centre. Prints the median and minimum of
// Rounds redraws in milliseconds.
void Redraw(PictureBox& Box, int Scale, bool Difference, int Rounds) {
  Surface& source = Picture(0);
  Surface& result = Picture(1);

  int dest_x = 0, dest_y = 25, dest_w = 600, dest_h = 400;
  int src_x = 0, src_y = 0, src_w = kPictureWidth, src_h = kPictureHeight;
  if (Scale > 0) {
    src_w = kBoxWidth / Scale + 1;
    src_h = kBoxHeight / Scale + 1;
    src_x = kPictureWidth / 2 - src_w / 2;
    src_y = kPictureHeight / 2 - src_h / 2;
    dest_x = dest_y = -Scale / 2;
    dest_w = src_w * Scale;
    dest_h = src_h * Scale;
  }
  std::vector<double> times;
  for (int round = 0; round < Rounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    Box.Cls();
    if (Difference) {
      StretchDifference(Box.hDC(), dest_x, dest_y, dest_w, dest_h, result.dc, source.dc, src_x,
                        src_y, src_w, src_h);
    } else {
      StretchBlt(Box.hDC(), dest_x, dest_y, dest_w, dest_h, source.dc, src_x, src_y, src_w, src_h,
                 SRCCOPY);
    }
    Box.Refresh();
    times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() -
                                                              start)
                        .count());
  }
  std::sort(times.begin(), times.end());
  std::printf("%-10s %-6s %8.3f %8.3f\n", Difference ? "difference" : "picture",
              Scale == 0 ? "fit" : (std::to_string(100 * Scale) + "%").c_str(),
              times[times.size() / 2], times.front());
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
  platform::Application application(argc, argv);
  Form window("view_bench", kBoxWidth, kBoxHeight);
  PictureBox box(window, {0, 0, kBoxWidth, kBoxHeight});
  window.Show();
  constexpr int kRounds = 200;
  std::printf("one redraw of a 600 x 450 box from a %d x %d picture, %d rounds\n", kPictureWidth,
              kPictureHeight, kRounds);
  std::printf("%-10s %-6s %8s %8s\n", "shows", "zoom", "median", "min (ms)");
  for (const bool difference : {false, true}) {
    for (const int scale : {0, 1, 8}) Redraw(box, scale, difference, kRounds);
  }
  return 0;
}
