// Zoom, pan, compare and difference in the two picture boxes, driven by the
// wheel, the mouse and the keys as a user would, and checked pixel by pixel
// against the images the window holds.
#include "WindowFixture.h"

#include "platform/internal/NativeWidget.h"

#include <QApplication>
#include <QKeyEvent>
#include <QRegularExpression>
#include <QTest>
#include <QWheelEvent>

#include <algorithm>

namespace {

constexpr int kStrength = 5;

class ViewTest : public WindowTest {
 protected:
  using WindowTest::WindowTest;

  static QWidget* Widget(platform::Window& Box) { return platform::NativeWidget(Box.hWnd()); }

  void Wheel(platform::Window& Box, QPoint At, int Notches) {
    QWidget* widget = Widget(Box);
    QWheelEvent event(At, widget->mapToGlobal(At), QPoint(),
                      QPoint(0, Notches * QWheelEvent::DefaultDeltasPerStep), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
  }

  void Drag(platform::Window& Box, QPoint From, QPoint To) {
    QTest::mousePress(Widget(Box), Qt::LeftButton, {}, From);
    QTest::mouseMove(Widget(Box), (From + To) / 2);
    QTest::mouseMove(Widget(Box), To);
    QTest::mouseRelease(Widget(Box), Qt::LeftButton, {}, To);
  }

  void Key(platform::Window& Box, Qt::Key Which, Qt::KeyboardModifiers Modifiers = {}) {
    QTest::keyClick(Widget(Box), Which, Modifiers);
  }

  // True when box pixel (X, Y) shows picture pixel (X + Left) / Scale, (Y + Top)
  // / Scale of Picture for every pixel of the box, each byte plus Add.
  static bool Shows(const Pixels& Box, const Pixels& Picture, int Left, int Top, int Scale,
                    int Add = 0) {
    for (int y = 0; y < Box.Height; ++y) {
      for (int x = 0; x < Box.Width; ++x) {
        const std::uint8_t* shown = Box.At(x, y);
        const std::uint8_t* held = Picture.At((x + Left) / Scale, (y + Top) / Scale);
        for (int c = 0; c < 3; ++c) {
          if (shown[c] != static_cast<std::uint8_t>(held[c] + Add)) return false;
        }
      }
    }
    return true;
  }

  void OpenLarge() {
    Open(WritePicture("large.bmp", 800, 600));
    picture = PixelsOf(form->SrcImage);
    fitted_source = Source();
    fitted_result = Result();
  }

  Pixels picture;
  Pixels fitted_source;
  Pixels fitted_result;
};

TEST_F(ViewTest, WheelZoomsBothBoxesAroundThePointerToPicturePixels) {
  OpenLarge();
  // The fitted box shows picture pixel (400, 300) at (300, 225).
  Wheel(form->PicDest, {300, 225}, 1);
  EXPECT_TRUE(Shows(Source(), picture, 100, 75, 1));
  EXPECT_TRUE(Shows(Result(), picture, 100, 75, 1, kStrength));

  Wheel(form->PicSrc, {300, 225}, 2);  // 400 %: four by four box pixels a picture pixel
  EXPECT_TRUE(Shows(Source(), picture, 4 * 400 - 300, 4 * 300 - 225, 4));
  EXPECT_TRUE(Shows(Result(), picture, 4 * 400 - 300, 4 * 300 - 225, 4, kStrength));

  Wheel(form->PicSrc, {300, 225}, 5);  // no step beyond 800 %
  EXPECT_TRUE(Shows(Source(), picture, 8 * 400 - 300, 8 * 300 - 225, 8));

  Wheel(form->PicSrc, {10, 10}, -9);
  EXPECT_EQ(Source().Bytes, fitted_source.Bytes);
  EXPECT_EQ(Result().Bytes, fitted_result.Bytes);
  EXPECT_EQ(LastCall().Calls, 1);
}

TEST_F(ViewTest, DragPansBothBoxesAndStopsAtThePicturesEdges) {
  OpenLarge();
  Wheel(form->PicSrc, {300, 225}, 1);
  Drag(form->PicSrc, {300, 200}, {250, 170});
  EXPECT_TRUE(Shows(Source(), picture, 150, 105, 1));
  EXPECT_TRUE(Shows(Result(), picture, 150, 105, 1, kStrength));

  Drag(form->PicDest, {10, 10}, {590, 440});
  EXPECT_TRUE(Shows(Source(), picture, 0, 0, 1));
  Drag(form->PicDest, {590, 440}, {10, 10});
  Drag(form->PicDest, {590, 440}, {10, 10});
  EXPECT_TRUE(Shows(Source(), picture, 200, 150, 1));
  EXPECT_TRUE(Shows(Result(), picture, 200, 150, 1, kStrength));
  EXPECT_EQ(LastCall().Calls, 1);
}

TEST_F(ViewTest, KeysOfTheFocusedBoxAndDoubleClickZoomAndFit) {
  OpenLarge();
  form->PicDest.SetFocus();
  Key(form->PicDest, Qt::Key_1, Qt::ControlModifier);  // 100 % around the box's centre
  EXPECT_TRUE(Shows(Source(), picture, 100, 75, 1));
  Key(form->PicDest, Qt::Key_Plus);
  EXPECT_TRUE(Shows(Source(), picture, 500, 375, 2));
  Key(form->PicDest, Qt::Key_Minus);
  EXPECT_TRUE(Shows(Result(), picture, 100, 75, 1, kStrength));
  Key(form->PicDest, Qt::Key_0, Qt::ControlModifier);
  EXPECT_EQ(Source().Bytes, fitted_source.Bytes);

  Wheel(form->PicSrc, {0, 0}, 2);
  QTest::mouseDClick(Widget(form->PicSrc), Qt::LeftButton, {}, {40, 40});
  EXPECT_EQ(Source().Bytes, fitted_source.Bytes);
  EXPECT_EQ(Result().Bytes, fitted_result.Bytes);
  EXPECT_EQ(LastCall().Calls, 1);
}

TEST_F(ViewTest, NewStrengthKeepsThePlaceAndANewPictureIsFitted) {
  OpenLarge();
  Wheel(form->PicSrc, {120, 90}, 2);
  const Pixels zoomed = Source();
  PressKey(form->Amount, Qt::Key_Right);
  EXPECT_EQ(Source().Bytes, zoomed.Bytes);
  EXPECT_TRUE(zoomed.RegionEquals(Result(), 0, 0, 600, 450, kStrength + 1));

  EXPECT_EQ(form->PicSrc.Overlay(), "200%");
  EXPECT_EQ(form->PicDest.Overlay(), "结果  200%");

  Open(PathOf("large.bmp"));
  EXPECT_EQ(Source().Bytes, fitted_source.Bytes);
  EXPECT_EQ(form->PicSrc.Overlay(), "");
  EXPECT_EQ(form->PicDest.Overlay(), "结果");

  // A picture smaller than the box is fitted at 100 %: one step goes to 200 %,
  // and one step out back to the fit.
  Open(WritePicture("small.bmp", 300, 200));
  const Pixels small = Source();
  Wheel(form->PicSrc, {300, 225}, 1);  // 600 x 400 at 200 %: as wide as the box
  EXPECT_EQ(form->PicSrc.Overlay(), "200%");
  const Pixels zoomed_small = Source();
  const Pixels held = PixelsOf(form->SrcImage);
  EXPECT_TRUE(zoomed_small.OutsideIs(background, 0, 25, 600, 400));
  for (int y = 25; y < 425; ++y) {
    for (int x = 0; x < 600; ++x) {
      ASSERT_TRUE(std::equal(held.At(x / 2, (y - 25) / 2), held.At(x / 2, (y - 25) / 2) + 3,
                             zoomed_small.At(x, y)));
    }
  }
  Wheel(form->PicSrc, {300, 225}, -1);
  EXPECT_EQ(Source().Bytes, small.Bytes);
  EXPECT_EQ(form->PicSrc.Overlay(), "");
}

TEST_F(ViewTest, HeldRightButtonOrBackslashShowsTheSourceInTheResultBox) {
  OpenLarge();
  Wheel(form->PicSrc, {300, 225}, 1);
  const Pixels result = Result();

  QTest::mousePress(Widget(form->PicDest), Qt::RightButton, {}, {50, 50});
  EXPECT_EQ(Result().Bytes, Source().Bytes);
  QTest::mouseRelease(Widget(form->PicDest), Qt::RightButton, {}, {50, 50});
  EXPECT_EQ(Result().Bytes, result.Bytes);

  form->PicSrc.SetFocus();
  QTest::keyPress(Widget(form->PicSrc), Qt::Key_Backslash);
  EXPECT_EQ(Result().Bytes, Source().Bytes);
  EXPECT_EQ(form->PicDest.Overlay(), "原图  100%");
  // Held with the key and the button, the compare ends when both are let go.
  QTest::mousePress(Widget(form->PicDest), Qt::RightButton, {}, {50, 50});
  QTest::keyRelease(Widget(form->PicSrc), Qt::Key_Backslash);
  QTest::qWait(200);
  EXPECT_EQ(Result().Bytes, Source().Bytes);
  QTest::mouseRelease(Widget(form->PicDest), Qt::RightButton, {}, {50, 50});
  EXPECT_EQ(Result().Bytes, result.Bytes);
  EXPECT_EQ(form->PicDest.Overlay(), "结果  100%");
  EXPECT_EQ(LastCall().Calls, 1);
}

// After a click on the scroll bar, the usual way to set the strength, the view
// keys act all the same, and the bar keeps its own keys.
TEST_F(ViewTest, ViewKeysActWhateverControlHasTheFocus) {
  OpenLarge();
  form->Amount.SetFocus();
  Key(form->Amount, Qt::Key_1, Qt::ControlModifier);
  EXPECT_TRUE(Shows(Source(), picture, 100, 75, 1));
  Key(form->Amount, Qt::Key_D);
  EXPECT_EQ(form->PicDest.Overlay(), "差异 ×8  100%");
  QTest::keyPress(Widget(form->Amount), Qt::Key_Backslash);
  EXPECT_EQ(Result().Bytes, Source().Bytes);
  QTest::keyRelease(Widget(form->Amount), Qt::Key_Backslash);
  EXPECT_TRUE(QTest::qWaitFor([this] { return form->PicDest.Overlay() == "差异 ×8  100%"; }));
  Key(form->Amount, Qt::Key_0, Qt::ControlModifier);
  EXPECT_EQ(Source().Bytes, fitted_source.Bytes);
  Key(form->Amount, Qt::Key_Right);
  EXPECT_EQ(form->Amount.Value(), kStrength + 1);

  form->CmdSave.SetFocus();
  Key(form->CmdSave, Qt::Key_D);
  EXPECT_EQ(form->PicDest.Overlay(), "结果");
  EXPECT_TRUE(Source().RegionEquals(Result(), 0, 0, 600, 450, kStrength + 1));
  EXPECT_TRUE(dialogs.SaveRequests.empty());
  EXPECT_EQ(LastCall().Calls, 2);
}

// A key sent as X11 sends it, with the time stamp that tells a held key's
// release-and-press pairs from new presses.
void SendKey(QWidget* Widget, QEvent::Type Type, Qt::Key Which, const QString& Text, bool Repeat,
             ulong Time) {
  QKeyEvent event(Type, Which, Qt::NoModifier, Text, Repeat);
  event.setTimestamp(Time);
  QApplication::sendEvent(Widget, &event);
}

// X11 repeats a held key as release-and-press pairs with one time stamp. Qt marks
// a pair as a repeat when it sees the press already queued as it reads the
// release, and otherwise passes on a plain release, with the press a little later.
TEST_F(ViewTest, AHeldBackslashShowsTheSourceWithoutASingleFlip) {
  OpenLarge();
  form->Amount.SetFocus();
  QWidget* bar = Widget(form->Amount);
  SendKey(bar, QEvent::KeyPress, Qt::Key_Backslash, "\\", false, 1000);
  int flips = 0;
  for (ulong time = 1030; time < 1030 + 40 * 30; time += 30) {
    const bool marked = time % 60 == 0;
    SendKey(bar, QEvent::KeyRelease, Qt::Key_Backslash, "\\", marked, time);
    QTest::qWait(marked ? 0 : 15);
    flips += Result().Bytes != Source().Bytes;
    SendKey(bar, QEvent::KeyPress, Qt::Key_Backslash, "\\", marked, time);
    flips += Result().Bytes != Source().Bytes;
  }
  EXPECT_EQ(flips, 0);
  SendKey(bar, QEvent::KeyRelease, Qt::Key_Backslash, "\\", false, 3000);
  EXPECT_TRUE(QTest::qWaitFor([this] { return Result().Bytes == fitted_result.Bytes; }));
}

TEST_F(ViewTest, AHeldDTogglesOnceAndADoubleTapTwice) {
  OpenLarge();
  form->Amount.SetFocus();
  QWidget* bar = Widget(form->Amount);
  SendKey(bar, QEvent::KeyPress, Qt::Key_D, "d", false, 1000);
  for (ulong time = 1030; time < 1030 + 10 * 30; time += 30) {
    SendKey(bar, QEvent::KeyRelease, Qt::Key_D, "d", time % 60 == 0, time);
    QTest::qWait(5);
    SendKey(bar, QEvent::KeyPress, Qt::Key_D, "d", time % 60 == 0, time);
  }
  EXPECT_EQ(form->PicDest.Overlay(), "差异 ×8");
  SendKey(bar, QEvent::KeyRelease, Qt::Key_D, "d", false, 2000);
  SendKey(bar, QEvent::KeyPress, Qt::Key_D, "d", false, 2040);
  EXPECT_EQ(form->PicDest.Overlay(), "结果");
  SendKey(bar, QEvent::KeyRelease, Qt::Key_D, "d", false, 2080);
  SendKey(bar, QEvent::KeyPress, Qt::Key_D, "d", false, 2120);
  EXPECT_EQ(form->PicDest.Overlay(), "差异 ×8");
}

// The numbers under the boxes are those of the picture pixel that the box
// shows under the pointer, fitted and zoomed.
TEST_F(ViewTest, ThePixelReadoutGivesTheBytesUnderThePointer) {
  OpenLarge();
  const Pixels result = PixelsOf(form->DestImage);
  const QRegularExpression readout(
      R"(^像素 \((\d+), (\d+)\)  原图 BGR (\d+) (\d+) (\d+)  结果 (\d+) (\d+) (\d+)  差 ([-+]?\d+) ([-+]?\d+) ([-+]?\d+)$)");
  const auto check_at = [&](platform::Window& Box, QPoint At) {
    QMouseEvent move(QEvent::MouseMove, At, Widget(Box)->mapToGlobal(At), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(Widget(Box), &move);
    const QString text = QString::fromStdString(form->LblPixel.Caption());
    const QRegularExpressionMatch match = readout.match(text);
    ASSERT_TRUE(match.hasMatch()) << text.toStdString();
    const int x = match.captured(1).toInt();
    const int y = match.captured(2).toInt();
    const Pixels shown = PixelsOf(form->PicSrc.Image());
    for (int c = 0; c < 3; ++c) {
      EXPECT_EQ(match.captured(3 + c).toInt(), picture.At(x, y)[c]);
      EXPECT_EQ(match.captured(6 + c).toInt(), result.At(x, y)[c]);
      EXPECT_EQ(match.captured(9 + c).toInt(), result.At(x, y)[c] - picture.At(x, y)[c]);
      EXPECT_EQ(shown.At(At.x(), At.y())[c], picture.At(x, y)[c]) << "not the pixel shown";
    }
  };
  check_at(form->PicDest, {300, 225});
  check_at(form->PicSrc, {599, 449});
  Wheel(form->PicSrc, {300, 225}, 3);
  check_at(form->PicDest, {17, 311});
  check_at(form->PicSrc, {0, 0});

  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(Widget(form->PicSrc), &leave);
  EXPECT_EQ(form->LblPixel.Caption(), "");
}

TEST_F(ViewTest, DTogglesTheResultBoxToTheDifferenceScaledAroundGrey) {
  OpenLarge();
  form->PicDest.SetFocus();
  Key(form->PicDest, Qt::Key_D);
  Key(form->PicDest, Qt::Key_1, Qt::ControlModifier);
  const Pixels shown = Result();
  const Pixels result = PixelsOf(form->DestImage);
  int grey_wrapped = 0;
  for (int y = 0; y < 450; ++y) {
    for (int x = 0; x < 600; ++x) {
      for (int c = 0; c < 3; ++c) {
        const int change = result.At(x + 100, y + 75)[c] - picture.At(x + 100, y + 75)[c];
        ASSERT_EQ(shown.At(x, y)[c], std::clamp(128 + 8 * change, 0, 255)) << x << ", " << y;
        grey_wrapped += change < 0;
      }
    }
  }
  EXPECT_GT(grey_wrapped, 0);  // the stand-in wraps bright bytes round: clamped to black

  Key(form->PicDest, Qt::Key_D);
  EXPECT_TRUE(Shows(Result(), picture, 100, 75, 1, kStrength));
  EXPECT_EQ(LastCall().Calls, 1);
}

// Run by CTest with QT_SCALE_FACTOR=2 as well; meaningful only there.
TEST_F(ViewTest, OnAHighDensityScreenBoxesShowDevicePixels) {
  QWidget* box = Widget(form->PicSrc);
  if (box->devicePixelRatioF() != 2) GTEST_SKIP() << "needs two device pixels to a logical one";
  Open(WritePicture("dense.bmp", 1200, 900));  // fitted: 600 x 450 logical, 1200 x 900 device
  picture = PixelsOf(form->SrcImage);
  // Device pixel (X, Y) of the box should show picture pixel ((X + Left) / Scale, ...),
  // but for the caption over the top-left corner.
  const auto shows_device = [this](QWidget* Box, int Left, int Top, int Scale, int Add) {
    const QImage shown = Box->grab().toImage().convertToFormat(QImage::Format_RGB888);
    if (shown.size() != QSize(1200, 900)) return false;
    for (int y = 0; y < 900; ++y) {
      const uchar* row = shown.constScanLine(y);
      for (int x = y < 80 ? 240 : 0; x < 1200; ++x) {
        const std::uint8_t* held = picture.At((x + Left) / Scale, (y + Top) / Scale);
        for (int c = 0; c < 3; ++c) {
          if (row[3 * x + c] != static_cast<std::uint8_t>(held[2 - c] + Add)) return false;
        }
      }
    }
    return true;
  };
  EXPECT_TRUE(shows_device(box, 0, 0, 1, 0));
  EXPECT_TRUE(shows_device(Widget(form->PicDest), 0, 0, 1, kStrength));

  // Fitted, a picture pixel is already a device pixel: one step goes to 200 %,
  // around device pixel (200, 200).
  Wheel(form->PicSrc, {100, 100}, 1);
  EXPECT_TRUE(shows_device(box, 200, 200, 2, 0));
  EXPECT_TRUE(shows_device(Widget(form->PicDest), 200, 200, 2, kStrength));
}

class ViewWithoutLibraryTest : public ViewTest {
 protected:
  ViewWithoutLibraryTest() : ViewTest("NoSuchProcessing", {MORVANE_FAKE_DIR}) {}
};

TEST_F(ViewWithoutLibraryTest, AResultTheFilterNeverMadeIsNotShownAsOne) {
  Open(WritePicture("p.bmp", 800, 600));
  ASSERT_EQ(dialogs.Messages.size(), 1u);
  Wheel(form->PicSrc, {300, 225}, 1);
  EXPECT_TRUE(Shows(Source(), PixelsOf(form->SrcImage), 100, 75, 1));
  EXPECT_TRUE(Result().OutsideIs(background, 0, 0, 0, 0));
  QTest::mousePress(Widget(form->PicDest), Qt::RightButton, {}, {50, 50});
  EXPECT_EQ(Result().Bytes, Source().Bytes);
  QTest::mouseRelease(Widget(form->PicDest), Qt::RightButton, {}, {50, 50});
  EXPECT_TRUE(Result().OutsideIs(background, 0, 0, 0, 0));
}

}  // namespace
