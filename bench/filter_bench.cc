// filter_bench: wall-clock speed of DetailEnhancementByBilaterFilter on photo
// content (chelsea.ppm resampled to each size), strength 5, at every picture
// size and shape the library promises to handle, on the best SIMD level of
// this CPU and on AVX2 forced (or the levels --target names), with 1 and 2
// threads; beside them the peak heap of a call, the first call in a fresh
// process, and 1920x1080 while another process keeps one core busy. Prints
// one self-describing report; asserts nothing and is not registered with
// CTest.
#include <omp.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <hwy/targets.h>
#include <x86intrin.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <type_traits>
#include <vector>

#include "ImageProcessing.h"
#include "heap_counter.h"
#include "photo.h"
#include "platform/Errors.h"
#include "platform/SharedLibrary.h"

namespace {

using iptest::Picture;
constexpr int kStrength = 5;

struct Path {
  std::int64_t targets;  // 0: whatever the CPU supports best
  const char* name;
};

struct Size {
  int width, height;
};

double Now() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : 0.5 * (v[v.size() / 2 - 1] + v[v.size() / 2]);
}

using Filter = int (*)(unsigned char*, int, int, int, int);

// A refused call times nothing worth printing.
void ExitIfRefused(const Picture& src, int rc) {
  if (rc != IMAGEPROCESSING_OK) {
    std::fprintf(stderr, "filter refused %dx%d: %d\n", src.width, src.height, rc);
    std::exit(1);
  }
}

// One call from the original picture; only the call is timed.
double TimeCall(const Picture& src, Picture& work, Filter filter = DetailEnhancementByBilaterFilter) {
  std::memcpy(work.data(), src.bytes.data(), src.bytes.size());
  const double t0 = Now();
  const int rc = filter(work.data(), work.width, work.height, work.stride, kStrength);
  const double t = Now() - t0;
  ExitIfRefused(src, rc);
  return t;
}

// Repeats until half a second has gone by, at least 5 and at most 300 times
// (at least 3 for pictures that take longer than 100 ms).
std::vector<double> TimeCalls(const Picture& src) {
  Picture work = src;
  std::vector<double> times;
  double total = 0;
  TimeCall(src, work);  // warm-up: threads, pages, dispatch
  while (times.size() < 300) {
    times.push_back(TimeCall(src, work));
    total += times.back();
    const std::size_t least = times.front() > 100 ? 3 : 5;
    if (times.size() >= least && total > 500) break;
  }
  return times;
}

std::string CpuModel() {
  std::ifstream in("/proc/cpuinfo");
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
  }
  return "unknown";
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen;
}

Picture Photo(const Size& s) {
  static const Picture chelsea = iptest::LoadPpm("chelsea.ppm");
  return iptest::Resample(chelsea, s.width, s.height);
}

void UsePath(const Path& path) { hwy::SetSupportedTargetsForTest(path.targets); }

struct Measured {
  Size size;
  const char* path;
  int threads;
  double median;
};

// Every size against its bound from the 1920x1080 cost per megapixel on the
// same path and thread count: twice that for its pixel count plus 0.3 ms
// for a picture whose short side is under 400 px (its grid has many more
// cells per pixel), 1.5 times plus 0.2 ms for any other.
void CliffSummary(const std::vector<Measured>& all) {
  std::printf("\nAgainst the bound (2 threads): 2 x the 1920x1080 cost per megapixel + 0.3 ms with a short side\n"
              "under 400 px, else 1.5 x + 0.2 ms:\n");
  for (const Measured& hd : all) {
    if (hd.size.width != 1920 || hd.size.height != 1080 || hd.threads != 2) continue;
    const double perMp = hd.median / (1920 * 1080 * 1e-6);
    std::printf("  %-8s over it:", hd.path);
    double worst = 0;
    for (const Measured& m : all) {
      if (m.path != hd.path || m.threads != 2) continue;
      const bool small = std::min(m.size.width, m.size.height) < 400;
      const double bound = (small ? 2.0 : 1.5) * perMp * m.size.width * m.size.height * 1e-6 + (small ? 0.3 : 0.2);
      worst = std::max(worst, m.median / bound);
      if (m.median > bound) std::printf(" %dx%d (%.2fx)", m.size.width, m.size.height, m.median / bound);
    }
    std::printf("%s; worst %.2f of the bound\n", worst > 1 ? "" : " none", worst);
  }
}

const std::vector<Size> kAllSizes = {
    {1, 1},       {16, 16},      {32, 32},    {64, 64},    {256, 256},   {451, 300},
    {512, 512},   {640, 480},    {1920, 1080}, {4000, 3000}, {6000, 4000}, {12000, 8000},
    {6000, 370},  {370, 6000},   {2000, 200}, {10000, 10}, {10, 10000}};

// "WxH,WxH,...", or nothing on a malformed list.
std::vector<Size> ParseSizes(const char* list) {
  std::vector<Size> sizes;
  for (const char* p = list; *p != '\0';) {
    Size s{};
    int used = 0;
    if (std::sscanf(p, "%dx%d%n", &s.width, &s.height, &used) != 2 || s.width < 1 || s.height < 1) {
      return {};
    }
    sizes.push_back(s);
    p += used;
    if (*p == ',') ++p;
  }
  return sizes;
}

// "NAME,NAME,...": "best" (what the dispatcher picks) or Highway's name of a
// level this CPU supports, each forced with hwy::SetSupportedTargetsForTest;
// nothing on an unknown name.
std::vector<Path> ParseTargets(const char* list, std::int64_t supported) {
  std::vector<Path> paths;
  const std::int64_t best = supported & -supported;
  std::string names(list);
  for (std::size_t at = 0; at <= names.size();) {
    const std::size_t end = std::min(names.find(',', at), names.size());
    const std::string name = names.substr(at, end - at);
    at = end + 1;
    if (name == "best") {
      paths.push_back({0, hwy::TargetName(best)});
      continue;
    }
    std::int64_t bit = 0;
    for (std::int64_t rest = supported; rest != 0 && bit == 0; rest &= rest - 1) {
      if (name == hwy::TargetName(rest & -rest)) bit = rest & -rest;
    }
    if (bit == 0) return {};
    paths.push_back({bit, hwy::TargetName(bit)});
  }
  return paths;
}

void SizesTable(const std::vector<Path>& paths, const std::vector<Size>& sizes) {
  std::printf("\n%-12s %-8s %7s %10s %10s %9s %11s %11s\n", "picture", "path", "threads",
              "median ms", "min ms", "ms/MP", "heap MiB", "picture MiB");
  std::vector<Measured> all;
  for (const Size& s : sizes) {
    const Picture src = Photo(s);
    const double mp = s.width * static_cast<double>(s.height) * 1e-6;
    for (const Path& path : paths) {
      UsePath(path);
      for (int threads : {1, 2}) {
        omp_set_num_threads(threads);
        const std::vector<double> t = TimeCalls(src);
        Picture work = src;
        iptest::heap::Start();
        TimeCall(src, work);
        const iptest::heap::Usage heap = iptest::heap::Stop();
        const double median = Median(t);
        all.push_back({s, path.name, threads, median});
        std::printf("%5dx%-6d %-8s %7d %10.3f %10.3f %9.2f %11.2f %11.2f\n", s.width, s.height,
                    path.name, threads, median, *std::min_element(t.begin(), t.end()), median / mp,
                    heap.peak / 1048576.0, src.bytes.size() / 1048576.0);
        std::fflush(stdout);
      }
    }
    UsePath(Path{0, ""});
  }
  CliffSummary(all);
}

// The child side of FirstCalls: times the first call of this process, then
// the median of the next ones, and prints both.
int FirstCallChild(std::int64_t targets) {
  hwy::SetSupportedTargetsForTest(targets);
  const Picture src = Photo(Size{1920, 1080});
  Picture work = src;
  const double first = TimeCall(src, work);
  std::vector<double> later;
  for (int i = 0; i < 15; ++i) later.push_back(TimeCall(src, work));
  std::printf("%.3f %.3f\n", first, Median(later));
  return 0;
}

void FirstCalls(const char* self, const std::vector<Path>& paths) {
  std::printf("\nFirst call in a fresh process, 1920x1080, 2 threads (thread start-up, dispatch, page faults):\n");
  for (const Path& path : paths) {
    const std::string command =
        std::string("OMP_NUM_THREADS=2 '") + self + "' --first-call " + std::to_string(path.targets);
    FILE* child = popen(command.c_str(), "r");
    double first = 0, later = 0;
    const bool ok = child != nullptr && std::fscanf(child, "%lf %lf", &first, &later) == 2;
    if (child != nullptr) pclose(child);
    if (!ok) {
      std::printf("  %-8s could not run %s\n", path.name, command.c_str());
      continue;
    }
    std::printf("  %-8s first %.3f ms, later calls median %.3f ms, difference %.3f ms\n", path.name,
                first, later, first - later);
  }
}

// A child process that spins on the last CPU until it is killed.
pid_t StartBusyCore() {
  const pid_t pid = fork();
  if (pid == 0) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN)) - 1, &set);
    sched_setaffinity(0, sizeof(set), &set);
    std::atomic<unsigned long> spin{0};
    for (;;) spin.fetch_add(1, std::memory_order_relaxed);
  }
  return pid;
}

void UnderLoad(const std::vector<Path>& paths) {
  std::printf("\n1920x1080, 2 threads, quiet and with another process spinning on the last CPU:\n");
  const Picture src = Photo(Size{1920, 1080});
  omp_set_num_threads(2);
  for (const Path& path : paths) {
    UsePath(path);
    const double quiet = Median(TimeCalls(src));
    const pid_t busy = StartBusyCore();
    const double loaded = Median(TimeCalls(src));
    kill(busy, SIGKILL);
    waitpid(busy, nullptr, 0);
    std::printf("  %-8s quiet %.3f ms, one core busy %.3f ms (%.2fx)\n", path.name, quiet, loaded,
                loaded / quiet);
  }
  UsePath(Path{0, ""});
}

void Memcpy() {
  std::printf("\nA plain copy of the buffer, for scale:\n");
  for (const Size s : {Size{1920, 1080}, Size{4000, 3000}}) {
    const Picture src = Photo(s);
    std::vector<std::uint8_t> dst(src.bytes.size());
    std::vector<double> t;
    for (int i = 0; i < 30; ++i) {
      const double t0 = Now();
      std::memcpy(dst.data(), src.bytes.data(), src.bytes.size());
      t.push_back(Now() - t0);
    }
    std::printf("  %dx%d memcpy median %.3f ms\n", s.width, s.height, Median(t));
  }
}

// This build against another one loaded from `path`, called alternately on
// the same picture so that both see the same machine: medians of each and
// their ratio, and the ratio of the fastest calls (steadier on a busy
// machine, where a median counts preempted calls), per size, path and
// thread count.
int Against(const char* path, const std::vector<Path>& paths, const std::vector<Size>& sizes) {
  platform::SharedLibrary other{std::string(path)};
  Filter theirs = nullptr;
  try {
    theirs = other.Resolve<std::remove_pointer_t<Filter>>("DetailEnhancementByBilaterFilter");
  } catch (const platform::LibraryLoadError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  std::printf("\nThis build against %s, called alternately on the same picture:\n", path);
  std::printf("%-12s %-8s %7s %12s %12s %12s %12s\n", "picture", "path", "threads", "this ms", "other ms",
              "other/this", "fastest o/t");
  for (const Size& s : sizes) {
    const Picture src = Photo(s);
    Picture work = src;
    for (const Path& p : paths) {
      UsePath(p);
      for (int threads : {1, 2}) {
        omp_set_num_threads(threads);
        TimeCall(src, work);
        TimeCall(src, work, theirs);
        std::vector<double> mine, other;
        double total = 0;
        while (mine.size() < 300 && (mine.size() < 11 || total < 2000)) {
          mine.push_back(TimeCall(src, work));
          other.push_back(TimeCall(src, work, theirs));
          total += mine.back() + other.back();
        }
        const double a = Median(mine), b = Median(other);
        const double fastest =
            *std::min_element(other.begin(), other.end()) / *std::min_element(mine.begin(), mine.end());
        std::printf("%5dx%-6d %-8s %7d %12.3f %12.3f %12.2f %12.2f\n", s.width, s.height, p.name, threads,
                    a, b, b / a, fastest);
        std::fflush(stdout);
      }
    }
    UsePath(Path{0, ""});
  }
  return 0;
}

// Where the time of a call goes: the copy of the library at `path` built
// with a tick counter around each stage of the grid (ImageProcessingStages),
// one call after another on the same picture. Per pixel, time-stamp counter
// ticks of the splat, the blur and the slice, summed over the threads, and
// of the whole call times the threads (the rest: the plan, the column
// tables, handing out chunks and waiting for them).
int Stages(const char* path, const std::vector<Path>& paths, const std::vector<Size>& sizes) {
  platform::SharedLibrary lib{std::string(path)};
  Filter filter = nullptr;
  void (*take)(unsigned long long*) = nullptr;
  try {
    filter = lib.Resolve<std::remove_pointer_t<Filter>>("DetailEnhancementByBilaterFilter");
    take = lib.Resolve<void(unsigned long long*)>("ImageProcessingTakeStageTicks");
  } catch (const platform::LibraryLoadError& e) {
    std::fprintf(stderr, "%s\n(the counted copy is built by: cmake --build build --target ImageProcessingStages)\n",
                 e.what());
    return 1;
  }
  std::printf("\nTicks of the time-stamp counter per pixel, stages summed over the threads (%s):\n", path);
  std::printf("%-12s %-8s %7s %8s %8s %8s %8s %14s\n", "picture", "path", "threads", "splat", "blur",
              "slice", "stages", "call x threads");
  for (const Size& s : sizes) {
    const Picture src = Photo(s);
    Picture work = src;
    const double pixels = static_cast<double>(s.width) * s.height;
    for (const Path& p : paths) {
      UsePath(p);
      for (int threads : {1, 2}) {
        omp_set_num_threads(threads);
        TimeCall(src, work, filter);
        unsigned long long ticks[3];
        take(ticks);
        int calls = 0;
        unsigned long long wall = 0;
        for (const double start = Now(); calls < 300 && (calls < 11 || Now() - start < 1000); ++calls) {
          std::memcpy(work.data(), src.bytes.data(), src.bytes.size());
          const unsigned long long t0 = __rdtsc();
          const int rc = filter(work.data(), work.width, work.height, work.stride, kStrength);
          wall += __rdtsc() - t0;
          ExitIfRefused(src, rc);
        }
        take(ticks);
        const double per = 1.0 / (pixels * calls);
        std::printf("%5dx%-6d %-8s %7d %8.2f %8.2f %8.2f %8.2f %14.2f\n", s.width, s.height, p.name,
                    threads, ticks[0] * per, ticks[1] * per, ticks[2] * per,
                    (ticks[0] + ticks[1] + ticks[2]) * per, static_cast<double>(wall) * threads * per);
        std::fflush(stdout);
      }
    }
    UsePath(Path{0, ""});
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--first-call") == 0) {
    return FirstCallChild(std::strtoll(argv[2], nullptr, 10));
  }
  const std::int64_t supported = hwy::SupportedTargets();
  const std::int64_t best = supported & -supported;
  std::vector<Path> paths{{0, hwy::TargetName(best)}};
  if (best != HWY_AVX2 && (supported & HWY_AVX2) != 0) paths.push_back({HWY_AVX2, "AVX2"});
  if (argc >= 2 && std::strcmp(argv[1], "--target") == 0) {
    // --target NAME,NAME,... before any other option: these levels instead.
    paths = ParseTargets(argc >= 3 ? argv[2] : "", supported);
    if (paths.empty()) {
      std::fprintf(stderr, "usage: %s --target NAME[,NAME...] [OPTIONS]\nNAME: best", argv[0]);
      for (std::int64_t rest = supported; rest != 0; rest &= rest - 1) {
        std::fprintf(stderr, ", %s", hwy::TargetName(rest & -rest));
      }
      std::fprintf(stderr, "\n");
      return 2;
    }
    argv[2] = argv[0];
    argv += 2;
    argc -= 2;
  }

  auto is = [&](const char* option, int least, int most) {
    return argc >= least && argc <= most && std::strcmp(argv[1], option) == 0;
  };
  if (argc > 1 && !is("--against", 3, 4) && !is("--stages", 2, 4) && !is("--sizes", 3, 3)) {
    std::fprintf(stderr,
                 "usage: %s [--target NAME,...] [--sizes WxH,... | --against LIBRARY [WxH,...] |\n"
                 "       --stages [WxH,...] [LIBRARY]]\n",
                 argv[0]);
    return 2;
  }
  std::printf("filter_bench: strength %d, photo content, wall-clock times of single calls\n", kStrength);
  std::printf("CPU: %s, %ld logical CPUs online; Highway best target %s; threads (OpenMP setting) %d\n",
              CpuModel().c_str(), sysconf(_SC_NPROCESSORS_ONLN), hwy::TargetName(best),
              omp_get_max_threads());
  std::printf("load average at start: %s\n", LoadAverage().c_str());
  if (is("--against", 3, 4)) {
    std::vector<Size> sizes = argc == 4 ? ParseSizes(argv[3]) : std::vector<Size>{{1920, 1080}};
    if (sizes.empty()) {
      std::fprintf(stderr, "usage: %s --against LIBRARY [WxH,WxH,...]\n", argv[0]);
      return 2;
    }
    const int rc = Against(argv[2], paths, sizes);
    std::printf("\nload average at end: %s\n", LoadAverage().c_str());
    return rc;
  }
  if (is("--stages", 2, 4)) {
    // --stages [WxH,...] [LIBRARY]: the build's own counted copy unless given another.
    std::vector<Size> sizes = argc >= 3 ? ParseSizes(argv[2]) : std::vector<Size>{{1920, 1080}};
    if (sizes.empty()) {
      std::fprintf(stderr, "usage: %s --stages [WxH,WxH,...] [LIBRARY]\n", argv[0]);
      return 2;
    }
    const int rc = Stages(argc == 4 ? argv[3] : MORVANE_STAGES_LIBRARY, paths, sizes);
    std::printf("\nload average at end: %s\n", LoadAverage().c_str());
    return rc;
  }
  if (is("--sizes", 3, 3)) {
    // Just these sizes and 1920x1080, the reference of the bound.
    std::vector<Size> sizes = ParseSizes(argv[2]);
    if (sizes.empty()) {
      std::fprintf(stderr, "usage: %s [--sizes WxH,WxH,...]\n", argv[0]);
      return 2;
    }
    sizes.push_back(Size{1920, 1080});
    SizesTable(paths, sizes);
  } else {
    SizesTable(paths, kAllSizes);
    FirstCalls(argv[0], paths);
    UnderLoad(paths);
    Memcpy();
  }
  std::printf("\nload average at end: %s\n", LoadAverage().c_str());
  return 0;
}
