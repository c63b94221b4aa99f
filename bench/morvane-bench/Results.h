// Results: everything one run of morvane-bench found, as the terminal table,
// the JSON file and the HTML report show it.
#pragma once

#include "Difference.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace bench {

struct MachineInfo {
  std::string processor;
  int cpus = 0;
  std::array<double, 3> load_at_start{};
  std::array<double, 3> load_at_end{};
};

struct BuildInfo {
  std::string label;  // "A", "B"
  std::string given;  // as named on the command line, or the window's library name
  std::string file;   // the file loaded
};

// One picture at one strength with one build.
struct CaseResult {
  std::string picture;
  bool edge_shape = false;
  int width = 0;
  int height = 0;
  int stride = 0;
  int strength = 0;
  int build = 0;  // index into the builds
  std::vector<double> times_ms;  // the timed calls, in order
  double median_ms = 0;
  double min_ms = 0;
  double iqr_ms = 0;
  std::optional<int> result;  // of the first call at the picture's own stride
  bool crashed = false;
  std::optional<int> signal;
  bool timed_out = false;
  std::vector<std::string> contract_violations;
  bool padding_written = false;
  std::optional<bool> deterministic;
  std::vector<std::string> warnings;
  std::optional<double> reference_psnr_db;  // none when identical at every sample
  std::optional<int> reference_max_error;

  // Crashed, hung or read or wrote outside its buffer.
  bool Failed() const { return crashed || timed_out || !contract_violations.empty(); }
  bool Timed() const { return !times_ms.empty(); }
};

// The two builds on one picture at one strength.
struct PairResult {
  std::string picture;
  bool edge_shape = false;
  int strength = 0;
  std::optional<Difference> difference;  // none when either build has no output
  std::optional<double> ratio;            // median of the per-pair ratios B / A
  std::optional<double> ratio_q1;
  std::optional<double> ratio_q3;
};

// For the HTML report: the region of a picture around the spot where the
// builds' outputs differ most (or, where they agree, where the filter changed
// the picture most), at the strength where they differ most, cut out of the
// source and of each build's output. Rows of 3 x width bytes.
struct Region {
  std::string picture;
  int strength = 0;
  Box box;
  Point spot;  // in the picture
  bool builds_differ = false;
  std::uint64_t differing_pixels = 0;  // in the whole picture
  std::vector<std::uint8_t> source;
  std::vector<std::vector<std::uint8_t>> outputs;  // per build
};

struct SkippedPicture {
  std::string picture;
  std::string reason;
};

struct Report {
  MachineInfo machine;
  std::vector<BuildInfo> builds;
  std::vector<std::string> environment;  // NAME=VALUE, as given with --env
  std::vector<int> strengths;
  std::vector<CaseResult> cases;
  std::vector<PairResult> pairs;
  std::vector<Region> regions;  // one per picture, with --report
  std::vector<SkippedPicture> skipped;
  std::vector<std::string> warnings;  // about the run as a whole
  bool reference = false;
  double decode_ms = 0;
  double reference_ms = 0;
  double overhead_ms = 0;
  double total_ms = 0;
};

}  // namespace bench
