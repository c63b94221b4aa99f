// The Qt widget behind a window, for platform's own sources, which hand widgets
// to Qt (parents, dialog owners), and for tests that drive the real widgets.
// Nothing of the program's layers includes it: it needs Qt, which only platform
// and such tests link (the target morvane_platform_internal).
#pragma once

#include "platform/Window.h"

#include <QWidget>

#include <memory>

namespace platform {

struct Window::Native {
  // Not explicit: a control hands Window the widget it has made as it is.
  Native(QWidget* Widget) : Widget(Widget) {}
  std::unique_ptr<QWidget> Widget;
};

inline QWidget* NativeWidget(const Window& Window) { return Window.native().Widget.get(); }

// nullptr for a null handle.
inline QWidget* NativeWidget(Hwnd Window) { return Window == nullptr ? nullptr : NativeWidget(*Window); }

}  // namespace platform
