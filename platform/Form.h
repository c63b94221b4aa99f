// Form: a top-level window with a caption and a client area of a given size,
// which its controls are placed on in pixels and which reports its closing and
// the files dropped on it.
#pragma once

#include "Window.h"

#include <functional>
#include <initializer_list>
#include <string>

namespace platform {

class Form : public Window {
 public:
  // The frame is sizable and has a minimize box but no maximize box: the controls
  // keep their places, so a maximized window would only show empty space.
  Form(const std::string& Caption, int ClientWidth, int ClientHeight);

  std::string Caption() const;
  int ClientWidth() const;
  int ClientHeight() const;

  // Centres the window on its screen and shows it.
  void Show();

  // Tab moves through the controls in this order and wraps round.
  void SetTabOrder(std::initializer_list<Window*> Controls);

  // Called when the window closes, by any means of its frame.
  void OnUnload(std::function<void()> Handler);

  // Called with the local path of a file dropped on the window, from a file
  // manager for instance. Drops of anything but one local file are refused.
  void OnDropFile(std::function<void(const std::string& Path)> Handler);
};

}  // namespace platform
