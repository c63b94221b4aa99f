// TerminalReport: the table and the lines around it.
#include "TerminalReport.h"

#include "TextTable.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace bench {

namespace {

std::string Printf(const char* Format, double Value) {
  char text[64];
  std::snprintf(text, sizeof text, Format, Value);
  return text;
}

std::string Size(const CaseResult& Case) { return std::to_string(Case.width) + "x" + std::to_string(Case.height); }

std::string Joined(const std::vector<std::string>& Items, const char* Separator = ", ") {
  std::string text;
  for (const std::string& item : Items) text += (text.empty() ? "" : Separator) + item;
  return text;
}

// "edge shapes 1x1, 1x300, 300x1, 75x49: no problems", or what went wrong
// where: "B crashed at 1x1; outputs differ at 1x300 (strengths 1, 5), 75x49".
std::string EdgeShapeLine(const Report& Report) {
  const std::size_t count = Report.builds.size();
  const bool two = count == 2;
  std::vector<std::string> shapes;
  // Each trouble, in the order first met, with the shapes and strengths it showed at.
  std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::vector<int>>>>> troubles;
  auto note = [&](const std::string& What, const std::string& Shape, int Strength) {
    auto trouble = std::find_if(troubles.begin(), troubles.end(), [&](const auto& t) { return t.first == What; });
    if (trouble == troubles.end()) trouble = troubles.insert(troubles.end(), {What, {}});
    auto where = std::find_if(trouble->second.begin(), trouble->second.end(), [&](const auto& w) { return w.first == Shape; });
    if (where == trouble->second.end()) where = trouble->second.insert(trouble->second.end(), {Shape, {}});
    where->second.push_back(Strength);
  };
  for (std::size_t i = 0; i + count <= Report.cases.size(); i += count) {
    const CaseResult& first = Report.cases[i];
    if (!first.edge_shape) continue;
    const std::string shape = Size(first);
    if (std::find(shapes.begin(), shapes.end(), shape) == shapes.end()) shapes.push_back(shape);
    for (std::size_t b = 0; b < count; ++b) {
      const std::string trouble = FormatTrouble(Report.cases[i + b]);
      if (!trouble.empty()) note(Report.builds[b].label + " " + trouble, shape, first.strength);
    }
    const PairResult* pair = two ? &Report.pairs[i / count] : nullptr;
    if (pair && pair->difference && !pair->difference->Identical()) note("outputs differ", shape, first.strength);
  }
  if (shapes.empty()) return {};
  std::vector<std::string> said;
  for (const auto& [what, wheres] : troubles) {
    std::vector<std::string> places;
    for (const auto& [shape, strengths] : wheres) {
      std::vector<std::string> numbers;
      for (const int s : strengths) numbers.push_back(std::to_string(s));
      places.push_back(strengths.size() == Report.strengths.size()
                           ? shape
                           : shape + " (strength" + (numbers.size() > 1 ? "s " : " ") + Joined(numbers) + ")");
    }
    said.push_back(what + " at " + Joined(places));
  }
  const std::string problems = Joined(said, "; ");
  return "\nedge shapes " + Joined(shapes) + ": " + (problems.empty() ? "no problems" : problems) + "\n";
}

}  // namespace

std::string FormatMs(double Ms) {
  if (Ms >= 100) return Printf("%.0f ms", Ms);
  if (Ms >= 10) return Printf("%.1f ms", Ms);
  if (Ms >= 1) return Printf("%.2f ms", Ms);
  return Printf("%.3f ms", Ms);
}

std::string FormatRatio(const PairResult& Pair) {
  if (!Pair.ratio) return "-";
  return Printf("%.2f", *Pair.ratio) + " (" + Printf("%.2f", *Pair.ratio_q1) + "-" + Printf("%.2f", *Pair.ratio_q3) + ")";
}

std::string FormatDifference(const PairResult& Pair) {
  if (!Pair.difference) return "-";
  const Difference& d = *Pair.difference;
  if (d.Identical()) return "identical";
  std::string text = std::to_string(d.differing_pixels) + " px (" + Printf("%.3g", 100 * d.differing_share) +
                     " %), max " + std::to_string(d.max_abs_diff[0]) + "/" + std::to_string(d.max_abs_diff[1]) +
                     "/" + std::to_string(d.max_abs_diff[2]) + ", " + Printf("%.1f", d.psnr_db) + " dB";
  if (d.bounds) {
    text += ", at " + std::to_string(d.bounds->x) + "," + std::to_string(d.bounds->y) + " " +
            std::to_string(d.bounds->width) + "x" + std::to_string(d.bounds->height);
  }
  return text;
}

std::string FormatExact(const CaseResult& Case) {
  if (!Case.reference_max_error) return "-";
  if (!Case.reference_psnr_db) return "exact";
  return Printf("%.1f dB", *Case.reference_psnr_db);
}

std::string FormatLoad(const std::array<double, 3>& Load) {
  return Printf("%.2f", Load[0]) + " " + Printf("%.2f", Load[1]) + " " + Printf("%.2f", Load[2]);
}

std::string FormatTrouble(const CaseResult& Case) {
  if (Case.timed_out) return "timed out";
  if (!Case.contract_violations.empty()) return "outside its buffer";
  if (Case.crashed) return "crashed";
  return {};
}

std::string TerminalReport(const Report& Report, const std::string& Version) {
  std::string text = "morvane-bench " + Version + " on " + Report.machine.processor + ", " +
                     std::to_string(Report.machine.cpus) + " CPUs, load average " +
                     FormatLoad(Report.machine.load_at_start) + " (at the end " +
                     FormatLoad(Report.machine.load_at_end) + ")\n";
  for (const BuildInfo& build : Report.builds) text += build.label + "  " + build.file + "\n";
  for (const std::string& entry : Report.environment) text += "env " + entry + "\n";
  text += "\n";

  const bool two = Report.builds.size() == 2;
  std::vector<std::string> header{"picture", "size", "strength"};
  std::vector<bool> right{false, true, true};
  for (const BuildInfo& build : Report.builds) {
    header.insert(header.end(), {build.label + " median", build.label + " min"});
    right.insert(right.end(), {true, true});
  }
  if (two) {
    header.insert(header.end(), {"B/A (IQR)", "difference"});
    right.insert(right.end(), {false, false});
  }
  if (Report.reference) {
    for (const BuildInfo& build : Report.builds) {
      header.push_back("exact " + build.label);
      right.push_back(true);
    }
  }
  TextTable table(right);
  table.Add(header);

  const std::size_t count = Report.builds.size();
  for (std::size_t i = 0; i + count <= Report.cases.size(); i += count) {
    const CaseResult& first = Report.cases[i];
    const PairResult* pair = two ? &Report.pairs[i / count] : nullptr;
    if (first.edge_shape) continue;
    std::vector<std::string> row{first.picture, Size(first), std::to_string(first.strength)};
    for (std::size_t b = 0; b < count; ++b) {
      const CaseResult& c = Report.cases[i + b];
      const std::string trouble = FormatTrouble(c);
      if (!trouble.empty()) {
        row.insert(row.end(), {trouble, ""});
      } else if (c.Timed()) {
        row.insert(row.end(), {FormatMs(c.median_ms), FormatMs(c.min_ms)});
      } else {
        row.insert(row.end(), {"-", "-"});
      }
    }
    if (pair) row.insert(row.end(), {FormatRatio(*pair), FormatDifference(*pair)});
    if (Report.reference) {
      for (std::size_t b = 0; b < count; ++b) row.push_back(FormatExact(Report.cases[i + b]));
    }
    table.Add(row);
  }
  text += table.Text() + EdgeShapeLine(Report);
  if (two) {
    double log_sum = 0;
    int ratios = 0;
    for (const PairResult& p : Report.pairs) {
      if (!p.ratio) continue;
      log_sum += std::log(*p.ratio);
      ++ratios;
    }
    if (ratios > 0) {
      text += "B/A over " + std::to_string(ratios) + (ratios == 1 ? " case" : " cases") + ": " +
              Printf("%.3f", std::exp(log_sum / ratios)) + " (geometric mean of the medians)\n";
    }
  }
  return text;
}

}  // namespace bench
