// On a real X server: the window FrmTest at 1240 x 566 client pixels as the X
// server sees it, a font behind every character of its Chinese texts, and
// screenshots after a photo has been opened and enhanced, fitted and zoomed in
// (the second beside the first, named with "-zoomed").
//
// window_on_screen <photo> <library name> <library folder> <screenshot.png>
#include "app/FrmTest.h"
#include "platform/Application.h"
#include "platform/NativeWidget.h"

#include <QGlyphRun>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QTextLayout>

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
                             std::int16_t&, const std::string&) override {
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

bool Screenshot(QWidget& Window, const QString& File) {
  return Window.screen()->grabWindow(Window.winId()).save(File, "PNG");
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
  Check(ClientSizeOnServer(*window) == "1240 x 566",
        "client area on the X server is 1240 x 566: " + ClientSizeOnServer(*window));

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

  // Lets the X server draw what the window has sent it before the grab.
  QTest::qWait(200);
  const QString fitted = QString::fromLocal8Bit(argv[4]);
  Check(Screenshot(*window, fitted), "screenshot " + fitted.toStdString());

  // The same picture zoomed in on its centre with the keys of the focused box.
  form.PicSrc.SetFocus();
  for (int step = 0; step < 3; ++step) {
    QTest::keyClick(platform::NativeWidget(form.PicSrc.hWnd()), Qt::Key_Plus);
  }
  QTest::qWait(200);
  const QString zoomed = QString(fitted).replace(QRegularExpression(R"(\.png$)"), "-zoomed.png");
  Check(Screenshot(*window, zoomed), "screenshot " + zoomed.toStdString());

  window->close();
  return failures == 0 ? 0 : 1;
}
