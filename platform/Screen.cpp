// Screen metrics from Qt's primary screen.
#include "Screen.h"

#include <QGuiApplication>
#include <QScreen>

namespace platform {

namespace {

constexpr float kTwipsPerInch = 1440.0f;
constexpr float kTwipsPerPixelWithoutScreen = 15.0f;

template <typename DotsPerInch>
float TwipsPerPixel(DotsPerInch Dpi) {
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
    return kTwipsPerPixelWithoutScreen;
  }
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return kTwipsPerPixelWithoutScreen;
  const double dpi = Dpi(*screen);
  return dpi > 0 ? static_cast<float>(kTwipsPerInch / dpi) : kTwipsPerPixelWithoutScreen;
}

}  // namespace

float TwipsPerPixelX() {
  return TwipsPerPixel([](const QScreen& s) { return s.logicalDotsPerInchX(); });
}

float TwipsPerPixelY() {
  return TwipsPerPixel([](const QScreen& s) { return s.logicalDotsPerInchY(); });
}

}  // namespace platform
