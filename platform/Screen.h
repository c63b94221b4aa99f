// The screen's metrics that picture sizes are converted with.
#pragma once

namespace platform {

// Twips (1/1440 inch) per pixel: 1440 divided by the screen's logical dots per
// inch, 15 when there is no screen (no GUI application, or one without screens).
float TwipsPerPixelX();
float TwipsPerPixelY();

}  // namespace platform
