// On a real X server: the window FrmTest at 1240 x 566 client pixels as the X
// server sees it, a font behind every character of its Chinese texts, and
// screenshots after a photo has been opened and enhanced, fitted and zoomed in
// (the second beside the first, named with "-zoomed"). The right box's caption
// is painted over its corner, and a backslash held down on the keyboard, with
// the focus on the scroll bar, shows the source through all of the X server's
// key repeats without one flip back to the result. Then a picture with a
// different colour in every pixel, fitted one to one into device pixels, must
// reach the screen pixel for pixel: with QT_SCALE_FACTOR=2 the window is twice
// as large in device pixels and the fitted view is drawn at device resolution,
// not enlarged from its logical size.
//
// window_on_screen <photo> <library name> <library folder> <screenshot.png>
#include "app/FrmTest.h"
#include "platform/Application.h"
#include "platform/internal/NativeWidget.h"

#include <QElapsedTimer>
#include <QGlyphRun>
#include <QKeyEvent>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTextLayout>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Answers the open dialog with the photo; any message box is a failure.
class PhotoDialogs : public UserDialogs {
 public:
  explicit PhotoDialogs(std::string Photo) : photo_(std::move(Photo)) {}

  std::string ShowOpenDialog(platform::Hwnd, const std::string&, const std::string&,
                             const std::string&) override {
    return photo_;
  }
  std::string ShowSaveDialog(platform::Hwnd, const std::string&, const std::string&,
                             std::int16_t&, const std::string&, const std::string&) override {
    return {};
  }
  platform::MsgBoxResult MsgBox(const std::string& Prompt, platform::MsgBoxStyle,
                                const std::string& Detail) override {
    Messages.push_back(Prompt + " " + Detail);
    return platform::MsgBoxResult::Ok;
  }

  std::vector<std::string> Messages;

 private:
  std::string photo_;
};

int failures = 0;

void Check(bool Condition, const std::string& What) {
  std::fprintf(stderr, "%s: %s\n", Condition ? "ok" : "FAILED", What.c_str());
  if (!Condition) ++failures;
}

// True when the font, with Qt's fallbacks, has a glyph for every character.
bool Covered(const QFont& Font, const std::string& Text) {
  QTextLayout layout(QString::fromStdString(Text), Font);
  layout.beginLayout();
  layout.createLine();
  layout.endLayout();
  for (const QGlyphRun& run : layout.glyphRuns()) {
    for (const quint32 glyph : run.glyphIndexes()) {
      if (glyph == 0) return false;
    }
  }
  return !layout.glyphRuns().isEmpty();
}

// The window's client size as the X server reports it.
std::string ClientSizeOnServer(const QWidget& Window) {
  QProcess xwininfo;
  xwininfo.start("xwininfo", {"-id", QString::number(Window.winId())});
  if (!xwininfo.waitForFinished()) return "xwininfo did not run";
  const QString report = QString::fromLocal8Bit(xwininfo.readAllStandardOutput());
  const auto width = QRegularExpression(R"(Width: (\d+))").match(report).captured(1);
  const auto height = QRegularExpression(R"(Height: (\d+))").match(report).captured(1);
  return (width + " x " + height).toStdString();
}

// The window's pixels as the X server holds them, in device pixels.
QImage OnScreen(QWidget& Window) {
  const QPixmap shown = Window.screen()->grabWindow(Window.winId());
  return shown.toImage().convertToFormat(QImage::Format_RGB32);
}

// Once the X server shows what the window last drew: the window's own render
// is what the screen must come to hold.
bool Settled(QWidget& Window) {
  const QImage drawn = Window.grab().toImage().convertToFormat(QImage::Format_RGB32);
  return QTest::qWaitFor([&] { return OnScreen(Window) == drawn; }, 5000);
}

bool Screenshot(QWidget& Window, const QString& File) {
  return OnScreen(Window).save(File, "PNG");
}

// True when the box's top-left corner on the screen holds the caption's plate:
// dark, with light text on it, where the picture under it is neither.
bool CaptionPainted(QWidget& Window, QWidget& Box, int Ratio) {
  const QImage screen = OnScreen(Window);
  const QPoint corner = Box.mapTo(&Window, QPoint(0, 0)) * Ratio;
  int dark = 0;
  int light = 0;
  for (int y = 6 * Ratio; y < 16 * Ratio; ++y) {
    for (int x = 6 * Ratio; x < 30 * Ratio; ++x) {
      const int grey = qGray(screen.pixel(corner + QPoint(x, y)));
      dark += grey < 100;
      light += grey > 180;
    }
  }
  return dark > 20 * Ratio * Ratio && light > 5 * Ratio * Ratio;
}

// Holds the backslash key down on the X server's keyboard for Ms milliseconds,
// while the window runs; the count of flips to the result while it is held.
int FlipsWhileBackslashHeld(FrmTest& Form, int Ms, int& KeyPresses) {
  struct Counter : QObject {
    int Presses = 0;
    bool eventFilter(QObject*, QEvent* Event) override {
      if (Event->type() == QEvent::KeyPress &&
          static_cast<QKeyEvent*>(Event)->key() == Qt::Key_Backslash) {
        ++Presses;
      }
      return false;
    }
  } counter;
  qApp->installEventFilter(&counter);
  QProcess::execute("xdotool", {"keydown", "backslash"});
  int flips = 0;
  bool shown_source = false;
  QElapsedTimer held;
  held.start();
  while (held.elapsed() < Ms) {
    QTest::qWait(10);
    const bool source = Form.PicDest.Image().Pixels() == Form.PicSrc.Image().Pixels();
    if (shown_source && !source) ++flips;
    shown_source = source;
  }
  QProcess::execute("xdotool", {"keyup", "backslash"});
  qApp->removeEventFilter(&counter);
  KeyPresses = counter.Presses;
  return shown_source ? flips : flips + 1;
}

// A colour that differs from each neighbour's, so any two device pixels of a
// 2 x 2 block differ and no enlargement of a smaller drawing can reproduce it.
QRgb Dense(int X, int Y) {
  return qRgb((X + Y) % 2 == 0 ? 0 : 255, X % 256, Y % 256);
}

// Ratio device pixels to a logical one: fitted into the 600 x 450 box, the
// picture is 600 x 300 logical pixels, one picture pixel to a device pixel.
QString WriteDensePicture(const QTemporaryDir& Folder, int Ratio) {
  QImage picture(600 * Ratio, 300 * Ratio, QImage::Format_RGB32);
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width(); ++x) picture.setPixel(x, y, Dense(x, y));
  }
  const QString path = Folder.filePath("dense.bmp");
  return picture.save(path, "BMP") ? path : QString();
}

// Where the screen differs from the box drawn as it should be: the dense
// picture one to one at Picture, the box's Background around it up to the
// edges of Box, and something else on the ring of pixels just outside Box, so
// that the box is exactly that large. All in device pixels of the window;
// empty when nowhere.
std::string BoxMismatch(const QImage& Screen, const QRect& Box, const QRect& Picture,
                        QRgb Background) {
  const QRect around = Box.adjusted(-1, -1, 1, 1);
  for (int y = around.top(); y <= around.bottom(); ++y) {
    for (int x = around.left(); x <= around.right(); ++x) {
      const QRgb shown = Screen.pixel(x, y) & RGB_MASK;
      const QRgb want =
          (Picture.contains(x, y) ? Dense(x - Picture.left(), y - Picture.top()) : Background) &
          RGB_MASK;
      if (Box.contains(x, y) ? shown == want : shown != want) continue;
      return "device pixel " + std::to_string(x) + ", " + std::to_string(y) + " is " +
             QString::number(shown, 16).toStdString() +
             (Box.contains(x, y) ? ", want " : ", not ") + QString::number(want, 16).toStdString();
    }
  }
  return {};
}

// The box's place in the window, in device pixels.
QRect DeviceRect(const QWidget& Box, const QWidget& Window, int Ratio) {
  const QRect logical(Box.mapTo(&Window, QPoint(0, 0)), Box.size());
  return {logical.topLeft() * Ratio, logical.size() * Ratio};
}

// The dense picture of WriteDensePicture, open in Form, on the screen.
void CheckDeviceResolution(FrmTest& Form, QWidget& Window, int Ratio) {
  Check(Form.ViewLeft == 0 && Form.ViewTop == 75 && Form.ViewWidth == 600 &&
            Form.ViewHeight == 300,
        "the display rectangle is 0, 75, 600, 300 logical pixels: " +
            std::to_string(Form.ViewLeft) + ", " + std::to_string(Form.ViewTop) + ", " +
            std::to_string(Form.ViewWidth) + ", " + std::to_string(Form.ViewHeight));

  QWidget& box = *platform::NativeWidget(Form.PicSrc.hWnd());
  const QRect box_place = DeviceRect(box, Window, Ratio);
  Check(box_place.size() == QSize(600, 450) * Ratio,
        "the left box is " + std::to_string(600 * Ratio) + " x " + std::to_string(450 * Ratio) +
            " device pixels");
  const QRect picture_place(box_place.topLeft() + QPoint(Form.ViewLeft, Form.ViewTop) * Ratio,
                            QSize(Form.ViewWidth, Form.ViewHeight) * Ratio);
  const QRgb background = box.palette().color(QPalette::Base).rgb();
  std::string mismatch;
  const bool shown = QTest::qWaitFor(
      [&] {
        mismatch = BoxMismatch(OnScreen(Window), box_place, picture_place, background);
        return mismatch.empty();
      },
      5000);
  Check(shown, "the left box shows every device pixel of the fitted picture, and no more" +
                   (shown ? std::string() : ": " + mismatch));
}

}  // namespace

int main(int argc, char** argv) {
  platform::Application application(argc, argv);
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s photo library-name library-folder screenshot.png\n", argv[0]);
    return 2;
  }
  platform::Application::SetTitle("Morvane");
  PhotoDialogs dialogs(argv[1]);
  EnhancementLibrary library(argv[2], {argv[3]});
  FrmTest form(dialogs, library);
  form.Show();
  QWidget* window = platform::NativeWidget(form.hWnd());
  Check(QTest::qWaitForWindowExposed(window), "the window is shown");
  // Device pixels to a logical one, as the script asks of Qt.
  const int ratio = std::max(1, qEnvironmentVariableIntValue("QT_SCALE_FACTOR"));
  Check(window->devicePixelRatio() == ratio,
        std::to_string(ratio) + " device pixels to a logical one: " +
            QString::number(window->devicePixelRatio()).toStdString());
  const std::string client_size =
      std::to_string(1240 * ratio) + " x " + std::to_string(566 * ratio);
  Check(ClientSizeOnServer(*window) == client_size,
        "client area on the X server is " + client_size + ": " + ClientSizeOnServer(*window));

  for (const std::string& text : {form.CmdOpen.Caption(), form.CmdSave.Caption(),
                                  form.LblB[0].Caption(), form.lblinfo.Caption(),
                                  std::string("用时 ms"), std::string("不支持的图像格式。")}) {
    Check(Covered(window->font(), text), "a font covers \"" + text + "\"");
  }

  QTest::mouseClick(platform::NativeWidget(form.CmdOpen.hWnd()), Qt::LeftButton);
  Check(dialogs.Messages.empty(),
        "the photo opens without a message" +
            (dialogs.Messages.empty() ? std::string() : ": " + dialogs.Messages.front()));
  Check(form.lblinfo.Caption().rfind("用时 ", 0) == 0, "the time reads " + form.lblinfo.Caption());

  Check(Settled(*window), "the screen shows what the window drew");
  const QString fitted = QString::fromLocal8Bit(argv[4]);
  Check(Screenshot(*window, fitted), "screenshot " + fitted.toStdString());
  Check(form.PicDest.Overlay() == "结果" &&
            CaptionPainted(*window, *platform::NativeWidget(form.PicDest.hWnd()), ratio),
        "the right box's corner reads " + form.PicDest.Overlay());

  // The keys go to the window from the control with the X server's focus.
  form.Amount.SetFocus();
  window->activateWindow();
  Check(QTest::qWaitForWindowActive(window), "the window has the keyboard");
  int presses = 0;
  const int flips = FlipsWhileBackslashHeld(form, 2000, presses);
  Check(presses > 10 && flips == 0,
        "a held backslash shows the source through " + std::to_string(presses) +
            " key presses, flipping back " + std::to_string(flips) + " times");
  Check(QTest::qWaitFor(
            [&] { return form.PicDest.Image().Pixels() != form.PicSrc.Image().Pixels(); }, 2000),
        "the result is back once the key is let go");

  // The same picture zoomed in on its centre with the keys of the focused box:
  // fitted at 100 %, then 200 and 400 %.
  form.PicSrc.SetFocus();
  for (int step = 0; step < 2; ++step) {
    QTest::keyClick(platform::NativeWidget(form.PicSrc.hWnd()), Qt::Key_Plus);
  }
  Check(Settled(*window), "the screen shows what the window drew");
  const QString zoomed = QString(fitted).replace(QRegularExpression(R"(\.png$)"), "-zoomed.png");
  Check(Screenshot(*window, zoomed), "screenshot " + zoomed.toStdString());

  // The focus frame would cover the box's edge.
  form.CmdOpen.SetFocus();
  const QTemporaryDir folder;
  form.OpenFile(WriteDensePicture(folder, ratio).toStdString());
  Check(dialogs.Messages.empty(), "the dense picture opens without a message");
  CheckDeviceResolution(form, *window, ratio);

  window->close();
  return failures == 0 ? 0 : 1;
}
