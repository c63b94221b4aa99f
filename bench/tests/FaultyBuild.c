/* FaultyBuild: builds of the filter's entry point that are each wrong in one
 * way, chosen by the macro FAULT when it is compiled, for morvane-bench's
 * tests. Each works on its own except those that wrap the project's own
 * library (REAL_LIBRARY, loaded by path): a copy that does its work twice,
 * and one whose output differs in one region. */
#include <dlfcn.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#define API __attribute__((visibility("default")))

#define CRASH 1            /* dies of SIGSEGV at the first call */
#define HANG 2             /* never returns */
#define PAST_THE_END 3     /* writes the byte right after the buffer */
#define BEFORE_THE_START 4 /* writes the byte right before the buffer */
#define PADDING 5          /* writes into the padding at the end of each row */
#define NONDETERMINISTIC 6 /* every other call changes one byte more */
#define RETURNS 7          /* returns the number in FAULTY_RESULT, touching nothing */
#define REGION 8           /* the project's filter, but one region brightened by 1 */
#define SLOW 9             /* the project's filter, run twice */
#define NO_ENTRY_POINT 10  /* exports something else */

/* The region that REGION changes, clipped to the picture. */
#define REGION_X 10
#define REGION_Y 20
#define REGION_WIDTH 30
#define REGION_HEIGHT 40

typedef int Filter(unsigned char*, int, int, int, int);

#if FAULT == NO_ENTRY_POINT
API int SomethingElse(void) { return 0; }
#else

#if FAULT == REGION || FAULT == SLOW
static Filter* Real(void) {
  static Filter* real;
  if (real == NULL) real = (Filter*)dlsym(dlopen(REAL_LIBRARY, RTLD_NOW | RTLD_LOCAL), "DetailEnhancementByBilaterFilter");
  return real;
}
#endif

/* What the standalone builds do when they do their work: every pixel byte
 * plus Strength, as the window's stand-in library does. */
__attribute__((unused)) static void Brighten(unsigned char* Src, int Width, int Height, int Stride, int Strength) {
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < 3 * Width; ++x) Src[(long)y * Stride + x] = (unsigned char)(Src[(long)y * Stride + x] + Strength);
}

API int DetailEnhancementByBilaterFilter(unsigned char* Src, int Width, int Height, int Stride, int Strength) {
  (void)Src, (void)Width, (void)Height, (void)Stride, (void)Strength;
#if FAULT == CRASH
  raise(SIGSEGV);
#elif FAULT == HANG
  for (;;) pause();
#elif FAULT == PAST_THE_END
  Brighten(Src, Width, Height, Stride, Strength);
  Src[(long)Stride * Height] = 0;
#elif FAULT == BEFORE_THE_START
  Brighten(Src, Width, Height, Stride, Strength);
  Src[-1] = 0;
#elif FAULT == PADDING
  Brighten(Src, Width, Height, Stride, Strength);
  for (int y = 0; y < Height; ++y)
    if (Stride > 3 * Width) Src[(long)y * Stride + 3 * Width] = 0;
#elif FAULT == NONDETERMINISTIC
  static int calls;
  Brighten(Src, Width, Height, Stride, Strength);
  Src[0] = (unsigned char)(Src[0] + (++calls & 1));
#elif FAULT == RETURNS
  const char* result = getenv("FAULTY_RESULT");
  return result != NULL ? atoi(result) : 0;
#elif FAULT == REGION
  const int result = Real()(Src, Width, Height, Stride, Strength);
  for (int y = REGION_Y; y < REGION_Y + REGION_HEIGHT && y < Height; ++y)
    for (int x = REGION_X; x < REGION_X + REGION_WIDTH && x < Width; ++x)
      for (int c = 0; c < 3; ++c) {
        unsigned char* byte = &Src[(long)y * Stride + 3 * x + c];
        *byte = (unsigned char)(*byte < 255 ? *byte + 1 : *byte - 1);
      }
  return result;
#elif FAULT == SLOW
  const size_t bytes = (size_t)Stride * (size_t)Height;
  unsigned char* scratch = malloc(bytes);
  if (scratch == NULL) return -5;
  memcpy(scratch, Src, bytes);
  Real()(scratch, Width, Height, Stride, Strength);
  free(scratch);
  return Real()(Src, Width, Height, Stride, Strength);
#endif
  return 0;
}
#endif
