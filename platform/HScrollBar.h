// HScrollBar: a horizontal scroll bar with a whole-number value that reports
// each change the user makes.
#pragma once

#include "Form.h"

#include <functional>

namespace platform {

class HScrollBar : public Window {
 public:
  HScrollBar(Form& Parent, Rect Place);

  int Min() const;
  int Max() const;
  int SmallChange() const;
  int LargeChange() const;
  int Value() const;

  void SetRange(int Min, int Max);
  void SetSmallChange(int Step);
  void SetLargeChange(int Step);
  void SetValue(int Value);

  // Called once for each arrow click, track click or key that moves the bar, and
  // once when a drag of the thumb ends at a new place; never while dragging. A
  // held arrow or track repeats, but not while Handler is still running: a
  // press whose handler opens a modal box ends there.
  void OnChange(std::function<void()> Handler);
};

}  // namespace platform
