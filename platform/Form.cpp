// Form: the top-level widget, its frame, centring, and close and drop notification.
#include "Form.h"

#include "NativeWidget.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
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
    setAcceptDrops(true);
  }

  std::function<void()> Unload;
  std::function<void(const std::string&)> DropFile;

 protected:
  void closeEvent(QCloseEvent* Event) override {
    if (Unload) Unload();
    Event->accept();
  }

  void dragEnterEvent(QDragEnterEvent* Event) override {
    if (DropFile && !DroppedFile(*Event->mimeData()).isEmpty()) Event->acceptProposedAction();
  }

  void dropEvent(QDropEvent* Event) override {
    const QString path = DroppedFile(*Event->mimeData());
    if (!DropFile || path.isEmpty()) return;
    Event->acceptProposedAction();
    DropFile(path.toStdString());
  }

 private:
  // The window shows one picture, so only a drop of exactly one local file means
  // which one to show.
  static QString DroppedFile(const QMimeData& Data) {
    const QList<QUrl> urls = Data.urls();
    if (urls.size() != 1 || !urls.front().isLocalFile()) return {};
    return urls.front().toLocalFile();
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

void Form::OnDropFile(std::function<void(const std::string& Path)> Handler) {
  static_cast<FormWidget*>(widget())->DropFile = std::move(Handler);
}

}  // namespace platform
