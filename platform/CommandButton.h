// CommandButton: a push button with a caption that reports its clicks.
#pragma once

#include "Form.h"

#include <functional>
#include <string>

namespace platform {

class CommandButton : public Window {
 public:
  CommandButton(Form& Parent, Rect Place, const std::string& Caption);

  std::string Caption() const;

  // Called for a mouse click and for Space or Enter while the button has the focus.
  void OnClick(std::function<void()> Handler);
};

}  // namespace platform
