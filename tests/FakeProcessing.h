/* FakeProcessing: a stand-in for the filter library with the same entry point
 * and a known effect (every pixel byte plus Strength, modulo 256; row padding
 * untouched), which records what it was handed so that tests can check exactly
 * what the window passes. A second build adds twice Strength, and a third lacks
 * the entry point. */
#ifndef MORVANE_FAKE_PROCESSING_H
#define MORVANE_FAKE_PROCESSING_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

struct FakeProcessingCall {
  int Calls; /* since the last reset */
  const unsigned char* Src;
  int Width;
  int Height;
  int Stride;
  int Strength;
  uint64_t InputHash; /* FNV-1a of the Stride x Height bytes as they came in */
};

int DetailEnhancementByBilaterFilter(unsigned char* Src, int Width, int Height, int Stride,
                                     int Strength);

/* The last call's arguments, and how many calls there were. */
const struct FakeProcessingCall* FakeProcessingLastCall(void);
/* What later calls return; a negative value refuses and touches no pixel, as
 * the library's documented refusals do. */
void FakeProcessingGiveResult(int Result);
/* Forgets the calls and goes back to returning 0. */
void FakeProcessingReset(void);

/* Which copy of the library this is: "folder", "search path", "installed",
 * "second" or "no entry". */
const char* FakeProcessingPlace(void);

/* The hash that InputHash is computed with, for the tests' own buffers. */
uint64_t FakeProcessingHash(const unsigned char* Bytes, uint64_t Count);

#ifdef __cplusplus
}
#endif

#endif
