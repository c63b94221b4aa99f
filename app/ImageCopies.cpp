// ImageCopies: copies of the source picture for the results.
#include "ImageCopies.h"

#include <cstddef>
#include <cstring>
#include <stdexcept>

std::string NoMemoryText(int Width, int Height) {
  return "内存不足，无法存放 " + std::to_string(Width) + " × " + std::to_string(Height) +
         " 像素的图像。";
}

Cimage CopyOf(const Cimage& Image) {
  Cimage copy = Image.Clone();
  if (copy.handle() == nullptr) {
    throw std::runtime_error(NoMemoryText(Image.Width(), Image.Height()));
  }
  return copy;
}

bool SameLayout(const Cimage& A, const Cimage& B) {
  return A.handle() != nullptr && A.Width() == B.Width() && A.Height() == B.Height() &&
         A.Stride() == B.Stride();
}

void ResetToSource(Cimage& Copy, const Cimage& Source) {
  if (!SameLayout(Copy, Source)) Copy = CopyOf(Source);
  std::memcpy(Copy.Pointer(), Source.Pointer(), static_cast<std::size_t>(Source.Stride()) * Source.Height());
}
