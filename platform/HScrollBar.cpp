// HScrollBar over QScrollBar without tracking, so that a drag reports its end only.
#include "HScrollBar.h"

#include "NativeWidget.h"

#include <QScrollBar>

#include <utility>

namespace platform {

namespace {

QScrollBar* MakeScrollBar(Form& Parent, Rect Place) {
  auto* bar = new QScrollBar(Qt::Horizontal, NativeWidget(Parent.hWnd()));
  bar->setGeometry(Place.Left, Place.Top, Place.Width, Place.Height);
  bar->setTracking(false);
  bar->setFocusPolicy(Qt::StrongFocus);
  return bar;
}

QScrollBar* Bar(QWidget* Widget) { return static_cast<QScrollBar*>(Widget); }

}  // namespace

HScrollBar::HScrollBar(Form& Parent, Rect Place) : Window(MakeScrollBar(Parent, Place)) {}

int HScrollBar::Min() const { return Bar(widget())->minimum(); }
int HScrollBar::Max() const { return Bar(widget())->maximum(); }
int HScrollBar::SmallChange() const { return Bar(widget())->singleStep(); }
int HScrollBar::LargeChange() const { return Bar(widget())->pageStep(); }
int HScrollBar::Value() const { return Bar(widget())->value(); }

void HScrollBar::SetRange(int Min, int Max) { Bar(widget())->setRange(Min, Max); }
void HScrollBar::SetSmallChange(int Step) { Bar(widget())->setSingleStep(Step); }
void HScrollBar::SetLargeChange(int Step) { Bar(widget())->setPageStep(Step); }
void HScrollBar::SetValue(int Value) { Bar(widget())->setValue(Value); }

void HScrollBar::OnChange(std::function<void()> Handler) {
  QObject::connect(Bar(widget()), &QScrollBar::valueChanged,
                   [Handler = std::move(Handler)](int) { Handler(); });
}

}  // namespace platform
