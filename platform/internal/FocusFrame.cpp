// FocusFrame: a two-pixel highlight-coloured frame drawn over the widget.
#include "FocusFrame.h"

#include <QPainter>
#include <QPalette>
#include <QWidget>

namespace platform {

void DrawFocusFrame(QWidget& Widget) {
  QPainter painter(&Widget);
  painter.setPen(QPen(Widget.palette().color(QPalette::Highlight), 2));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(QRectF(Widget.rect()).adjusted(1, 1, -1, -1));
}

}  // namespace platform
