// Application over QApplication.
#include "Application.h"

#include <QApplication>
#include <QIcon>

namespace platform {

Application::Application(int& Argc, char** Argv)
    : application_(std::make_unique<QApplication>(Argc, Argv)) {}

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

std::vector<std::string> Application::Arguments() {
  const QStringList arguments = QCoreApplication::arguments();
  std::vector<std::string> result;
  for (qsizetype i = 1; i < arguments.size(); ++i) result.push_back(arguments[i].toStdString());
  return result;
}

std::string Application::Path() { return QCoreApplication::applicationDirPath().toStdString(); }

}  // namespace platform
