// BoxCaptions: the overlay and readout texts, in the window's language.
#include "BoxCaptions.h"

namespace {

std::string Zoom(std::optional<int> ZoomPercent) {
  return ZoomPercent ? std::to_string(*ZoomPercent) + "%" : std::string();
}

std::string Joined(const std::string& A, const std::string& B) {
  return A.empty() || B.empty() ? A + B : A + "  " + B;
}

std::string Bytes(const std::uint8_t* Pixel) {
  return std::to_string(Pixel[0]) + " " + std::to_string(Pixel[1]) + " " +
         std::to_string(Pixel[2]);
}

std::string Signed(int Value) {
  std::string text = std::to_string(Value);
  if (Value > 0) text.insert(text.begin(), '+');
  return text;
}

}  // namespace

std::string ResultCaption(ResultMode Mode, const std::string& Build,
                          std::optional<int> ZoomPercent) {
  std::string mode;
  switch (Mode) {
    case ResultMode::Result:
      mode = "结果";
      break;
    case ResultMode::NoResult:
      mode = "无结果";
      break;
    case ResultMode::Source:
      mode = "原图";
      break;
    case ResultMode::Difference:
      mode = "差异 ×8";
      break;
  }
  if (Mode != ResultMode::Source && !Build.empty()) mode += "（" + Build + "）";
  return Joined(mode, Zoom(ZoomPercent));
}

std::string SourceCaption(std::optional<int> ZoomPercent) { return Zoom(ZoomPercent); }

std::string PixelReadout(int X, int Y, const std::uint8_t* Source, const std::uint8_t* Result,
                         const std::string& Build) {
  std::string text = "像素 (" + std::to_string(X) + ", " + std::to_string(Y) + ")  原图 BGR " +
                     Bytes(Source);
  if (Result == nullptr) return text + "  无结果";
  text += "  结果" + (Build.empty() ? std::string() : "（" + Build + "）") + " " + Bytes(Result);
  return text + "  差 " + Signed(Result[0] - Source[0]) + " " + Signed(Result[1] - Source[1]) +
         " " + Signed(Result[2] - Source[2]);
}
