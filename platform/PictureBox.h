// PictureBox: a flat, borderless box that keeps a persistent image of its drawing
// area. Drawing through hDC() lands in that image; Refresh and every repaint show
// it, so the box never needs a handler to redraw itself.
#pragma once

#include "Drawing.h"
#include "Form.h"
#include "Picture.h"

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

  // Shows the persistent image now.
  void Refresh();

  // The persistent image as a picture, at the screen's metric.
  Picture Image() const;
};

}  // namespace platform
