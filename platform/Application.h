// Application: the running program as the user and the window see it — its
// event loop, its title, its icon, the toolkit's options on its command line and
// the folder it was started from.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace platform {

class Application {
 public:
  Application(int& Argc, char** Argv);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // Runs until the last window has closed; returns the exit status.
  int Run();

  // The title that message boxes carry when they are given none.
  static void SetTitle(const std::string& Title);
  static std::string Title();

  // The icon of every window, from image files of several sizes (Qt resource
  // paths such as ":/icons/app-16.png" included).
  static void SetIcon(const std::vector<std::string>& ImageFiles);

  // How many arguments from Arguments[0] on make one option that the toolkit
  // takes for itself (-platform NAME, --style=NAME, -reverse, ...): 0 when
  // Arguments[0] is none, or when its value is missing.
  static std::size_t ToolkitOptionLength(std::span<const std::string> Arguments);

  // The folder that holds the program's executable.
  static std::string Path();

 private:
  // The toolkit's application object.
  struct Native;
  std::unique_ptr<Native> native_;
};

}  // namespace platform
