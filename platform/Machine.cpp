// Machine from /proc/cpuinfo, the scheduler's affinity mask and getloadavg.
#include "Machine.h"

#include <sched.h>
#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <limits>
#include <thread>

namespace platform {

std::string ProcessorModel() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line)) {
    if (line.rfind("model name", 0) != 0) continue;
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    const std::size_t start = line.find_first_not_of(" \t", colon + 1);
    if (start != std::string::npos) return line.substr(start);
  }
  return "unknown processor";
}

int ProcessorCount() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set);
  return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

std::array<double, 3> LoadAverage() {
  std::array<double, 3> load{};
  if (::getloadavg(load.data(), 3) != 3) load.fill(std::numeric_limits<double>::quiet_NaN());
  return load;
}

}  // namespace platform
