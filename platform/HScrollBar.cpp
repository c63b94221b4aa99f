// HScrollBar over QScrollBar without tracking, so that a drag reports its end only.
#include "HScrollBar.h"

#include "internal/FocusFrame.h"
#include "internal/NativeWidget.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QScrollBar>
#include <QTimerEvent>

#include <utility>

namespace platform {

namespace {

// QScrollBar inverts its keys (so that the wheel scrolls the natural way) because
// it normally never has the focus; this one does, so the keys move it as a
// scroll bar with the focus moves on the classic desktop: left and up lower the
// value, right and down raise it, Page Up and Page Down by the large step.
class ScrollBarWidget : public QScrollBar {
 public:
  explicit ScrollBarWidget(QWidget* Parent) : QScrollBar(Qt::Horizontal, Parent) {}

  void Report(const std::function<void()>& Handler) {
    const bool outer = std::exchange(reporting_, true);
    Handler();
    reporting_ = outer;
  }

 protected:
  // A handler that puts up a modal box runs the event loop until the box
  // closes, and the held arrow's or track's repeat would go on moving the bar
  // and reporting behind it, one box over the other. The box has taken over
  // from the press, so the press ends there.
  void timerEvent(QTimerEvent* Event) override {
    if (reporting_ && repeatAction() != SliderNoAction) {
      QMouseEvent release(QEvent::MouseButtonRelease, QPointF(), QPointF(), Qt::LeftButton,
                          Qt::NoButton, Qt::NoModifier);
      mouseReleaseEvent(&release);
      return;
    }
    QScrollBar::timerEvent(Event);
  }

  // The style draws no focus on a scroll bar, which rarely has it; this one does.
  void paintEvent(QPaintEvent* Event) override {
    QScrollBar::paintEvent(Event);
    if (hasFocus()) DrawFocusFrame(*this);
  }

  void keyPressEvent(QKeyEvent* Event) override {
    switch (Event->key()) {
      case Qt::Key_Left:
      case Qt::Key_Up:
        triggerAction(SliderSingleStepSub);
        break;
      case Qt::Key_Right:
      case Qt::Key_Down:
        triggerAction(SliderSingleStepAdd);
        break;
      case Qt::Key_PageUp:
        triggerAction(SliderPageStepSub);
        break;
      case Qt::Key_PageDown:
        triggerAction(SliderPageStepAdd);
        break;
      case Qt::Key_Home:
        triggerAction(SliderToMinimum);
        break;
      case Qt::Key_End:
        triggerAction(SliderToMaximum);
        break;
      default:
        QScrollBar::keyPressEvent(Event);
    }
  }

 private:
  bool reporting_ = false;
};

QScrollBar* MakeScrollBar(Form& Parent, Rect Place) {
  auto* bar = new ScrollBarWidget(NativeWidget(Parent.hWnd()));
  bar->setGeometry(Place.Left, Place.Top, Place.Width, Place.Height);
  bar->setTracking(false);
  bar->setFocusPolicy(Qt::StrongFocus);
  return bar;
}

ScrollBarWidget* Bar(QWidget* Widget) { return static_cast<ScrollBarWidget*>(Widget); }

}  // namespace

HScrollBar::HScrollBar(Form& Parent, Rect Place) : Window(MakeScrollBar(Parent, Place)) {}

int HScrollBar::Min() const { return Bar(NativeWidget(*this))->minimum(); }
int HScrollBar::Max() const { return Bar(NativeWidget(*this))->maximum(); }
int HScrollBar::SmallChange() const { return Bar(NativeWidget(*this))->singleStep(); }
int HScrollBar::LargeChange() const { return Bar(NativeWidget(*this))->pageStep(); }
int HScrollBar::Value() const { return Bar(NativeWidget(*this))->value(); }

void HScrollBar::SetRange(int Min, int Max) { Bar(NativeWidget(*this))->setRange(Min, Max); }
void HScrollBar::SetSmallChange(int Step) { Bar(NativeWidget(*this))->setSingleStep(Step); }
void HScrollBar::SetLargeChange(int Step) { Bar(NativeWidget(*this))->setPageStep(Step); }
void HScrollBar::SetValue(int Value) { Bar(NativeWidget(*this))->setValue(Value); }

void HScrollBar::OnChange(std::function<void()> Handler) {
  ScrollBarWidget* const bar = Bar(NativeWidget(*this));
  QObject::connect(bar, &QScrollBar::valueChanged,
                   [bar, Handler = std::move(Handler)](int) { bar->Report(Handler); });
}

}  // namespace platform
