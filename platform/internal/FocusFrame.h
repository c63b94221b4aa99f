// FocusFrame: the mark that a control which draws itself shows while it has the
// keyboard focus, so that keys are seen to go to it.
#pragma once

class QWidget;

namespace platform {

// Paints a frame in the highlight colour along the inside of Widget's edges.
// Call at the end of the widget's paintEvent.
void DrawFocusFrame(QWidget& Widget);

}  // namespace platform
