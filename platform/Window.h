// Window: what the form and each of its controls have in common — a native
// widget behind a typed handle, a place in pixels, visibility, focus and tooltip.
#pragma once

#include <memory>
#include <string>

namespace platform {

class Window;

// The handle that dialogs and message boxes are owned by.
using Hwnd = Window*;

// A rectangle in pixels of the parent's client area.
struct Rect {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
};

class Window {
 public:
  // The toolkit's widget behind the window. Only platform's own sources and
  // tests that drive the real widgets know its type (internal/NativeWidget.h).
  struct Native;

  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  Hwnd hWnd() { return this; }

  int Left() const;
  int Top() const;
  int Width() const;
  int Height() const;

  bool Visible() const;
  void SetVisible(bool Visible);

  void SetFocus();

  // The text shown while the pointer rests on the window.
  std::string ToolTip() const;
  void SetToolTip(const std::string& Text);

  const Native& native() const { return *native_; }

 protected:
  // Takes ownership of the widget; a child widget is deleted before its parent
  // because controls are members of the form that parents them.
  explicit Window(Native Widget);

 private:
  std::unique_ptr<Native> native_;
};

}  // namespace platform
