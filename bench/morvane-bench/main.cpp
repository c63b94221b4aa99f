// morvane-bench: times, compares and checks builds of the filter library's
// entry point on pictures; see morvane-bench(1). Start-up, the files written
// and the exit status.
#include "BenchRun.h"
#include "Console.h"
#include "HtmlReport.h"
#include "JsonReport.h"
#include "Options.h"
#include "TerminalReport.h"
#include "platform/DecoderMessages.h"
#include "platform/Errors.h"
#include "platform/Files.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <span>
#include <sstream>

#ifndef MORVANE_VERSION
#error "MORVANE_VERSION must give the program's version"
#endif

namespace {

// Exit statuses.
constexpr int kAllWell = 0;
constexpr int kGateFailed = 1;
constexpr int kUsageError = 2;
constexpr int kBuildFailed = 3;

void SayEachLine(const std::string& Text) {
  std::istringstream lines(Text);
  for (std::string line; std::getline(lines, line);) std::fprintf(stderr, "morvane-bench: %s\n", line.c_str());
}

// A file to be written at the end must have a folder to go into now, so that
// a long run is not lost to a typing error.
void CheckOutputFile(const std::string& Option, const std::string& Path) {
  if (Path.empty()) return;
  namespace fs = std::filesystem;
  const fs::path folder = fs::absolute(Path).parent_path();
  std::error_code error;
  if (!fs::is_directory(folder, error)) {
    throw bench::UsageError(Option + " " + Path + ": there is no folder " + folder.string());
  }
  if (fs::is_directory(Path, error)) throw bench::UsageError(Option + " " + Path + " is a folder");
}

void Write(const std::string& Path, const std::string& Text) {
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(Text.data()), Text.size());
  platform::ReplaceFile(Path, {bytes});
}

// The gates' verdicts, told on standard error; true when one failed.
bool GateFailed(const bench::Options& Options, const bench::Report& Report) {
  bool failed = false;
  if (Options.fail_if_different) {
    int different = 0;
    for (const bench::PairResult& pair : Report.pairs) different += pair.difference && !pair.difference->Identical();
    if (different > 0) {
      SayEachLine("B's output differs from A's in " + std::to_string(different) + " of " +
                  std::to_string(Report.pairs.size()) + " cases (--fail-if-different)");
      failed = true;
    }
  }
  if (Options.max_slowdown) {
    for (const bench::PairResult& pair : Report.pairs) {
      if (!pair.ratio || *pair.ratio_q1 <= *Options.max_slowdown) continue;
      char limit[32];
      std::snprintf(limit, sizeof limit, "%g", *Options.max_slowdown);
      SayEachLine(pair.picture + ", strength " + std::to_string(pair.strength) + ": B/A " +
                  bench::FormatRatio(pair) + " is above " + limit + " beyond its spread (--max-slowdown)");
      failed = true;
    }
  }
  return failed;
}

}  // namespace

int main(int argc, char** argv) {
  bench::Options options;
  try {
    options = bench::ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    CheckOutputFile("--json", options.json_file);
    CheckOutputFile("--report", options.report_file);
  } catch (const bench::UsageError& e) {
    SayEachLine(e.what());
    std::fprintf(stderr, "Try 'morvane-bench --help' for more information.\n");
    return kUsageError;
  }
  if (options.help) {
    std::fputs(bench::HelpText().c_str(), stdout);
    return kAllWell;
  }
  if (options.version) {
    std::printf("morvane-bench %s\n", MORVANE_VERSION);
    return kAllWell;
  }

  platform::SilenceDecoderMessages();
  bench::Console console(options.quiet);
  try {
    bench::BenchRun run(options, console);
    bench::Report report = run.Run();
    std::string html;
    if (!options.report_file.empty()) {
      const auto start = std::chrono::steady_clock::now();
      html = bench::HtmlReport(report, MORVANE_VERSION);
      const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
      report.overhead_ms += ms;
      report.total_ms += ms;
    }
    if (!options.quiet) {
      std::fputs(bench::TerminalReport(report, MORVANE_VERSION).c_str(), stdout);
      std::fflush(stdout);
    }
    if (!options.json_file.empty()) Write(options.json_file, bench::JsonReport(report, MORVANE_VERSION));
    if (!options.report_file.empty()) Write(options.report_file, html);

    bool failed = false;
    for (const bench::CaseResult& c : report.cases) failed |= c.Failed();
    const bool gate_failed = GateFailed(options, report);
    if (failed) return kBuildFailed;
    return gate_failed ? kGateFailed : kAllWell;
  } catch (const bench::UsageError& e) {
    console.EndProgress();
    SayEachLine(e.what());
    return kUsageError;
  } catch (const std::exception& e) {
    console.EndProgress();
    SayEachLine(e.what());
    return kUsageError;
  }
}
