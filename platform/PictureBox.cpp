// PictureBox: a widget that owns a drawing-layer bitmap selected into its own
// memory context and paints it by wrapping the bytes, with no per-pixel work,
// with an overlay text painted over it, and that reports the user's zoom, pan,
// compare and pointer gestures.
#include "PictureBox.h"

#include "Errors.h"
#include "internal/FocusFrame.h"
#include "internal/NativeWidget.h"
#include "Screen.h"
#include "Surface.h"

#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace platform {

namespace {

class PictureBoxWidget : public QWidget {
 public:
  explicit PictureBoxWidget(QWidget* Parent) : QWidget(Parent) {
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
  }

  ~PictureBoxWidget() override {
    // Let go of the bitmaps before they are freed.
    context_.Select(StockBitmap());
    device_context_.Select(StockBitmap());
  }

  DeviceContext& Context() { return context_; }
  const Bitmap* Image() const { return image_.get(); }

  // The classic "window colour" — the background of documents and lists — is
  // what Qt calls the Base role; Qt's Window role is the dialog face.
  QColor Background() const { return palette().color(QPalette::Base); }

  void Resize(int Width, int Height) {
    std::unique_ptr<Bitmap> image;
    if (Width > 0 && Height > 0) {
      image = Bitmap::Create(Width, Height);
      if (!image) {
        throw PlatformError("a picture box cannot hold " + std::to_string(Width) + " x " +
                            std::to_string(Height) + " pixels: not enough memory");
      }
      Fill(*image, Background());
      if (image_) {
        StretchPixels(image->View(), 0, 0, image_->Width(), image_->Height(), image_->View(), 0, 0,
                      image_->Width(), image_->Height());
      }
    }
    context_.Select(image ? *image : StockBitmap());
    image_ = std::move(image);
    device_shown_ = false;
  }

  void Clear() {
    if (image_) Fill(*image_, Background());
    device_shown_ = false;
  }

  // Made at the box's size in device pixels when the screen has more of them
  // than logical pixels; nullptr otherwise, or when its memory cannot be had,
  // and the persistent image is shown as before.
  DeviceContext* DeviceLayer() {
    const double ratio = devicePixelRatioF();
    if (ratio <= 1 || !image_) return nullptr;
    const int width = static_cast<int>(std::ceil(image_->Width() * ratio));
    const int height = static_cast<int>(std::ceil(image_->Height() * ratio));
    if (!device_ || device_->Width() != width || device_->Height() != height) {
      device_context_.Select(StockBitmap());
      device_ = Bitmap::Create(width, height);
      if (!device_) return nullptr;
      device_context_.Select(*device_);
      device_shown_ = false;
    }
    if (!device_shown_) Fill(*device_, Background());
    device_shown_ = true;
    device_ratio_ = ratio;
    return &device_context_;
  }

  PictureBox::Gestures Handlers;
  QString Overlay;

 protected:
  void paintEvent(QPaintEvent*) override {
    {
      QPainter painter(this);
      if (!image_) {
        painter.fillRect(rect(), Background());
      } else if (device_shown_ && device_ratio_ == devicePixelRatioF()) {
        QImage view(device_->Bits(), device_->Width(), device_->Height(), device_->Stride(),
                    QImage::Format_BGR888);
        view.setDevicePixelRatio(device_ratio_);
        painter.drawImage(QPointF(0, 0), view);
      } else {
        const QImage view(image_->Bits(), image_->Width(), image_->Height(), image_->Stride(),
                          QImage::Format_BGR888);
        painter.drawImage(0, 0, view);
      }
      if (!Overlay.isEmpty()) PaintOverlay(painter);
    }
    if (hasFocus()) DrawFocusFrame(*this);
  }

  void focusInEvent(QFocusEvent* Event) override {
    update();
    QWidget::focusInEvent(Event);
  }

  void focusOutEvent(QFocusEvent* Event) override {
    update();
    QWidget::focusOutEvent(Event);
  }

  void wheelEvent(QWheelEvent* Event) override {
    // High-resolution wheels send parts of a notch; a step is taken per notch.
    wheel_ += Event->angleDelta().y();
    const int steps = wheel_ / QWheelEvent::DefaultDeltasPerStep;
    wheel_ -= steps * QWheelEvent::DefaultDeltasPerStep;
    const QPoint at = Event->position().toPoint();
    if (steps != 0 && Handlers.Zoom) Handlers.Zoom(steps, at.x(), at.y());
    Event->accept();
  }

  void mousePressEvent(QMouseEvent* Event) override {
    if (Event->button() == Qt::LeftButton) drag_from_ = Event->position().toPoint();
    if (Event->button() == Qt::RightButton && Handlers.Compare) Handlers.Compare(true);
    QWidget::mousePressEvent(Event);
  }

  void mouseMoveEvent(QMouseEvent* Event) override {
    const QPoint at = Event->position().toPoint();
    if (Event->buttons() & Qt::LeftButton) {
      const QPoint move = at - drag_from_;
      drag_from_ = at;
      if (!move.isNull() && Handlers.Pan) Handlers.Pan(move.x(), move.y());
    }
    if (Handlers.Hover) Handlers.Hover(at.x(), at.y());
  }

  void leaveEvent(QEvent* Event) override {
    if (Handlers.Leave) Handlers.Leave();
    QWidget::leaveEvent(Event);
  }

  void mouseReleaseEvent(QMouseEvent* Event) override {
    if (Event->button() == Qt::RightButton && Handlers.Compare) Handlers.Compare(false);
    QWidget::mouseReleaseEvent(Event);
  }

  void mouseDoubleClickEvent(QMouseEvent* Event) override {
    if (Event->button() == Qt::LeftButton && Handlers.Fit) Handlers.Fit();
  }

  // The box's own keys zoom around its centre; every other key goes on to the
  // window.
  void keyPressEvent(QKeyEvent* Event) override {
    const bool ctrl = Event->modifiers() & Qt::ControlModifier;
    const int key = Event->key();
    const int steps =
        ctrl ? 0 : key == Qt::Key_Plus || key == Qt::Key_Equal ? 1 : key == Qt::Key_Minus ? -1 : 0;
    if (steps == 0) {
      QWidget::keyPressEvent(Event);
      return;
    }
    if (Handlers.Zoom) Handlers.Zoom(steps, width() / 2, height() / 2);
  }

 private:
  void PaintOverlay(QPainter& Painter) {
    constexpr int kMargin = 4;
    constexpr int kPadding = 3;
    const QRect text =
        Painter.fontMetrics().boundingRect(QRect(0, 0, width(), height()), 0, Overlay);
    const QRect plate(kMargin, kMargin, text.width() + 2 * kPadding,
                      text.height() + 2 * kPadding);
    Painter.fillRect(plate, QColor(0, 0, 0, 190));
    Painter.setPen(Qt::white);
    Painter.drawText(plate.adjusted(kPadding, kPadding, -kPadding, -kPadding), 0, Overlay);
  }

  static void Fill(Bitmap& Image, const QColor& Colour) {
    const std::uint8_t bgr[3] = {static_cast<std::uint8_t>(Colour.blue()),
                                 static_cast<std::uint8_t>(Colour.green()),
                                 static_cast<std::uint8_t>(Colour.red())};
    for (int y = 0; y < Image.Height(); ++y) {
      std::uint8_t* row = Image.Bits() + static_cast<std::size_t>(y) * Image.Stride();
      for (int x = 0; x < Image.Width(); ++x) std::copy(bgr, bgr + 3, row + 3 * x);
    }
  }

  DeviceContext context_;
  std::unique_ptr<Bitmap> image_;
  DeviceContext device_context_;
  std::unique_ptr<Bitmap> device_;
  bool device_shown_ = false;
  double device_ratio_ = 1;
  int wheel_ = 0;
  QPoint drag_from_;
};

PictureBoxWidget* Box(QWidget* Widget) { return static_cast<PictureBoxWidget*>(Widget); }

}  // namespace

PictureBox::PictureBox(Form& Parent, Rect Place)
    : Window(new PictureBoxWidget(NativeWidget(Parent.hWnd()))) {
  Move(Place.Left, Place.Top, Place.Width, Place.Height);
}

void PictureBox::Move(int Left, int Top, int Width, int Height) {
  Box(NativeWidget(*this))->Resize(Width, Height);
  NativeWidget(*this)->setGeometry(Left, Top, Width, Height);
}

Hdc PictureBox::hDC() const {
  return Box(NativeWidget(*this))->Image() != nullptr ? &Box(NativeWidget(*this))->Context() : nullptr;
}

void PictureBox::Cls() { Box(NativeWidget(*this))->Clear(); }

double PictureBox::DevicePixelRatio() const { return NativeWidget(*this)->devicePixelRatioF(); }

Hdc PictureBox::DeviceDC() { return Box(NativeWidget(*this))->DeviceLayer(); }

void PictureBox::Refresh() { NativeWidget(*this)->repaint(); }

Picture PictureBox::Image() const {
  const Bitmap* image = Box(NativeWidget(*this))->Image();
  if (image == nullptr) return Picture({}, 0, 0, TwipsPerPixelX(), TwipsPerPixelY());
  const std::size_t bytes = static_cast<std::size_t>(image->Stride()) * image->Height();
  return Picture(std::vector<std::uint8_t>(image->Bits(), image->Bits() + bytes), image->Width(),
                 image->Height(), TwipsPerPixelX(), TwipsPerPixelY());
}

void PictureBox::SetOverlay(const std::string& Text) {
  const QString overlay = QString::fromStdString(Text);
  if (overlay == Box(NativeWidget(*this))->Overlay) return;
  Box(NativeWidget(*this))->Overlay = overlay;
  NativeWidget(*this)->update();
}

std::string PictureBox::Overlay() const { return Box(NativeWidget(*this))->Overlay.toStdString(); }

void PictureBox::OnGestures(Gestures Handlers) { Box(NativeWidget(*this))->Handlers = std::move(Handlers); }

}  // namespace platform
