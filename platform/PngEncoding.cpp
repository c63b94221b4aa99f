// PngEncoding with QImage's PNG writer into a memory buffer.
#include "PngEncoding.h"

#include "Errors.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>

namespace platform {

std::vector<std::uint8_t> EncodePng(const std::uint8_t* Pixels, int Width, int Height, int Stride) {
  const QImage image(Pixels, Width, Height, Stride, QImage::Format_BGR888);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (image.isNull() || !image.save(&buffer, "PNG")) {
    throw PlatformError("cannot encode a " + std::to_string(Width) + " x " + std::to_string(Height) +
                        " picture as PNG");
  }
  return {bytes.begin(), bytes.end()};
}

}  // namespace platform
