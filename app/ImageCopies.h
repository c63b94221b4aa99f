// ImageCopies: result images made from the source picture, so that every run
// of a filter starts from the unenhanced source and never writes past the end
// of a stale image.
#pragma once

#include "imaging/Cimage.h"

#include <string>

// The message for a picture that memory cannot hold.
std::string NoMemoryText(int Width, int Height);

// A copy of Image; throws std::runtime_error with NoMemoryText when memory runs out.
Cimage CopyOf(const Cimage& Image);

// True when A exists and has B's width, height and stride.
bool SameLayout(const Cimage& A, const Cimage& B);

// Copy holds Source's pixels again: made anew when its layout differs, as CopyOf throws.
void ResetToSource(Cimage& Copy, const Cimage& Source);
