// Form: the top-level widget, its frame, centring and close notification.
#include "Form.h"

#include "NativeWidget.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>

#include <utility>

namespace platform {

namespace {

class FormWidget : public QWidget {
 public:
  FormWidget() {
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
  }

  std::function<void()> Unload;

 protected:
  void closeEvent(QCloseEvent* Event) override {
    if (Unload) Unload();
    Event->accept();
  }
};

}  // namespace

Form::Form(const std::string& Caption, int ClientWidth, int ClientHeight)
    : Window(new FormWidget) {
  widget()->setWindowTitle(QString::fromStdString(Caption));
  widget()->resize(ClientWidth, ClientHeight);
}

std::string Form::Caption() const { return widget()->windowTitle().toStdString(); }

int Form::ClientWidth() const { return widget()->width(); }

int Form::ClientHeight() const { return widget()->height(); }

void Form::Show() {
  QScreen* screen = widget()->screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    widget()->setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, widget()->size(),
                                              screen->availableGeometry()));
  }
  widget()->show();
}

void Form::SetTabOrder(std::initializer_list<Window*> Controls) {
  Window* previous = nullptr;
  for (Window* control : Controls) {
    if (previous != nullptr) QWidget::setTabOrder(NativeWidget(previous), NativeWidget(control));
    previous = control;
  }
}

void Form::OnUnload(std::function<void()> Handler) {
  static_cast<FormWidget*>(widget())->Unload = std::move(Handler);
}

}  // namespace platform
