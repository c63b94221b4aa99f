// The command line: its grammar, the toolkit's options passed on, the library
// paths made absolute and a file refused as its own rival; and the program
// itself answering --help, --version and a usage error without a display.
#include "app/CommandLine.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

using Arguments = std::vector<std::string>;

TEST(CommandLineGrammar, OptionsPicturesAndTheToolkitsOwnOptionsInAnyOrder) {
  const CommandLine line = ParseCommandLine(
      {"morvane", "-platform", "offscreen", "first.bmp", "--library", "a.so", "--style=fusion",
       "--library=b.so", "-reverse", "\xfe.jpg", "--", "--help", "-"});
  EXPECT_EQ(line.Libraries, (Arguments{"a.so", "b.so"}));
  EXPECT_EQ(line.Pictures, (Arguments{"first.bmp", "\xfe.jpg", "--help", "-"}));
  EXPECT_EQ(line.ToolkitArguments,
            (Arguments{"morvane", "-platform", "offscreen", "--style=fusion", "-reverse"}));
  EXPECT_FALSE(line.Help);
  EXPECT_FALSE(line.Version);
  EXPECT_TRUE(ParseCommandLine({"morvane", "p.bmp", "-h"}).Help);
  EXPECT_TRUE(ParseCommandLine({"morvane", "--version"}).Version);
}

TEST(CommandLineGrammar, UsageErrorsSayWhatIsWrong) {
  const auto error_of = [](const Arguments& Line) -> std::string {
    try {
      ParseCommandLine(Line);
    } catch (const UsageError& Error) {
      return Error.what();
    }
    return "accepted";
  };
  EXPECT_EQ(error_of({"morvane", "--frobnicate"}), "unknown option '--frobnicate'");
  EXPECT_EQ(error_of({"morvane", "-x", "p.bmp"}), "unknown option '-x'");
  EXPECT_EQ(error_of({"morvane", "p.bmp", "-platform"}), "unknown option '-platform'");
  EXPECT_NE(error_of({"morvane", "--library"}).find("needs the path"), std::string::npos);
  EXPECT_NE(error_of({"morvane", "--library="}).find("needs the path"), std::string::npos);
  EXPECT_NE(error_of({"morvane", "--library", "a", "--library", "b", "--library", "c"})
                .find("more than twice"),
            std::string::npos);
}

TEST(CommandLineLibraries, AreMadeAbsoluteAndOneFileUnderTwoNamesIsRefused) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const std::string dir = folder.path().toStdString();
  std::ofstream(dir + "/libA.so") << "a";
  std::ofstream(dir + "/libB.so") << "b";
  ASSERT_EQ(::symlink((dir + "/libA.so").c_str(), (dir + "/link.so").c_str()), 0);
  char* const previous = ::getcwd(nullptr, 0);
  ASSERT_EQ(::chdir(dir.c_str()), 0);

  CommandLine line = ParseCommandLine({"morvane", "--library", "libA.so", "--library", "libB.so"});
  EXPECT_NO_THROW(MakeLibrariesAbsolute(line));
  EXPECT_EQ(line.Libraries, (Arguments{dir + "/libA.so", dir + "/libB.so"}));

  for (const char* second : {"libA.so", "./libA.so", "link.so"}) {
    line = ParseCommandLine({"morvane", "--library", "libA.so", "--library", second});
    EXPECT_THROW(MakeLibrariesAbsolute(line), UsageError) << second;
  }
  ASSERT_EQ(::chdir(previous), 0);
  std::free(previous);
}

struct Outcome {
  int Status = -1;
  std::string Out;
  std::string Err;
};

// The program run with no display to reach: had it made its application object,
// the X11 platform would have failed to connect.
Outcome RunProgram(const std::string& Arguments) {
  QTemporaryDir folder;
  const std::string err_file = folder.path().toStdString() + "/stderr";
  const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb '" MORVANE_PROGRAM
                              "' " + Arguments + " 2>'" + err_file + "'";
  Outcome outcome;
  FILE* out = ::popen(command.c_str(), "r");
  if (out == nullptr) return outcome;
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, out)) > 0;) {
    outcome.Out.append(buffer, got);
  }
  const int status = ::pclose(out);
  outcome.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream err(err_file);
  outcome.Err.assign(std::istreambuf_iterator<char>(err), {});
  return outcome;
}

TEST(Program, HelpAndVersionPrintToStandardOutputWithoutADisplay) {
  const Outcome help = RunProgram("--help");
  EXPECT_EQ(help.Status, 0) << help.Err;
  EXPECT_EQ(help.Out, HelpText());
  EXPECT_EQ(help.Err, "");
  const Outcome version = RunProgram("photo.bmp --version");
  EXPECT_EQ(version.Status, 0) << version.Err;
  EXPECT_EQ(version.Out, "morvane " MORVANE_VERSION "\n");
}

TEST(Program, UsageErrorsGoToStandardErrorWithStatusTwo) {
  for (const std::string arguments : {"--frobnicate photo.bmp", "--library /a.so --library /a.so"}) {
    const Outcome outcome = RunProgram(arguments);
    EXPECT_EQ(outcome.Status, 2) << arguments;
    EXPECT_EQ(outcome.Out, "") << arguments;
    EXPECT_EQ(outcome.Err.rfind("morvane: ", 0), 0u) << outcome.Err;
    EXPECT_NE(outcome.Err.find(UsageText()), std::string::npos) << outcome.Err;
  }
}

}  // namespace
