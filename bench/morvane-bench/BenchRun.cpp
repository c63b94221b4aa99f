// BenchRun: the order of the calls and what each outcome means for the case.
#include "BenchRun.h"

#include "PictureList.h"
#include "ResultCodes.h"
#include "Statistics.h"
#include "platform/Errors.h"
#include "platform/ExecutablePath.h"
#include "platform/Machine.h"
#include "platform/Picture.h"
#include "platform/SharedLibrary.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <set>

#ifndef MORVANE_FILTER_INTERFACE_VERSION
#error "MORVANE_FILTER_INTERFACE_VERSION must give the major version of the library's interface"
#endif
#ifndef MORVANE_BENCH_WORKER_FROM_BINDIR
#error "MORVANE_BENCH_WORKER_FROM_BINDIR must give the installed worker's path from the program's folder"
#endif

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;

// Timed calls per case when --runs does not say: as many as fit in about a
// second, but at least enough for a median and quartiles to mean something,
// and no more than a stable median needs.
constexpr double kCaseBudgetMs = 1000;
constexpr int kFewestRuns = 3;
constexpr int kMostRuns = 30;
// Above this load average per CPU at the start, other work competes with the
// builds' calls for the CPUs and timings are not to be trusted.
constexpr double kBusyLoadPerCpu = 0.25;
// Timings whose interquartile range exceeds this share of their median are noisy.
constexpr double kNoisySpread = 0.10;
// The side of the region of a picture that the HTML report shows at 100 %.
constexpr int kRegionSide = 128;

double MsSince(Clock::time_point Start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - Start).count();
}

std::string WorkerProgram() {
  namespace fs = std::filesystem;
  const fs::path folder = platform::ExecutableFolder();
  // In the build tree the worker sits beside the program; installed, in libexec.
  if (fs::exists(folder / "morvane-bench-worker")) return (folder / "morvane-bench-worker").string();
  return (folder / MORVANE_BENCH_WORKER_FROM_BINDIR).lexically_normal().string();
}

std::string Count(std::uint64_t N, const char* Unit) {
  return std::to_string(N) + " " + Unit + (N == 1 ? "" : "s");
}

// The window pads rows to a multiple of 4 bytes; the other layout is tried
// too: rows packed when the window's are padded, padded when not.
int OtherStride(const SourcePicture& Picture) {
  const int row = 3 * Picture.width;
  return Picture.stride() > row ? row : row + 4;
}

// Where a build named on the command line may be, in the order tried: a bare
// name is looked for as the window looks for its library, this program's
// folder standing for the window's.
std::vector<std::string> PlacesOf(const std::string& Given) {
  if (Given.find('/') != std::string::npos) return {std::filesystem::absolute(Given).lexically_normal().string()};
  return platform::SharedLibrary::FilesFor(Given, MORVANE_FILTER_INTERFACE_VERSION, {platform::ExecutableFolder()});
}

}  // namespace

struct BenchRun::Build {
  BuildInfo info;
  std::unique_ptr<BuildProcess> process;
};

// One build's part of one case: what its calls did, as the case result says it.
class BenchRun::Case {
 public:
  Case(CaseResult& Result, const Build& Build, Console& Console) : result_(Result), build_(Build), console_(Console) {}

  bool Alive() const { return alive_; }

  // Records one call; a build that failed in it is no longer Alive().
  void Record(const CallOutcome& Outcome, int Stride) {
    switch (Outcome.end) {
      case CallOutcome::End::Returned:
        break;
      case CallOutcome::End::Crashed:
        result_.crashed = true;
        if (Outcome.signal != 0) result_.signal = Outcome.signal;
        Fail(Outcome.detail);
        return;
      case CallOutcome::End::OutsideBuffer:
        result_.signal = Outcome.signal;
        result_.contract_violations.push_back(Outcome.detail);
        Fail(Outcome.detail);
        return;
      case CallOutcome::End::TimedOut:
        result_.timed_out = true;
        Fail(Outcome.detail);
        return;
    }
    codes_.insert({Stride, Outcome.result});
    if (Outcome.slack_changed > 0 && !slack_told_) {
      slack_told_ = true;
      const std::string text = "wrote outside its buffer: " + Count(Outcome.slack_changed, "byte") +
                               " before its first byte changed (stride " + std::to_string(Stride) + "), the nearest " +
                               Count(static_cast<std::uint64_t>(-Outcome.slack_nearest), "byte") + " before it";
      result_.contract_violations.push_back(text);
      console_.Problem(Where() + text);
    }
    if (Outcome.padding_changed > 0 && !result_.padding_written) {
      result_.padding_written = true;
      Warn("wrote into the row padding: " + Count(Outcome.padding_changed, "byte") + " at stride " +
           std::to_string(Stride) + " for rows of " + std::to_string(3 * result_.width) + " bytes");
    }
    }

  // The result codes seen, told once the case is over.
  void TellResults(int Stride, int OtherStride) {
    if (!result_.result) return;
    const int first = *result_.result;
    if (first != 0) Warn("returned " + DescribeResult(first));
    std::set<int> at_stride, at_other;
    for (const auto& [stride, code] : codes_) (stride == Stride ? at_stride : at_other).insert(code);
    if (at_stride.size() > 1) {
      std::string codes;
      for (const int code : at_stride) codes += (codes.empty() ? "" : ", ") + std::to_string(code);
      Warn("returned different results for the same input: " + codes);
    }
    for (const int code : at_other) {
      if (code != first) {
        Warn("returned " + std::to_string(code) + " at stride " + std::to_string(OtherStride) + " but " +
             std::to_string(first) + " at stride " + std::to_string(Stride));
      }
    }
  }

  void Warn(const std::string& Text) {
    result_.warnings.push_back(Text);
    console_.Warning(Where() + Text);
  }

 private:
  void Fail(const std::string& Detail) {
    alive_ = false;
    console_.Problem(Where() + Detail);
  }

  std::string Where() const {
    return result_.picture + ", strength " + std::to_string(result_.strength) + ", build " + build_.info.label +
           " (" + build_.info.file + "): ";
  }

  CaseResult& result_;
  const Build& build_;
  Console& console_;
  bool alive_ = true;
  bool slack_told_ = false;
  std::set<std::pair<int, int>> codes_;
};

BenchRun::BenchRun(const Options& Options, Console& Console)
    : options_(Options),
      console_(Console),
      source_("morvane-bench source", kMaxBufferBytes, platform::SharedMemory::Access::ReadWrite) {}

BenchRun::~BenchRun() = default;

void BenchRun::LoadBuilds() {
  std::vector<std::string> givens = options_.libraries;
  if (givens.empty()) givens.push_back("ImageProcessing");
  const std::string worker = WorkerProgram();
  std::string failures;
  for (std::size_t i = 0; i < givens.size(); ++i) {
    auto build = std::make_unique<Build>();
    build->info.label = std::string(1, static_cast<char>('A' + i));
    build->info.given = givens[i];
    build->process = std::make_unique<BuildProcess>(worker, PlacesOf(givens[i]), options_.environment, source_,
                                                    options_.call_timeout_s);
    if (const std::optional<std::string> failure = build->process->Start()) {
      if (!failures.empty()) failures += '\n';
      failures += "build " + build->info.label + " (" + givens[i] + ") cannot be loaded: " + *failure;
    }
    build->info.file = build->process->File();
    report_.builds.push_back(build->info);
    builds_.push_back(std::move(build));
  }
  if (!failures.empty()) throw UsageError(failures);
}

Report BenchRun::Run() {
  const Clock::time_point start = Clock::now();
  report_.machine.processor = platform::ProcessorModel();
  report_.machine.cpus = platform::ProcessorCount();
  report_.machine.load_at_start = platform::LoadAverage();
  report_.environment = options_.environment;
  report_.strengths = options_.strengths;
  report_.reference = options_.reference;

  const PictureList list = ListPictures(options_.inputs);
  LoadBuilds();
  for (const std::string& problem : list.problems) console_.Warning(problem);

  int read = 0;
  const Clock::time_point pictures_start = Clock::now();
  for (std::size_t i = 0; i < list.pictures.size(); ++i) {
    const double done = static_cast<double>(i);
    console_.Progress(static_cast<int>(i), static_cast<int>(list.pictures.size()), list.pictures[i],
                      i == 0 ? -1 : MsSince(pictures_start) / 1000 / done * (list.pictures.size() - done));
    SourcePicture picture;
    picture.name = list.pictures[i];
    const Clock::time_point decode_start = Clock::now();
    try {
      std::shared_ptr<const platform::Picture> decoded = platform::LoadPicture(picture.name);
      picture.width = decoded->PixelWidth();
      picture.height = decoded->PixelHeight();
      picture.pixels = decoded->Pixels();
      picture.storage = decoded;
      if (decoded->CutShort()) {
        console_.Warning(picture.name + " ends before all of the picture; what is missing shows in a fixed colour");
      }
    } catch (const platform::PlatformError& e) {
      report_.decode_ms += MsSince(decode_start);
      report_.skipped.push_back({picture.name, e.what()});
      console_.Problem(std::string(e.what()) + "; skipped");
      continue;
    }
    report_.decode_ms += MsSince(decode_start);
    if (picture.width == 0 || picture.height == 0) {
      report_.skipped.push_back({picture.name, "the picture has no pixels"});
      console_.Problem(picture.name + " has no pixels; skipped");
      continue;
    }
    ++read;
    try {
      Measure(picture);
    } catch (const platform::PlatformError& e) {
      report_.skipped.push_back({picture.name, e.what()});
      console_.Problem(picture.name + ": " + e.what() + "; skipped");
    }
  }
  console_.EndProgress();
  if (read == 0) throw UsageError("none of the pictures could be read; nothing was measured");
  for (const SourcePicture& shape : EdgeShapes()) Measure(shape);

  report_.machine.load_at_end = platform::LoadAverage();
  AddRunWarnings();
  report_.total_ms = MsSince(start);
  report_.overhead_ms = report_.total_ms - report_.decode_ms - report_.reference_ms - work_ms_;
  return report_;
}

void BenchRun::Measure(const SourcePicture& Picture) {
  const int stride = Picture.stride();
  const std::size_t row = 3 * static_cast<std::size_t>(Picture.width);
  source_.Reserve(Picture.pixels.size());
  std::uint8_t* source = source_.Data();
  std::memcpy(source, Picture.pixels.data(), Picture.pixels.size());
  for (int y = 0; y < Picture.height; ++y) {
    for (std::size_t i = row; i < static_cast<std::size_t>(stride); ++i) {
      source[static_cast<std::size_t>(y) * stride + i] = PatternByte(i - row);
    }
  }
  for (const auto& build : builds_) build->process->UsePicture(Picture.width, Picture.height, stride);

  std::optional<ExactComparison> exact;
  if (options_.reference) {
    const Clock::time_point reference_start = Clock::now();
    exact.emplace(exact::PictureView{source, Picture.width, Picture.height, stride});
    report_.reference_ms += MsSince(reference_start);
  }
  for (const int strength : options_.strengths) MeasureStrength(Picture, strength, exact ? &*exact : nullptr);
}

int BenchRun::RunsFor(const SourcePicture& Picture, double SlowestWarmUpMs) const {
  if (Picture.edge_shape) return 1;
  if (options_.runs) return *options_.runs;
  const double fit = kCaseBudgetMs / std::max(SlowestWarmUpMs, 1e-3);
  return static_cast<int>(std::clamp(std::floor(fit), double{kFewestRuns}, double{kMostRuns}));
}

void BenchRun::MeasureStrength(const SourcePicture& Picture, int Strength, const ExactComparison* Exact) {
  const int stride = Picture.stride();
  const int other = OtherStride(Picture);
  const std::size_t count = builds_.size();
  std::vector<CaseResult> results(count);
  std::vector<std::unique_ptr<Case>> cases;
  for (std::size_t b = 0; b < count; ++b) {
    CaseResult& r = results[b];
    r.picture = Picture.name;
    r.edge_shape = Picture.edge_shape;
    r.width = Picture.width;
    r.height = Picture.height;
    r.stride = stride;
    r.strength = Strength;
    r.build = static_cast<int>(b);
    cases.push_back(std::make_unique<Case>(r, *builds_[b], console_));
  }
  auto call = [&](std::size_t b, int Stride, bool Keep) {
    const CallOutcome outcome = builds_[b]->process->Call(Strength, Stride, Keep);
    work_ms_ += outcome.call_ms + outcome.copy_ms;
    cases[b]->Record(outcome, Stride);
    return outcome;
  };

  for (std::size_t b = 0; b < count; ++b) call(b, other, false);
  double slowest = 0;
  for (std::size_t b = 0; b < count; ++b) {
    if (!cases[b]->Alive()) continue;
    const CallOutcome warm_up = call(b, stride, true);
    if (!cases[b]->Alive()) continue;
    results[b].result = warm_up.result;
    slowest = std::max(slowest, warm_up.call_ms);
  }
  const int runs = RunsFor(Picture, slowest);
  // A B B A A B B A ...: neither build always goes first, after the other's
  // caches or with the CPU's clock where the other left it.
  for (int i = 0; i < runs; ++i) {
    for (std::size_t k = 0; k < count; ++k) {
      const std::size_t b = i % 2 == 0 ? k : count - 1 - k;
      if (!cases[b]->Alive()) continue;
      const CallOutcome outcome = call(b, stride, false);
      if (cases[b]->Alive()) results[b].times_ms.push_back(outcome.call_ms);
    }
  }

  std::vector<bool> cases_alive;
  for (std::size_t b = 0; b < count; ++b) cases_alive.push_back(cases[b]->Alive() && results[b].result.has_value());
  for (std::size_t b = 0; b < count; ++b) {
    CaseResult& r = results[b];
    if (cases[b]->Alive()) {
      r.deterministic = builds_[b]->process->SameAsKept();
      if (r.deterministic == false) cases[b]->Warn("gave different bytes on two calls with the same input");
      if (Exact != nullptr && r.result) {
        const ExactComparison::Error error =
            Exact->Measure({builds_[b]->process->Result(), r.width, r.height, stride}, Strength);
        r.reference_psnr_db = error.psnr_db;
        r.reference_max_error = error.max_error;
      }
    }
    cases[b]->TellResults(stride, other);
    if (r.Timed()) {
      r.median_ms = Median(r.times_ms);
      r.min_ms = *std::min_element(r.times_ms.begin(), r.times_ms.end());
      r.iqr_ms = Quantile(r.times_ms, 0.75) - Quantile(r.times_ms, 0.25);
    }
  }

  if (count == 2) {
    PairResult pair;
    pair.picture = Picture.name;
    pair.edge_shape = Picture.edge_shape;
    pair.strength = Strength;
    if (cases[0]->Alive() && cases[1]->Alive() && results[0].result && results[1].result) {
      pair.difference = Compare({builds_[0]->process->Result(), Picture.width, Picture.height, stride},
                                {builds_[1]->process->Result(), Picture.width, Picture.height, stride});
    }
    const std::vector<double>& a = results[0].times_ms;
    const std::vector<double>& b = results[1].times_ms;
    if (!Picture.edge_shape && !a.empty() && a.size() == b.size()) {
      std::vector<double> ratios;
      for (std::size_t i = 0; i < a.size(); ++i) ratios.push_back(b[i] / std::max(a[i], 1e-9));
      pair.ratio = Median(ratios);
      pair.ratio_q1 = Quantile(ratios, 0.25);
      pair.ratio_q3 = Quantile(ratios, 0.75);
    }
    report_.pairs.push_back(pair);
  }
  report_.cases.insert(report_.cases.end(), results.begin(), results.end());
  if (!options_.report_file.empty() && !Picture.edge_shape) KeepRegion(Picture, Strength, cases_alive);
}

// Keeps the region of this strength when it shows more than the one kept for
// the picture so far: more differing pixels between the builds, or with
// builds that agree, the stronger enhancement.
void BenchRun::KeepRegion(const SourcePicture& Picture, int Strength, const std::vector<bool>& Alive) {
  for (const bool alive : Alive) {
    if (!alive) return;
  }
  const int stride = Picture.stride();
  std::vector<exact::PictureView> outputs;
  for (const auto& build : builds_) outputs.push_back({build->process->Result(), Picture.width, Picture.height, stride});
  const bool two = outputs.size() == 2;
  const std::uint64_t differing = two ? report_.pairs.back().difference->differing_pixels : 0;
  Region* kept = report_.regions.empty() || report_.regions.back().picture != Picture.name ? nullptr
                                                                                            : &report_.regions.back();
  if (kept != nullptr && (differing < kept->differing_pixels || (differing == kept->differing_pixels &&
                                                                  (differing > 0 || Strength <= kept->strength)))) {
    return;
  }
  if (kept == nullptr) kept = &report_.regions.emplace_back();
  kept->picture = Picture.name;
  kept->strength = Strength;
  kept->builds_differ = differing > 0;
  kept->differing_pixels = differing;
  kept->spot = differing > 0 ? MostDifferentSpot(outputs[0], outputs[1]) : MostDifferentSpot(Picture.View(), outputs[0]);
  kept->box = BoxAround(kept->spot, kRegionSide, kRegionSide, Picture.width, Picture.height);
  auto cut = [&](const exact::PictureView& View) {
    std::vector<std::uint8_t> bytes;
    for (int y = kept->box.y; y < kept->box.y + kept->box.height; ++y) {
      const std::uint8_t* row = View.pixel(kept->box.x, y);
      bytes.insert(bytes.end(), row, row + 3 * kept->box.width);
    }
    return bytes;
  };
  kept->source = cut(Picture.View());
  kept->outputs.clear();
  for (const exact::PictureView& output : outputs) kept->outputs.push_back(cut(output));
}

void BenchRun::AddRunWarnings() {
  const MachineInfo& machine = report_.machine;
  const double busy = kBusyLoadPerCpu * machine.cpus;
  if (machine.load_at_start[0] > busy) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "the load average was %.2f on %d CPUs when the run started: other work competed with the "
                  "builds, and the times may be off",
                  machine.load_at_start[0], machine.cpus);
    report_.warnings.push_back(text);
  }
  int timed = 0, noisy = 0;
  for (const CaseResult& r : report_.cases) {
    if (r.edge_shape || r.times_ms.size() < kFewestRuns) continue;
    ++timed;
    noisy += r.iqr_ms > kNoisySpread * r.median_ms;
  }
  for (const PairResult& p : report_.pairs) {
    if (!p.ratio) continue;
    ++timed;
    noisy += *p.ratio_q3 - *p.ratio_q1 > kNoisySpread * *p.ratio;
  }
  if (noisy > 0) {
    report_.warnings.push_back(std::to_string(noisy) + " of " + std::to_string(timed) +
                               " timings spread more than " + std::to_string(static_cast<int>(kNoisySpread * 100)) +
                               " % (interquartile range against the median): differences of that size are noise");
  }
  for (const std::string& warning : report_.warnings) console_.Warning(warning);
}

}  // namespace bench
