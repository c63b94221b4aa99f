// CommandLine: what the program was started with, read before anything of the
// window exists: morvane [OPTIONS] [PICTURE...]. The toolkit's own options are
// kept aside for the application object.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

// A command line that does not follow the grammar; what() says how, in one line.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct CommandLine {
  bool Help = false;
  bool Version = false;
  // --library PATH, at most twice: the filter library builds to bind, as given.
  std::vector<std::string> Libraries;
  // In the order given, as the system's bytes.
  std::vector<std::string> Pictures;
  // The program's name and the toolkit's own options with their values.
  std::vector<std::string> ToolkitArguments;
};

// Arguments as the program got them, its name first. Throws UsageError.
CommandLine ParseCommandLine(const std::vector<std::string>& Arguments);

// The library paths made absolute, as the loader would otherwise search for a
// bare name and hand back a library already loaded. Throws UsageError when both
// name the same file.
void MakeLibrariesAbsolute(CommandLine& Line);

// "Usage: ..." and the short line that points to --help, for usage errors.
std::string UsageText();
// The whole of --help.
std::string HelpText();
