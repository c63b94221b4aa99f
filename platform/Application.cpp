// Application over QApplication, with Qt's own texts in Simplified Chinese.
#include "Application.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QPixmap>
#include <QTranslator>

#include <string_view>

namespace platform {

namespace {

// The options that QGuiApplication, QApplication and the X11 platform take out
// of the command line, with one dash or two; Value when a value follows, after a
// blank or, where Qt reads it so, after "=".
struct ToolkitOption {
  std::string_view Name;
  bool Value;
  bool ValueAfterEquals;
};

constexpr ToolkitOption kToolkitOptions[] = {
    {"platform", true, false},        {"platformpluginpath", true, false},
    {"platformtheme", true, false},   {"plugin", true, false},
    {"qwindowgeometry", true, false}, {"qwindowicon", true, false},
    {"qwindowtitle", true, false},    {"reverse", false, false},
    {"session", true, false},         {"style", true, true},
    {"stylesheet", true, true},       {"widgetcount", false, false},
    {"qmljsdebugger", true, true},    {"display", true, false},
    {"geometry", true, false},        {"title", true, false},
    {"name", true, false},            {"icon", true, false},
    {"nograb", false, false},         {"dograb", false, false},
    {"sync", false, false},
};

// The window speaks Chinese; Qt's dialogs and standard buttons follow it.
// Without the translations installed they stay in English, which loses nothing.
void TranslateQtIntoChinese(QApplication& Application) {
  auto* translator = new QTranslator(&Application);
  if (translator->load("qtbase_zh_CN", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(translator);
  }
}

}  // namespace

struct Application::Native {
  Native(int& Argc, char** Argv) : Application(Argc, Argv) {}
  QApplication Application;
};

Application::Application(int& Argc, char** Argv) : native_(std::make_unique<Native>(Argc, Argv)) {
  TranslateQtIntoChinese(native_->Application);
}

Application::~Application() = default;

int Application::Run() { return QApplication::exec(); }

void Application::SetTitle(const std::string& Title) {
  QGuiApplication::setApplicationDisplayName(QString::fromStdString(Title));
}

std::string Application::Title() { return QGuiApplication::applicationDisplayName().toStdString(); }

// Each image goes in as a pixmap. Qt 6.8 matches images added as files wrongly
// on a screen of two device pixels to a logical one: asked for 32, 48 or 256,
// it gives the 32-pixel image, so the window manager got four 32-pixel images
// instead of 32, 64 and 96. Pixmaps it matches as Qt 6.4 matches both.
void Application::SetIcon(const std::vector<std::string>& ImageFiles) {
  QIcon icon;
  for (const std::string& file : ImageFiles) icon.addPixmap(QPixmap(QString::fromStdString(file)));
  QApplication::setWindowIcon(icon);
}

std::size_t Application::ToolkitOptionLength(std::span<const std::string> Arguments) {
  if (Arguments.empty()) return 0;
  std::string_view argument = Arguments.front();
  if (argument.rfind("--", 0) == 0) {
    argument.remove_prefix(2);
  } else if (argument.rfind('-', 0) == 0) {
    argument.remove_prefix(1);
  } else {
    return 0;
  }
  for (const ToolkitOption& option : kToolkitOptions) {
    if (argument == option.Name) return !option.Value ? 1 : Arguments.size() > 1 ? 2 : 0;
    if (option.ValueAfterEquals && argument.size() > option.Name.size() &&
        argument.rfind(option.Name, 0) == 0 && argument[option.Name.size()] == '=') {
      return 1;
    }
  }
  return 0;
}

std::string Application::Path() { return QCoreApplication::applicationDirPath().toStdString(); }

}  // namespace platform
