// The open and save dialogs of the API module: the user picks a file and the
// chosen path comes back as the system's bytes, or an empty text when the user
// cancels. A name the dialog cannot carry as it is throws platform::FileError.
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

// Asks before an existing file is chosen. A name typed without a suffix gets the
// first pattern's ("*.bmp": "d" becomes "d.bmp") before the dialog asks about
// replacing it, so the question is about the file that will be written. On success
// FilterIndex is the one-based pair selected when the dialog closed; on cancel
// it keeps the value it had. FileName, when not empty, is suggested in the name
// field.
std::string ShowSaveDialog(platform::Hwnd OwnerWindow, const std::string& Filter,
                           const std::string& Title, std::int16_t& FilterIndex,
                           const std::string& InitialDir = "", const std::string& FileName = "");

}  // namespace API
