// The Qt widget behind a window handle, for the parts of platform/ that hand
// widgets to Qt (dialog owners) and for tests that drive the real widgets.
#pragma once

#include "Window.h"

#include <QWidget>

namespace platform {

// nullptr for a null handle.
QWidget* NativeWidget(Hwnd Window);

}  // namespace platform
