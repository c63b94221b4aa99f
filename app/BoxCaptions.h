// BoxCaptions: the texts that say what the boxes show: over the right box what it
// shows (the result, the source, the difference, and which build), over either
// box the zoom when it is not fitted, and under the boxes the pixel under the
// pointer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What the right box shows.
enum class ResultMode {
  Result,      // the filter's output
  NoResult,    // nothing: the filter did not run or failed
  Source,      // the picture as loaded, while compare is held
  Difference,  // 128 + 8 x (result - source)
};

// The right box's caption; Build names the build whose output is shown, when
// there is more than one.
std::string ResultCaption(ResultMode Mode, const std::string& Build,
                          std::optional<int> ZoomPercent);

// The left box's caption: the zoom, or nothing while fitted.
std::string SourceCaption(std::optional<int> ZoomPercent);

// Picture pixel X, Y: its blue, green and red bytes in the source and, when
// there is one, in the result of the build named Build (empty for the only one),
// and the change between them.
std::string PixelReadout(int X, int Y, const std::uint8_t* Source, const std::uint8_t* Result,
                         const std::string& Build);
