// The open and save dialogs of the API module: the user picks a file and the
// chosen path comes back, or an empty text when the user cancels.
#pragma once

#include "platform/Window.h"

#include <cstdint>
#include <string>

namespace API {

// Filter lists description and pattern pieces separated by vertical bars, such as
// "BMP Images|*.bmp|JPG Images|*.jpg"; a pattern piece holds one or more patterns
// separated by semicolons ("*.bmp;*.jpg;"), empty ones being ignored.
std::string ShowOpenDialog(platform::Hwnd OwnerWindow, const std::string& Filter,
                           const std::string& Title, const std::string& InitialDir = "");

// Asks before an existing file is chosen and adds no extension. On success
// FilterIndex is the one-based pair selected when the dialog closed; on cancel
// it keeps the value it had.
std::string ShowSaveDialog(platform::Hwnd OwnerWindow, const std::string& Filter,
                           const std::string& Title, std::int16_t& FilterIndex,
                           const std::string& InitialDir = "");

}  // namespace API
