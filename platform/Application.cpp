// Application over QApplication, with Qt's own texts in Simplified Chinese.
#include "Application.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

namespace platform {

namespace {

// What followed the program's name, as the system's bytes (QApplication has
// taken out the options that are its own by the time this is filled).
std::vector<std::string>& StartArguments() {
  static std::vector<std::string> arguments;
  return arguments;
}

// The window speaks Chinese; Qt's dialogs and standard buttons follow it.
// Without the translations installed they stay in English, which loses nothing.
void TranslateQtIntoChinese(QApplication& Application) {
  auto* translator = new QTranslator(&Application);
  if (translator->load("qtbase_zh_CN", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(translator);
  }
}

}  // namespace

Application::Application(int& Argc, char** Argv)
    : application_(std::make_unique<QApplication>(Argc, Argv)) {
  TranslateQtIntoChinese(*application_);
  StartArguments().assign(Argv + (Argc > 0 ? 1 : 0), Argv + Argc);
}

Application::~Application() = default;

int Application::Run() { return QApplication::exec(); }

void Application::SetTitle(const std::string& Title) {
  QGuiApplication::setApplicationDisplayName(QString::fromStdString(Title));
}

std::string Application::Title() { return QGuiApplication::applicationDisplayName().toStdString(); }

void Application::SetIcon(const std::vector<std::string>& ImageFiles) {
  QIcon icon;
  for (const std::string& file : ImageFiles) icon.addFile(QString::fromStdString(file));
  QApplication::setWindowIcon(icon);
}

std::vector<std::string> Application::Arguments() { return StartArguments(); }

std::string Application::Path() { return QCoreApplication::applicationDirPath().toStdString(); }

}  // namespace platform
