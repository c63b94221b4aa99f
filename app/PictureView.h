// PictureView: which part of the picture the two boxes show and how large —
// fitted into the box, or at 100, 200, 400 or 800 % of its pixels — shared by
// both boxes so that they always show the same picture place. It works in the
// screen's device pixels, so that at 100 % a picture pixel is a device pixel
// also where a logical pixel has more of them.
#pragma once

#include <optional>

class PictureView {
 public:
  // Where to draw: the destination rectangle in the box and the picture's
  // rectangle stretched into it, as Cimage::Render takes them.
  struct Placement {
    int DestX = 0;
    int DestY = 0;
    int DestWidth = 0;
    int DestHeight = 0;
    int SrcX = 0;
    int SrcY = 0;
    int SrcWidth = 0;
    int SrcHeight = 0;

    bool operator==(const Placement&) const = default;
  };

  // A new picture, shown fitted at Fit, its display rectangle in the box; the
  // box and Fit in logical pixels, Ratio device pixels to one of them.
  void Reset(int PictureWidth, int PictureHeight, int BoxWidth, int BoxHeight, int FitLeft,
             int FitTop, int FitWidth, int FitHeight, double Ratio);

  // Each returns whether what is shown has changed; points and moves are in
  // logical pixels of the box.
  // Steps > 0 zooms in, < 0 out, keeping the picture point under X, Y there
  // as far as the picture's edges allow. Scales no larger than the fitted one
  // are passed over: a picture that fits the box whole is fitted at 100 %.
  bool Zoom(int Steps, int X, int Y);
  bool ActualSize();
  bool Fit();
  // Moves the picture by Dx, Dy, no farther than its edges.
  bool Pan(int Dx, int Dy);

  // The placement in a layer of the box with LayerRatio pixels to a logical
  // pixel: 1 for the box's own image, the device ratio for its device layer.
  Placement Where(double LayerRatio) const;

  // The zoom as a percentage of the picture's pixels; none while fitted.
  std::optional<int> ZoomPercent() const;

  struct Point {
    int X = 0;
    int Y = 0;
    bool operator==(const Point&) const = default;
  };
  // The picture pixel shown at X, Y of the box's own image; none outside the picture.
  std::optional<Point> PictureAt(int X, int Y) const;

 private:
  static constexpr int kFitted = -1;
  static constexpr int kLargest = 3;  // 800 %

  int Scale() const { return 1 << level_; }
  // The level Steps steps away from the current one, among those shown larger
  // than fitted.
  int Stepped(int Steps) const;
  int Device(int Logical) const;
  bool ZoomTo(int Level, int X, int Y);  // X, Y in device pixels
  void Clamp();
  Placement DeviceWhere() const;

  int picture_width_ = 0;
  int picture_height_ = 0;
  double ratio_ = 1;
  int box_width_ = 0;  // in device pixels, as everything below
  int box_height_ = 0;
  Placement fit_;
  int level_ = kFitted;
  // When zoomed: the scaled picture's pixel at the box's top-left corner;
  // negative when the scaled picture is narrower than the box and centred.
  long long offset_x_ = 0;
  long long offset_y_ = 0;
};
