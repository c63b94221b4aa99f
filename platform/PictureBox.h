// PictureBox: a flat, borderless box that keeps a persistent image of its drawing
// area. Drawing through hDC() lands in that image; Refresh and every repaint show
// it, so the box never needs a handler to redraw itself. The box turns the mouse
// and its own keys into what the user asks of the picture it shows (zoom, pan,
// compare, the pixel under the pointer), shows when it has the focus, and can
// show a line of text over its corner.
#pragma once

#include "Drawing.h"
#include "Form.h"
#include "Picture.h"

#include <functional>
#include <string>

namespace platform {

class PictureBox : public Window {
 public:
  PictureBox(Form& Parent, Rect Place);

  // Places and sizes the box; its persistent image takes the new size, keeping
  // what overlaps and filling the rest with the background colour. Throws
  // PlatformError, with the box unchanged, when the image cannot be had.
  void Move(int Left, int Top, int Width, int Height);

  // The context of the persistent image. A box of no area has none to draw into.
  Hdc hDC() const;

  // Fills the persistent image with the background colour.
  void Cls();

  // Device pixels per logical pixel of the screen the box is on.
  double DevicePixelRatio() const;

  // With a ratio above 1, the context of a layer of the box at device pixels,
  // cleared at the first call after Cls; what is drawn there is shown instead
  // of the persistent image until the next Cls. nullptr at a ratio of 1.
  Hdc DeviceDC();

  // Shows the persistent image now.
  void Refresh();

  // The persistent image as a picture, at the screen's metric.
  Picture Image() const;

  // Text in a small dark plate over the top-left corner, on top of what the box
  // shows; it is not part of the persistent image. Empty shows none.
  void SetOverlay(const std::string& Text);
  std::string Overlay() const;

  // What the user asks of the picture shown; points are in the box's pixels.
  // Wheel and, with the focus, + / - zoom (Steps > 0 in, < 0 out) around the
  // pointer or the box's centre; a left-button drag pans by the pointer's move;
  // a double-click fits; the right button held compares. Hover follows the
  // pointer over the box, Leave tells that it has left.
  struct Gestures {
    std::function<void(int Steps, int X, int Y)> Zoom;
    std::function<void(int Dx, int Dy)> Pan;
    std::function<void()> Fit;
    std::function<void(bool Held)> Compare;
    std::function<void(int X, int Y)> Hover;
    std::function<void()> Leave;
  };
  void OnGestures(Gestures Handlers);
};

}  // namespace platform
