// CommandButton over QPushButton.
#include "CommandButton.h"

#include "internal/NativeWidget.h"

#include <QPushButton>

#include <utility>

namespace platform {

namespace {

QPushButton* MakeButton(Form& Parent, Rect Place, const std::string& Caption) {
  auto* button = new QPushButton(QString::fromStdString(Caption), NativeWidget(Parent.hWnd()));
  button->setGeometry(Place.Left, Place.Top, Place.Width, Place.Height);
  // As on the classic desktop, Enter presses the focused button, not only Space.
  button->setAutoDefault(true);
  return button;
}

}  // namespace

CommandButton::CommandButton(Form& Parent, Rect Place, const std::string& Caption)
    : Window(MakeButton(Parent, Place, Caption)) {}

std::string CommandButton::Caption() const {
  return static_cast<QPushButton*>(NativeWidget(*this))->text().toStdString();
}

void CommandButton::OnClick(std::function<void()> Handler) {
  QObject::connect(static_cast<QPushButton*>(NativeWidget(*this)), &QPushButton::clicked,
                   [Handler = std::move(Handler)] { Handler(); });
}

}  // namespace platform
