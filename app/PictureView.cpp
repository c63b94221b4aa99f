// PictureView: the zoom steps, the point kept under the pointer, and the
// clamping of the place to the picture.
#include "PictureView.h"

#include <algorithm>
#include <cmath>

namespace {

// The offset of a scaled extent in a box: centred when it fits, else kept
// within the picture.
long long Clamped(long long Offset, long long Scaled, long long Box) {
  if (Scaled <= Box) return -((Box - Scaled) / 2);
  return std::clamp(Offset, 0LL, Scaled - Box);
}

// One axis of the zoomed placement: the first picture pixel that shows, where
// it lands, and how many show.
struct Axis {
  int Dest;
  int DestExtent;
  int Src;
  int SrcExtent;
};

Axis ZoomedAxis(long long Offset, int Scale, int PictureSize, int BoxSize) {
  const long long first = Offset < 0 ? 0 : Offset / Scale;
  const long long dest = first * Scale - Offset;
  const long long shown = std::min<long long>(PictureSize - first, (BoxSize - dest + Scale - 1) / Scale);
  return {static_cast<int>(dest), static_cast<int>(shown * Scale), static_cast<int>(first),
          static_cast<int>(shown)};
}

}  // namespace

void PictureView::Reset(int PictureWidth, int PictureHeight, int BoxWidth, int BoxHeight,
                        int FitLeft, int FitTop, int FitWidth, int FitHeight, double Ratio) {
  ratio_ = Ratio;
  picture_width_ = PictureWidth;
  picture_height_ = PictureHeight;
  box_width_ = Device(BoxWidth);
  box_height_ = Device(BoxHeight);
  fit_ = {Device(FitLeft), Device(FitTop), Device(FitWidth), Device(FitHeight), 0, 0,
          PictureWidth, PictureHeight};
  level_ = kFitted;
}

int PictureView::Device(int Logical) const {
  return static_cast<int>(std::lround(Logical * ratio_));
}

bool PictureView::Zoom(int Steps, int X, int Y) {
  return ZoomTo(Stepped(Steps), Device(X), Device(Y));
}

int PictureView::Stepped(int Steps) const {
  // Device pixels a picture pixel takes when fitted.
  const double fitted = static_cast<double>(fit_.DestWidth) / std::max(picture_width_, 1);
  const auto shown_larger = [fitted](int Level) { return (1 << Level) > fitted; };
  int level = level_;
  for (; Steps > 0 && level < kLargest; --Steps) {
    do ++level; while (level < kLargest && !shown_larger(level));
    if (!shown_larger(level)) return level_;
  }
  for (; Steps < 0 && level > kFitted; ++Steps) {
    do --level; while (level > kFitted && !shown_larger(level));
  }
  return level;
}

bool PictureView::ActualSize() { return ZoomTo(0, box_width_ / 2, box_height_ / 2); }

bool PictureView::Fit() { return ZoomTo(kFitted, 0, 0); }

bool PictureView::ZoomTo(int Level, int X, int Y) {
  if (Level == level_ || picture_width_ < 1 || picture_height_ < 1) return false;
  // The picture point under X, Y as now shown, in picture pixels.
  double picture_x = 0;
  double picture_y = 0;
  if (level_ == kFitted) {
    picture_x = static_cast<double>(X - fit_.DestX) * picture_width_ / std::max(fit_.DestWidth, 1);
    picture_y =
        static_cast<double>(Y - fit_.DestY) * picture_height_ / std::max(fit_.DestHeight, 1);
  } else {
    picture_x = static_cast<double>(offset_x_ + X) / Scale();
    picture_y = static_cast<double>(offset_y_ + Y) / Scale();
  }
  level_ = Level;
  if (level_ != kFitted) {
    offset_x_ = std::llround(picture_x * Scale()) - X;
    offset_y_ = std::llround(picture_y * Scale()) - Y;
    Clamp();
  }
  return true;
}

bool PictureView::Pan(int Dx, int Dy) {
  if (level_ == kFitted) return false;
  const long long x = offset_x_;
  const long long y = offset_y_;
  offset_x_ -= Device(Dx);
  offset_y_ -= Device(Dy);
  Clamp();
  return x != offset_x_ || y != offset_y_;
}

void PictureView::Clamp() {
  offset_x_ = Clamped(offset_x_, static_cast<long long>(picture_width_) * Scale(), box_width_);
  offset_y_ = Clamped(offset_y_, static_cast<long long>(picture_height_) * Scale(), box_height_);
}

PictureView::Placement PictureView::Where(double LayerRatio) const {
  Placement at = DeviceWhere();
  if (LayerRatio == ratio_) return at;
  // The edges are scaled, so that the rectangle covers the same part of the box.
  const double scale = LayerRatio / ratio_;
  const auto edge = [scale](int Device) { return static_cast<int>(std::lround(Device * scale)); };
  const int right = edge(at.DestX + at.DestWidth);
  const int bottom = edge(at.DestY + at.DestHeight);
  at.DestX = edge(at.DestX);
  at.DestY = edge(at.DestY);
  at.DestWidth = right - at.DestX;
  at.DestHeight = bottom - at.DestY;
  return at;
}

std::optional<int> PictureView::ZoomPercent() const {
  if (level_ == kFitted) return std::nullopt;
  return 100 * Scale();
}

// The pixel that the stretch into the box's image samples for X, Y: the one
// under the destination pixel's centre.
std::optional<PictureView::Point> PictureView::PictureAt(int X, int Y) const {
  const Placement at = Where(1);
  const auto axis = [](int Offset, int Extent, int Src, int SrcExtent) -> std::optional<int> {
    if (Offset < 0 || Offset >= Extent) return std::nullopt;
    return Src + static_cast<int>((2LL * Offset + 1) * SrcExtent / (2LL * Extent));
  };
  const std::optional<int> x = axis(X - at.DestX, at.DestWidth, at.SrcX, at.SrcWidth);
  const std::optional<int> y = axis(Y - at.DestY, at.DestHeight, at.SrcY, at.SrcHeight);
  if (!x || !y || picture_width_ < 1) return std::nullopt;
  return Point{*x, *y};
}

PictureView::Placement PictureView::DeviceWhere() const {
  if (level_ == kFitted) return fit_;
  const Axis x = ZoomedAxis(offset_x_, Scale(), picture_width_, box_width_);
  const Axis y = ZoomedAxis(offset_y_, Scale(), picture_height_, box_height_);
  return {x.Dest, y.Dest, x.DestExtent, y.DestExtent, x.Src, y.Src, x.SrcExtent, y.SrcExtent};
}
