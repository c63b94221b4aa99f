// The C boundary of the library: checks every argument before anything else,
// clamps the strength, and makes sure no C++ exception ever reaches the caller.
#include <climits>

#include "ImageProcessing.h"
#include "enhance.h"

extern "C" IMAGEPROCESSING_API int IMAGEPROCESSING_CALL DetailEnhancementByBilaterFilter(
    unsigned char* Src, int Width, int Height, int Stride, int Strength) {
  if (Src == nullptr) return IMAGEPROCESSING_ERROR_NULL_POINTER;
  if (Width < 1 || Height < 1) return IMAGEPROCESSING_ERROR_BAD_SIZE;
  // 3 * Width itself must be an int before it can be compared with Stride.
  if (Width > INT_MAX / 3) return IMAGEPROCESSING_ERROR_TOO_LARGE;
  if (Stride < 3 * Width) return IMAGEPROCESSING_ERROR_BAD_STRIDE;
  // Every offset inside the library then fits the int arithmetic the caller uses.
  if (static_cast<long long>(Stride) * Height > INT_MAX) return IMAGEPROCESSING_ERROR_TOO_LARGE;

  const int strength = Strength < 0 ? 0 : (Strength > 10 ? 10 : Strength);
  if (strength == 0) return IMAGEPROCESSING_OK;

  try {
    return morvane::imgproc::Enhance(Src, Width, Height, Stride, strength);
  } catch (...) {
    return IMAGEPROCESSING_ERROR_INTERNAL;
  }
}
