// Window: geometry, visibility, focus and tooltip of a native widget.
#include "Window.h"

#include "internal/NativeWidget.h"

#include <utility>

namespace platform {

Window::Window(Native Widget) : native_(std::make_unique<Native>(std::move(Widget))) {}

Window::~Window() = default;

int Window::Left() const { return native_->Widget->x(); }
int Window::Top() const { return native_->Widget->y(); }
int Window::Width() const { return native_->Widget->width(); }
int Window::Height() const { return native_->Widget->height(); }

// The window's own setting, as for a control on a form that is not shown yet.
bool Window::Visible() const { return !native_->Widget->isHidden(); }

void Window::SetVisible(bool Visible) { native_->Widget->setVisible(Visible); }

void Window::SetFocus() { native_->Widget->setFocus(Qt::OtherFocusReason); }

std::string Window::ToolTip() const { return native_->Widget->toolTip().toStdString(); }

void Window::SetToolTip(const std::string& Text) { native_->Widget->setToolTip(QString::fromStdString(Text)); }

}  // namespace platform
