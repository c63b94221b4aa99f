// Declares the validated core of the filter that the C boundary calls.
#pragma once

namespace morvane::imgproc {

// Arguments are already checked (Width, Height >= 1, Stride >= 3 * Width,
// Stride * Height <= INT_MAX, Strength in 1..10). Returns an
// ImageProcessingResult value; does not throw for lack of memory.
int Enhance(unsigned char* src, int width, int height, int stride, int strength);

}  // namespace morvane::imgproc
