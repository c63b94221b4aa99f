// Options: morvane-bench's command line, its grammar and its help text.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace bench {

// A command line that cannot be run: the message says what is wrong with it.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Options {
  std::vector<std::string> libraries;  // none, one, or two to compare (A, B)
  std::vector<int> strengths{5};
  std::optional<int> runs;             // none: chosen per case
  double call_timeout_s = 60;
  std::vector<std::string> environment;  // NAME=VALUE
  bool reference = false;
  std::string json_file;
  std::string report_file;
  bool quiet = false;
  bool fail_if_different = false;
  std::optional<double> max_slowdown;
  bool help = false;
  bool version = false;
  std::vector<std::string> inputs;  // pictures and folders
};

// Arguments after the program's name. Throws UsageError.
Options ParseOptions(const std::vector<std::string>& Arguments);

// "5", "0-10", "1,5,10", "1,3-5": strengths in the order given, each once.
// Throws UsageError.
std::vector<int> ParseStrengths(const std::string& Text);

// What --help prints: the synopsis and every option.
std::string HelpText();

}  // namespace bench
