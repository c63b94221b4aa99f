// PictureBox: a widget that owns a drawing-layer bitmap selected into its own
// memory context and paints it by wrapping the bytes, with no per-pixel work.
#include "PictureBox.h"

#include "Errors.h"
#include "NativeWidget.h"
#include "Screen.h"
#include "Surface.h"

#include <QImage>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace platform {

namespace {

class PictureBoxWidget : public QWidget {
 public:
  explicit PictureBoxWidget(QWidget* Parent) : QWidget(Parent) {
    setFocusPolicy(Qt::StrongFocus);
  }

  ~PictureBoxWidget() override {
    // Let go of the bitmap before it is freed.
    context_.Select(StockBitmap());
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
  }

  void Clear() {
    if (image_) Fill(*image_, Background());
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    if (!image_) {
      painter.fillRect(rect(), Background());
      return;
    }
    const QImage view(image_->Bits(), image_->Width(), image_->Height(), image_->Stride(),
                      QImage::Format_BGR888);
    painter.drawImage(0, 0, view);
  }

 private:
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
};

PictureBoxWidget* Box(QWidget* Widget) { return static_cast<PictureBoxWidget*>(Widget); }

}  // namespace

PictureBox::PictureBox(Form& Parent, Rect Place)
    : Window(new PictureBoxWidget(NativeWidget(Parent.hWnd()))) {
  Move(Place.Left, Place.Top, Place.Width, Place.Height);
}

void PictureBox::Move(int Left, int Top, int Width, int Height) {
  Box(widget())->Resize(Width, Height);
  widget()->setGeometry(Left, Top, Width, Height);
}

Hdc PictureBox::hDC() const {
  return Box(widget())->Image() != nullptr ? &Box(widget())->Context() : nullptr;
}

void PictureBox::Cls() { Box(widget())->Clear(); }

void PictureBox::Refresh() { widget()->repaint(); }

Picture PictureBox::Image() const {
  const Bitmap* image = Box(widget())->Image();
  if (image == nullptr) return Picture({}, 0, 0, TwipsPerPixelX(), TwipsPerPixelY());
  const std::size_t bytes = static_cast<std::size_t>(image->Stride()) * image->Height();
  return Picture(std::vector<std::uint8_t>(image->Bits(), image->Bits() + bytes), image->Width(),
                 image->Height(), TwipsPerPixelX(), TwipsPerPixelY());
}

}  // namespace platform
