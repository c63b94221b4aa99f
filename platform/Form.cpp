// Form: the top-level widget, its frame, centring, close and drop notification,
// and the keys that reach it.
#include "Form.h"

#include "internal/NativeWidget.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QUrl>

#include <cstdint>
#include <map>
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
  std::function<bool(const KeyStroke&)> KeyDown;
  std::function<void(const KeyStroke&)> KeyUp;

 protected:
  // Keys reach the window when the focused control leaves them alone.
  void keyPressEvent(QKeyEvent* Event) override {
    KeyStroke stroke = StrokeOf(*Event);
    if (stroke.Key == 0 || !KeyDown) {
      QWidget::keyPressEvent(Event);
      return;
    }
    const auto held = held_.find(stroke.Key);
    bool holding = held != held_.end();
    if (holding && held->second.Release != 0 && !SamePair(held->second, *Event)) {
      Release(stroke.Key);  // a new press after a real release not told yet
      holding = false;
    }
    stroke.Repeat = Event->isAutoRepeat() || holding;
    const unsigned deactivations = deactivations_;
    if (!KeyDown(stroke)) {
      Event->ignore();
      return;
    }
    // A modal box that the press put up has taken the key's release.
    if (deactivations_ != deactivations) return;
    HeldKey& key = held_[stroke.Key];
    if (!holding) key.Stroke = {stroke.Key, stroke.Control, false};
    key.Release = 0;
    key.ReleasedAt = 0;
  }

  void keyReleaseEvent(QKeyEvent* Event) override {
    const auto held = held_.find(StrokeOf(*Event).Key);
    if (held == held_.end() || Event->isAutoRepeat()) {
      QWidget::keyReleaseEvent(Event);
      return;
    }
    // Told once no press of the pair has followed.
    const unsigned release = ++releases_;
    held->second.Release = release;
    held->second.ReleasedAt = Event->timestamp();
    QTimer::singleShot(kReleaseSettleMs, this, [this, key = held->first, release] {
      const auto still = held_.find(key);
      if (still != held_.end() && still->second.Release == release) Release(key);
    });
  }

  void changeEvent(QEvent* Event) override {
    if (Event->type() == QEvent::ActivationChange && !isActiveWindow()) {
      ++deactivations_;
      while (!held_.empty()) Release(held_.begin()->first);
    }
    QWidget::changeEvent(Event);
  }

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
  // X11 repeats a held key as a release and a press with one time stamp. Qt
  // marks the pair as a repeat only when the press has already arrived as it
  // reads the release; otherwise the release looks real until the press comes,
  // which this long a wait covers.
  static constexpr int kReleaseSettleMs = 60;

  struct HeldKey {
    KeyStroke Stroke;
    unsigned Release = 0;         // the release waiting to be told, 0 for none
    std::uint64_t ReleasedAt = 0;  // its time stamp
  };

  static KeyStroke StrokeOf(const QKeyEvent& Event) {
    const int key = Event.key();
    KeyStroke stroke;
    if (key > 0x20 && key < 0x7f) stroke.Key = static_cast<char>(key);
    stroke.Control = Event.modifiers() & Qt::ControlModifier;
    return stroke;
  }

  // A time stamp of 0 is none: such presses are never taken for a repeat.
  static bool SamePair(const HeldKey& Held, const QKeyEvent& Press) {
    return Press.timestamp() != 0 && Press.timestamp() == Held.ReleasedAt;
  }

  void Release(char Key) {
    const auto held = held_.find(Key);
    if (held == held_.end()) return;
    const KeyStroke stroke = held->second.Stroke;
    held_.erase(held);
    if (KeyUp) KeyUp(stroke);
  }

  std::map<char, HeldKey> held_;
  unsigned releases_ = 0;
  unsigned deactivations_ = 0;

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
  NativeWidget(*this)->setWindowTitle(QString::fromStdString(Caption));
  NativeWidget(*this)->resize(ClientWidth, ClientHeight);
}

std::string Form::Caption() const { return NativeWidget(*this)->windowTitle().toStdString(); }

int Form::ClientWidth() const { return NativeWidget(*this)->width(); }

int Form::ClientHeight() const { return NativeWidget(*this)->height(); }

void Form::Show() {
  QWidget* const form = NativeWidget(*this);
  QScreen* screen = form->screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen != nullptr) {
    form->setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, form->size(),
                                          screen->availableGeometry()));
  }
  form->show();
}

void Form::SetTabOrder(std::initializer_list<Window*> Controls) {
  Window* previous = nullptr;
  for (Window* control : Controls) {
    if (previous != nullptr) QWidget::setTabOrder(NativeWidget(previous), NativeWidget(control));
    previous = control;
  }
}

void Form::OnUnload(std::function<void()> Handler) {
  static_cast<FormWidget*>(NativeWidget(*this))->Unload = std::move(Handler);
}

void Form::OnDropFile(std::function<void(const std::string& Path)> Handler) {
  static_cast<FormWidget*>(NativeWidget(*this))->DropFile = std::move(Handler);
}

void Form::OnKeys(std::function<bool(const KeyStroke&)> KeyDown,
                  std::function<void(const KeyStroke&)> KeyUp) {
  auto* form = static_cast<FormWidget*>(NativeWidget(*this));
  form->KeyDown = std::move(KeyDown);
  form->KeyUp = std::move(KeyUp);
}

}  // namespace platform
