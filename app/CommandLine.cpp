// CommandLine: the grammar of the program's arguments and its help text.
#include "CommandLine.h"

#include "platform/Application.h"
#include "platform/Files.h"

#include <span>
#include <string_view>

namespace {

constexpr char kLibrary[] = "--library";
constexpr int kMostLibraries = 2;

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& Arguments) {
  CommandLine line;
  if (!Arguments.empty()) line.ToolkitArguments.push_back(Arguments.front());
  bool options_ended = false;
  for (std::size_t i = 1; i < Arguments.size(); ++i) {
    const std::string& argument = Arguments[i];
    if (options_ended || argument.size() < 2 || argument[0] != '-') {
      line.Pictures.push_back(argument);
    } else if (argument == "--") {
      options_ended = true;
    } else if (argument == "--help" || argument == "-h") {
      line.Help = true;
    } else if (argument == "--version") {
      line.Version = true;
    } else if (argument == kLibrary || argument.rfind(std::string(kLibrary) + "=", 0) == 0) {
      std::string path;
      if (argument == kLibrary) {
        if (i + 1 == Arguments.size()) throw UsageError("--library needs the path of a library file");
        path = Arguments[++i];
      } else {
        path = argument.substr(std::string_view(kLibrary).size() + 1);
      }
      if (path.empty()) throw UsageError("--library needs the path of a library file");
      if (line.Libraries.size() == kMostLibraries) {
        throw UsageError("--library is given more than twice; two builds are compared at most");
      }
      line.Libraries.push_back(path);
    } else if (const std::size_t taken = platform::Application::ToolkitOptionLength(
                   std::span(Arguments).subspan(i));
               taken > 0) {
      line.ToolkitArguments.insert(line.ToolkitArguments.end(), Arguments.begin() + i,
                                   Arguments.begin() + i + taken);
      i += taken - 1;
    } else {
      throw UsageError("unknown option '" + argument + "'");
    }
  }
  return line;
}

void MakeLibrariesAbsolute(CommandLine& Line) {
  for (std::string& library : Line.Libraries) library = platform::AbsolutePath(library);
  if (Line.Libraries.size() == 2 && platform::SameFile(Line.Libraries[0], Line.Libraries[1])) {
    throw UsageError("--library names the same file twice (" + Line.Libraries[0] + ", " +
                     Line.Libraries[1] + "); a file is loaded once, so it cannot be compared with itself");
  }
}

std::string UsageText() {
  return "Usage: morvane [OPTIONS] [PICTURE...]\n"
         "Try 'morvane --help' for more information.\n";
}

std::string HelpText() {
  return "Usage: morvane [OPTIONS] [PICTURE...]\n"
         "Try out detail enhancement by bilateral filtering on BMP, JPEG and PNG pictures.\n"
         "\n"
         "  PICTURE...       open the first picture at start; ] and [ step to the next\n"
         "                   and previous of them, or, for one picture, of its folder\n"
         "  --library PATH   filter with the library file at PATH instead of looking for\n"
         "                   libImageProcessing; given twice, the second build runs\n"
         "                   too, and holding B in the window shows its result\n"
         "  -h, --help       print this help and exit\n"
         "  --version        print the version and exit\n"
         "\n"
         "Qt's own options (-platform, -style, -reverse, ...) are passed on to Qt.\n";
}
