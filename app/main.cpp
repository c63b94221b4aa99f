// Start-up: the command line read first, so that --help, --version and a usage
// error need no display; then the application with its title and icon, and the
// window FrmTest with the pictures named on the command line, if any.
#include "CommandLine.h"
#include "EnhancementLibrary.h"
#include "FrmTest.h"
#include "StandardDialogs.h"
#include "platform/Application.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kUsageStatus = 2;

std::unique_ptr<EnhancementLibrary> Build(const CommandLine& Line, std::size_t Index) {
  if (Line.Libraries.empty()) return Index == 0 ? std::make_unique<EnhancementLibrary>() : nullptr;
  if (Index >= Line.Libraries.size()) return nullptr;
  return std::make_unique<EnhancementLibrary>(EnhancementLibrary::File{Line.Libraries[Index]});
}

}  // namespace

int main(int argc, char** argv) {
  CommandLine line;
  try {
    line = ParseCommandLine(std::vector<std::string>(argv, argv + argc));
    if (line.Help) {
      std::fputs(HelpText().c_str(), stdout);
      return 0;
    }
    if (line.Version) {
      std::puts("morvane " MORVANE_VERSION);
      return 0;
    }
    MakeLibrariesAbsolute(line);
  } catch (const UsageError& Error) {
    std::fprintf(stderr, "morvane: %s\n%s", Error.what(), UsageText().c_str());
    return kUsageStatus;
  }

  // Qt keeps the arguments it is given for the whole run.
  std::vector<char*> toolkit_argv;
  for (std::string& argument : line.ToolkitArguments) toolkit_argv.push_back(argument.data());
  int toolkit_argc = static_cast<int>(toolkit_argv.size());
  toolkit_argv.push_back(nullptr);
  platform::Application app(toolkit_argc, toolkit_argv.data());
  platform::Application::SetTitle("Morvane");
  platform::Application::SetIcon({":/icons/morvane-16.png", ":/icons/morvane-32.png",
                                  ":/icons/morvane-48.png", ":/icons/morvane-256.png"});

  StandardDialogs dialogs;
  const std::unique_ptr<EnhancementLibrary> library = Build(line, 0);
  const std::unique_ptr<EnhancementLibrary> second = Build(line, 1);
  FrmTest form(dialogs, *library, second.get());
  form.Show();
  // The pictures named on the command line, as a file manager passes them.
  form.OpenFiles(line.Pictures);
  return app.Run();
}
