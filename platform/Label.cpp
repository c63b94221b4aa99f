// Label over QLabel, sized to its text after every change of caption.
#include "Label.h"

#include "internal/NativeWidget.h"

#include <QLabel>

namespace platform {

namespace {

QLabel* MakeLabel(Form& Parent, int Left, int Top) {
  auto* label = new QLabel(NativeWidget(Parent.hWnd()));
  label->move(Left, Top);
  label->setTextFormat(Qt::PlainText);
  return label;
}

}  // namespace

Label::Label(Form& Parent, int Left, int Top, const std::string& Caption)
    : Window(MakeLabel(Parent, Left, Top)) {
  SetCaption(Caption);
}

std::string Label::Caption() const { return static_cast<QLabel*>(NativeWidget(*this))->text().toStdString(); }

void Label::SetCaption(const std::string& Caption) {
  auto* label = static_cast<QLabel*>(NativeWidget(*this));
  label->setText(QString::fromStdString(Caption));
  label->adjustSize();
}

}  // namespace platform
