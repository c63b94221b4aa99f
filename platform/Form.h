// Form: a top-level window with a caption and a client area of a given size,
// which its controls are placed on in pixels and which reports its closing, the
// files dropped on it and the keys its controls leave alone.
#pragma once

#include "Window.h"

#include <functional>
#include <initializer_list>
#include <string>

namespace platform {

// A key that the window acts on, whatever control has the focus.
struct KeyStroke {
  // The character on the key, letters in upper case: 'D', '\\', '[', '0'; 0 for
  // keys without one.
  char Key = 0;
  bool Control = false;
  // A press made by holding the key down, not a new press.
  bool Repeat = false;
};

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

  // KeyDown is called for each key press that the control with the focus
  // leaves alone, and returns whether the window used it. Of a used key, KeyUp
  // is called once, when the key is let go or the window stops being the active
  // one: the release-and-press pairs that X11 sends while a key is held come as
  // presses marked Repeat.
  void OnKeys(std::function<bool(const KeyStroke&)> KeyDown,
              std::function<void(const KeyStroke&)> KeyUp);
};

}  // namespace platform
