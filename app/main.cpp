// Start-up: the application with its title and icon, and the window FrmTest
// with the picture named on the command line, if any.
#include "EnhancementLibrary.h"
#include "FrmTest.h"
#include "StandardDialogs.h"
#include "platform/Application.h"

int main(int argc, char** argv) {
  platform::Application app(argc, argv);
  platform::Application::SetTitle("Morvane");
  platform::Application::SetIcon({":/icons/morvane-16.png", ":/icons/morvane-32.png",
                                  ":/icons/morvane-48.png", ":/icons/morvane-256.png"});

  StandardDialogs dialogs;
  EnhancementLibrary library;
  FrmTest form(dialogs, library);
  form.Show();
  // A picture named on the command line, as a file manager passes it.
  if (const auto arguments = platform::Application::Arguments(); !arguments.empty()) {
    form.OpenFile(arguments.front());
  }
  return app.Run();
}
