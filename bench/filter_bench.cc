// filter_bench: speed of DetailEnhancementByBilaterFilter on photo content at
// 640x480, 1920x1080 and 4000x3000, beside a memcpy of the same buffer (the
// floor any in-place filter has to pay) and, when OpenCV was found at
// configure time, cv::detailEnhance and cv::bilateralFilter on the same picture.
// Not a test: it asserts nothing and is not registered with CTest.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "ImageProcessing.h"

#ifdef MORVANE_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/photo.hpp>
#endif

#ifndef MORVANE_BENCH_DATA_DIR
#error "MORVANE_BENCH_DATA_DIR must name the folder with the test photographs"
#endif

namespace {

struct Picture {
  int width = 0, height = 0, stride = 0;
  std::vector<std::uint8_t> bytes;  // B, G, R; rows `stride` apart
};

int CallerStride(int width) { return (3 * width + 3) / 4 * 4; }

Picture LoadPpm(const std::string& name) {
  const std::string path = std::string(MORVANE_BENCH_DATA_DIR) + "/" + name;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) throw std::runtime_error("cannot open " + path);
  char magic[3] = {};
  int w = 0, h = 0, maxval = 0;
  if (std::fscanf(f, "%2s %d %d %d", magic, &w, &h, &maxval) != 4 || std::string(magic) != "P6" ||
      maxval != 255 || std::fgetc(f) == EOF) {
    std::fclose(f);
    throw std::runtime_error(path + " is not an 8-bit P6 file");
  }
  Picture p{w, h, CallerStride(w), {}};
  p.bytes.assign(static_cast<std::size_t>(p.stride) * h, 0);
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(w) * 3);
  for (int y = 0; y < h; ++y) {
    if (std::fread(rgb.data(), 1, rgb.size(), f) != rgb.size()) {
      std::fclose(f);
      throw std::runtime_error(path + " is truncated");
    }
    std::uint8_t* row = p.bytes.data() + static_cast<std::size_t>(y) * p.stride;
    for (int x = 0; x < w; ++x) {
      row[3 * x + 0] = rgb[3 * x + 2];
      row[3 * x + 1] = rgb[3 * x + 1];
      row[3 * x + 2] = rgb[3 * x + 0];
    }
  }
  std::fclose(f);
  return p;
}

// Bilinear resampling: enough to turn a photograph into any benchmark size
// with real edges and texture (upscaling softens it, which the filter's cost
// does not depend on).
Picture Resample(const Picture& src, int width, int height) {
  Picture p{width, height, CallerStride(width), {}};
  p.bytes.assign(static_cast<std::size_t>(p.stride) * height, 0);
  for (int y = 0; y < height; ++y) {
    const double sy = std::clamp((y + 0.5) * src.height / height - 0.5, 0.0, src.height - 1.0);
    const int y0 = static_cast<int>(sy), y1 = std::min(y0 + 1, src.height - 1);
    const double fy = sy - y0;
    const std::uint8_t* r0 = src.bytes.data() + static_cast<std::size_t>(y0) * src.stride;
    const std::uint8_t* r1 = src.bytes.data() + static_cast<std::size_t>(y1) * src.stride;
    std::uint8_t* out = p.bytes.data() + static_cast<std::size_t>(y) * p.stride;
    for (int x = 0; x < width; ++x) {
      const double sx = std::clamp((x + 0.5) * src.width / width - 0.5, 0.0, src.width - 1.0);
      const int x0 = static_cast<int>(sx), x1 = std::min(x0 + 1, src.width - 1);
      const double fx = sx - x0;
      for (int c = 0; c < 3; ++c) {
        const double top = r0[3 * x0 + c] * (1 - fx) + r0[3 * x1 + c] * fx;
        const double bottom = r1[3 * x0 + c] * (1 - fx) + r1[3 * x1 + c] * fx;
        out[3 * x + c] = static_cast<std::uint8_t>(std::lround(top * (1 - fy) + bottom * fy));
      }
    }
  }
  return p;
}

const Picture& Photo(int width, int height) {
  static std::map<std::pair<int, int>, Picture> cache;
  auto it = cache.find({width, height});
  if (it == cache.end()) {
    static const Picture chelsea = LoadPpm("chelsea.ppm");
    it = cache.emplace(std::pair{width, height}, Resample(chelsea, width, height)).first;
  }
  return it->second;
}

double SigmaS(int width, int height) { return std::max(2.0, std::min(width, height) / 64.0); }

void SetCommonCounters(benchmark::State& state, const Picture& p) {
  state.counters["Mpix/s"] = benchmark::Counter(static_cast<double>(p.width) * p.height * 1e-6,
                                                benchmark::Counter::kIsIterationInvariantRate);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * p.stride * p.height);
}

void BM_Filter(benchmark::State& state, int width, int height, int strength) {
  const Picture& src = Photo(width, height);
  Picture work = src;
  for (auto _ : state) {
    // Every call starts from the original photograph, as in the program.
    state.PauseTiming();
    std::memcpy(work.bytes.data(), src.bytes.data(), src.bytes.size());
    state.ResumeTiming();
    const int rc = DetailEnhancementByBilaterFilter(work.bytes.data(), width, height, work.stride, strength);
    if (rc != IMAGEPROCESSING_OK) {
      state.SkipWithError("filter refused the picture");
      break;
    }
    benchmark::DoNotOptimize(work.bytes.data());
    benchmark::ClobberMemory();
  }
  state.counters["threads"] = omp_get_max_threads();
  SetCommonCounters(state, src);
}

void BM_Memcpy(benchmark::State& state, int width, int height) {
  const Picture& src = Photo(width, height);
  std::vector<std::uint8_t> dst(src.bytes.size());
  for (auto _ : state) {
    std::memcpy(dst.data(), src.bytes.data(), src.bytes.size());
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.counters["threads"] = 1;
  SetCommonCounters(state, src);
}

#ifdef MORVANE_BENCH_OPENCV
cv::Mat AsMat(const Picture& p) {
  return cv::Mat(p.height, p.width, CV_8UC3, const_cast<std::uint8_t*>(p.bytes.data()),
                 static_cast<std::size_t>(p.stride));
}

// cv::detailEnhance takes sigma_s in pixels (0..200) and sigma_r as a
// fraction of the full colour range (0..1), so sigma_r = 25/255.
void BM_CvDetailEnhance(benchmark::State& state, int width, int height) {
  const Picture& src = Photo(width, height);
  const cv::Mat in = AsMat(src);
  cv::Mat out;
  const float sigmaS = static_cast<float>(std::min(200.0, SigmaS(width, height)));
  for (auto _ : state) {
    cv::detailEnhance(in, out, sigmaS, 25.0f / 255.0f);
    benchmark::DoNotOptimize(out.data);
  }
  state.counters["threads"] = cv::getNumThreads();
  SetCommonCounters(state, src);
}

// Same sigmas as ours (sigmaColor in levels, sigmaSpace in pixels), window
// diameter from sigmaSpace as OpenCV picks it (d <= 0), on the 3-channel picture.
void BM_CvBilateralFilter(benchmark::State& state, int width, int height) {
  const Picture& src = Photo(width, height);
  const cv::Mat in = AsMat(src);
  cv::Mat out;
  const double sigmaS = SigmaS(width, height);
  for (auto _ : state) {
    cv::bilateralFilter(in, out, -1, 25.0, sigmaS);
    benchmark::DoNotOptimize(out.data);
  }
  state.counters["threads"] = cv::getNumThreads();
  SetCommonCounters(state, src);
}
#endif

}  // namespace

int main(int argc, char** argv) {
  struct Size {
    int w, h;
  };
  const Size sizes[] = {{640, 480}, {1920, 1080}, {4000, 3000}};
  constexpr int kRepetitions = 9;

  for (const Size s : sizes) {
    const std::string tag = std::to_string(s.w) + "x" + std::to_string(s.h);
    for (int strength : {5, 10}) {
      benchmark::RegisterBenchmark(("Filter/" + tag + "/strength" + std::to_string(strength)).c_str(),
                                   BM_Filter, s.w, s.h, strength)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime()
          ->Repetitions(kRepetitions)
          ->ReportAggregatesOnly(true);
    }
    benchmark::RegisterBenchmark(("Memcpy/" + tag).c_str(), BM_Memcpy, s.w, s.h)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Repetitions(kRepetitions)
        ->ReportAggregatesOnly(true);
#ifdef MORVANE_BENCH_OPENCV
    benchmark::RegisterBenchmark(("CvDetailEnhance/" + tag).c_str(), BM_CvDetailEnhance, s.w, s.h)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(1)
        ->Repetitions(5)
        ->ReportAggregatesOnly(true);
    // A brute-force window of radius 1.5 sigma_s: minutes per call at
    // 4000x3000 (sigma_s = 47 px), so only the two smaller sizes.
    if (s.w * s.h <= 1920 * 1080) {
      benchmark::RegisterBenchmark(("CvBilateralFilter/" + tag).c_str(), BM_CvBilateralFilter, s.w, s.h)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime()
          ->Iterations(1)
          ->Repetitions(5)
          ->ReportAggregatesOnly(true);
    }
#endif
  }

  benchmark::AddCustomContext("filter threads (OpenMP)", std::to_string(omp_get_max_threads()));
#ifdef MORVANE_BENCH_OPENCV
  benchmark::AddCustomContext("opencv", std::string(CV_VERSION) + ", " +
                                            std::to_string(cv::getNumThreads()) + " threads");
#else
  benchmark::AddCustomContext("opencv", "not found at configure time: comparisons skipped");
#endif
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
