// Window: geometry, visibility, focus and tooltip of a native widget.
#include "Window.h"

#include "NativeWidget.h"

namespace platform {

Window::Window(QWidget* Widget) : widget_(Widget) {}

Window::~Window() { delete widget_; }

int Window::Left() const { return widget_->x(); }
int Window::Top() const { return widget_->y(); }
int Window::Width() const { return widget_->width(); }
int Window::Height() const { return widget_->height(); }

// The window's own setting, as for a control on a form that is not shown yet.
bool Window::Visible() const { return !widget_->isHidden(); }

void Window::SetVisible(bool Visible) { widget_->setVisible(Visible); }

void Window::SetFocus() { widget_->setFocus(Qt::OtherFocusReason); }

std::string Window::ToolTip() const { return widget_->toolTip().toStdString(); }

void Window::SetToolTip(const std::string& Text) { widget_->setToolTip(QString::fromStdString(Text)); }

QWidget* NativeWidget(Hwnd Window) { return Window == nullptr ? nullptr : Window->widget_; }

}  // namespace platform
