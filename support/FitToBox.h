// Fitting a picture into a display box: scaled down, never up, aspect ratio
// kept, centred.
#pragma once

namespace API {

// Writes all four outputs. Serves boxes of at most 32,766 pixels a side: the
// scaled side is formed as a 16-bit number, and std::overflow_error is thrown
// when it leaves that range.
void FitToBox(int ImageWidth, int ImageHeight, int BoxWidth, int BoxHeight, int& FitLeft,
              int& FitTop, int& FitWidth, int& FitHeight);

}  // namespace API
