// Lets the C caller (caller.c) hold Highway's dispatch to one SIMD level on
// Linux, where the library shares the process's Highway: the 32-bit Windows
// DLL has no AVX2 or AVX-512 code, so its bytes are compared with the Linux
// build's on the level it runs.
#include <hwy/targets.h>

#include <cstring>

extern "C" int HoldSimdLevel(const char* name) {
  struct Level {
    const char* name;
    std::int64_t bit;
  };
  static const Level levels[] = {{"avx3", HWY_AVX3}, {"avx2", HWY_AVX2},     {"sse4", HWY_SSE4},
                                 {"ssse3", HWY_SSSE3}, {"emu128", HWY_EMU128}, {"scalar", HWY_SCALAR}};
  for (const Level& level : levels) {
    if (std::strcmp(name, level.name) != 0) continue;
    hwy::SetSupportedTargetsForTest(level.bit);
    return hwy::SupportedTargets() == level.bit ? 0 : -1;
  }
  return -1;
}
