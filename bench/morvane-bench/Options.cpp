// Options: one table of options, read by the parser and printed by --help.
#include "Options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <regex>

namespace bench {

namespace {

struct OptionEntry {
  const char* name;
  const char* value;  // what follows it; nullptr for a switch
  const char* help;
  std::function<void(Options&, const std::string&)> apply;
};

int ParseInt(const std::string& Option, const std::string& Text) {
  int value = 0;
  const auto [end, error] = std::from_chars(Text.data(), Text.data() + Text.size(), value);
  if (error != std::errc() || end != Text.data() + Text.size()) {
    throw UsageError(Option + " takes a whole number, not \"" + Text + "\"");
  }
  return value;
}

double ParsePositive(const std::string& Option, const std::string& Text) {
  std::size_t used = 0;
  double value = 0;
  try {
    value = std::stod(Text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != Text.size() || !(value > 0) || !std::isfinite(value)) {
    throw UsageError(Option + " takes a number above 0, not \"" + Text + "\"");
  }
  return value;
}

const std::vector<OptionEntry>& Table() {
  static const std::vector<OptionEntry> table{
      {"--library", "PATH",
       "A build of the filter library: a file path, or a bare name looked for as the window looks for its "
       "library (lib<name>.so beside the program, then lib<name>.so.1 and lib<name>.so on the library search "
       "path). Twice: the two builds are compared, A the first and B the second. Without it: the build the "
       "window would load (ImageProcessing).",
       [](Options& o, const std::string& v) {
         if (o.libraries.size() == 2) throw UsageError("--library is given more than twice; two builds are compared at most");
         o.libraries.push_back(v);
       }},
      {"--strength", "LIST", "Strengths to measure, e.g. 5, 0-10 or 1,5,10 (default 5).",
       [](Options& o, const std::string& v) { o.strengths = ParseStrengths(v); }},
      {"--runs", "N",
       "Timed calls per picture, strength and build (default: enough for a stable median, at most about 1 s "
       "per case, from 3 to 30).",
       [](Options& o, const std::string& v) {
         o.runs = ParseInt("--runs", v);
         if (*o.runs < 1) throw UsageError("--runs takes a number of at least 1");
       }},
      {"--call-timeout", "SECONDS",
       "A call that has not returned after this long is stopped and reported as timed out (default 60).",
       [](Options& o, const std::string& v) { o.call_timeout_s = ParsePositive("--call-timeout", v); }},
      {"--env", "NAME=VALUE",
       "Set in the builds' processes, e.g. OMP_NUM_THREADS=1, and recorded with the results. Repeatable.",
       [](Options& o, const std::string& v) {
         const std::size_t equals = v.find('=');
         if (equals == 0 || equals == std::string::npos) throw UsageError("--env takes NAME=VALUE, not \"" + v + "\"");
         o.environment.push_back(v);
       }},
      {"--reference", nullptr,
       "Also measure each build against the exact filter (the library's definition in double precision, on "
       "a lattice of sample pixels): PSNR and largest error. Meaningful only for builds that implement it.",
       [](Options& o, const std::string&) { o.reference = true; }},
      {"--fail-if-different", nullptr, "Exit with status 1 when B's output differs from A's anywhere.",
       [](Options& o, const std::string&) { o.fail_if_different = true; }},
      {"--max-slowdown", "X",
       "Exit with status 1 when B is more than X times slower than A beyond the measured spread (the lower "
       "quartile of B/A above X) on any picture and strength.",
       [](Options& o, const std::string& v) { o.max_slowdown = ParsePositive("--max-slowdown", v); }},
      {"--json", "FILE", "Write every result as JSON to FILE.",
       [](Options& o, const std::string& v) { o.json_file = v; }},
      {"--report", "FILE.html",
       "Write a self-contained HTML report: the table, a chart of the times and, for each picture, the region "
       "where the builds differ most.",
       [](Options& o, const std::string& v) { o.report_file = v; }},
      {"--quiet", nullptr, "Print only problems: no table, no progress line.",
       [](Options& o, const std::string&) { o.quiet = true; }},
      {"--help", nullptr, "Print this help and exit.", [](Options& o, const std::string&) { o.help = true; }},
      {"--version", nullptr, "Print the version and exit.",
       [](Options& o, const std::string&) { o.version = true; }},
  };
  return table;
}

// Breaks Text into lines of at most Width characters, each after Indent spaces.
std::string Wrapped(const std::string& Text, std::size_t Indent, std::size_t Width) {
  std::string out, line;
  std::size_t start = 0;
  while (start < Text.size()) {
    std::size_t end = Text.find(' ', start);
    if (end == std::string::npos) end = Text.size();
    const std::string word = Text.substr(start, end - start);
    if (!line.empty() && line.size() + 1 + word.size() > Width) {
      out += std::string(Indent, ' ') + line + "\n";
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
    start = end + 1;
  }
  if (!line.empty()) out += std::string(Indent, ' ') + line + "\n";
  return out;
}

}  // namespace

std::vector<int> ParseStrengths(const std::string& Text) {
  static const std::regex item(R"((-?\d+)(?:-(-?\d+))?)");
  std::vector<int> strengths;
  std::size_t start = 0;
  while (start <= Text.size()) {
    std::size_t end = Text.find(',', start);
    if (end == std::string::npos) end = Text.size();
    const std::string part = Text.substr(start, end - start);
    std::smatch match;
    if (!std::regex_match(part, match, item)) {
      throw UsageError("--strength takes a list such as 5, 0-10 or 1,5,10, not \"" + Text + "\"");
    }
    const int low = ParseInt("--strength", match[1].str());
    const int high = match[2].matched ? ParseInt("--strength", match[2].str()) : low;
    if (high < low) throw UsageError("--strength: the range " + part + " runs backwards");
    for (long long s = low; s <= high; ++s) {
      if (std::find(strengths.begin(), strengths.end(), s) == strengths.end()) strengths.push_back(static_cast<int>(s));
    }
    start = end + 1;
  }
  return strengths;
}

Options ParseOptions(const std::vector<std::string>& Arguments) {
  Options options;
  bool only_inputs = false;
  for (std::size_t i = 0; i < Arguments.size(); ++i) {
    const std::string& argument = Arguments[i];
    if (only_inputs || argument.size() < 2 || argument[0] != '-') {
      options.inputs.push_back(argument);
      continue;
    }
    if (argument == "--") {
      only_inputs = true;
      continue;
    }
    const std::size_t equals = argument.find('=');
    const std::string name = argument.substr(0, equals);
    const auto entry =
        std::find_if(Table().begin(), Table().end(), [&](const OptionEntry& e) { return name == e.name; });
    if (entry == Table().end()) throw UsageError("unknown option " + name);
    std::string value;
    if (entry->value == nullptr) {
      if (equals != std::string::npos) throw UsageError(name + " takes no value");
    } else if (equals != std::string::npos) {
      value = argument.substr(equals + 1);
    } else if (i + 1 < Arguments.size()) {
      value = Arguments[++i];
    } else {
      throw UsageError(name + " needs a value: " + name + " " + entry->value);
    }
    entry->apply(options, value);
  }
  if (options.help || options.version) return options;
  if (options.libraries.size() < 2 && options.fail_if_different) {
    throw UsageError("--fail-if-different compares two builds: give --library twice");
  }
  if (options.libraries.size() < 2 && options.max_slowdown) {
    throw UsageError("--max-slowdown compares two builds: give --library twice");
  }
  if (options.inputs.empty()) throw UsageError("no picture or folder given");
  return options;
}

std::string HelpText() {
  std::string text =
      "Usage: morvane-bench [OPTIONS] PICTURE|FOLDER...\n"
      "Times, compares and checks builds of the ImageProcessing library's entry\n"
      "point DetailEnhancementByBilaterFilter on BMP, JPEG and PNG pictures (folders\n"
      "are searched recursively). Every build runs in a process of its own; a crash,\n"
      "a hang, an access outside the buffer or a write into the row padding is\n"
      "reported for that picture and build, and the run goes on.\n"
      "\nOptions:\n";
  for (const OptionEntry& entry : Table()) {
    text += std::string("  ") + entry.name + (entry.value ? std::string(" ") + entry.value : "") + "\n";
    text += Wrapped(entry.help, 6, 74);
  }
  text +=
      "\nExit status: 0 when all went well; 1 when a gate (--fail-if-different,\n"
      "--max-slowdown) failed; 2 for a usage error (bad options, a build that cannot\n"
      "be loaded or lacks the entry point, no pictures), found before anything is\n"
      "measured; 3 when a build crashed, hung, or read or wrote outside its buffer.\n"
      "See morvane-bench(1) for the JSON file and the checks.\n";
  return text;
}

}  // namespace bench
