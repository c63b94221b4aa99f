/* FakeProcessing: the stand-in filter library; see FakeProcessing.h. */
#include "FakeProcessing.h"

#define FAKE_API __attribute__((visibility("default")))

/* Each pixel byte gains Strength times this. */
#ifndef FAKE_PROCESSING_STEP
#define FAKE_PROCESSING_STEP 1
#endif

static struct FakeProcessingCall last_call;
static int result_to_give;

FAKE_API uint64_t FakeProcessingHash(const unsigned char* Bytes, uint64_t Count) {
  uint64_t hash = 14695981039346656037ull;
  for (uint64_t i = 0; i < Count; ++i) hash = (hash ^ Bytes[i]) * 1099511628211ull;
  return hash;
}

#ifndef FAKE_PROCESSING_WITHOUT_ENTRY
FAKE_API int DetailEnhancementByBilaterFilter(unsigned char* Src, int Width, int Height,
                                              int Stride, int Strength) {
  last_call.Calls += 1;
  last_call.Src = Src;
  last_call.Width = Width;
  last_call.Height = Height;
  last_call.Stride = Stride;
  last_call.Strength = Strength;
  last_call.InputHash = FakeProcessingHash(Src, (uint64_t)Stride * (uint64_t)Height);
  if (result_to_give < 0) return result_to_give;
  for (int y = 0; y < Height; ++y) {
    unsigned char* row = Src + (long long)y * Stride;
    for (int x = 0; x < 3 * Width; ++x) {
      row[x] = (unsigned char)(row[x] + FAKE_PROCESSING_STEP * Strength);
    }
  }
  return result_to_give;
}
#endif

FAKE_API const struct FakeProcessingCall* FakeProcessingLastCall(void) { return &last_call; }

FAKE_API void FakeProcessingGiveResult(int Result) { result_to_give = Result; }

FAKE_API void FakeProcessingReset(void) {
  const struct FakeProcessingCall none = {0};
  last_call = none;
  result_to_give = 0;
}

FAKE_API const char* FakeProcessingPlace(void) { return FAKE_PROCESSING_PLACE; }
