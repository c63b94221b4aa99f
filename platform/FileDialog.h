// The modal file dialogs: pick a file to open, or a name to save under.
#pragma once

#include "Window.h"

#include <optional>
#include <string>
#include <vector>

namespace platform {

// One entry of the dialog's type list: a description and its patterns ("*.bmp").
struct FileFilter {
  std::string Description;
  std::vector<std::string> Patterns;
};

struct FileDialogRequest {
  Hwnd Owner = nullptr;
  std::vector<FileFilter> Filters;
  std::string Title;
  std::string InitialDir;  // empty: wherever the dialog starts by itself
  // Added to a typed name that has no suffix ("bmp": "d" becomes "d.bmp") before
  // the dialog asks about replacing it; empty adds none.
  std::string DefaultSuffix;
  std::string FileName;  // suggested in the name field; empty suggests none
};

struct FileDialogChoice {
  std::string Path;     // the system's bytes; absolute, whole, as long as the system allows
  int FilterIndex = 0;  // one-based entry of Filters selected when the dialog closed
};

// Returns nothing when the user cancels. The open dialog also accepts the name
// of a file that does not exist; the caller finds out when it reads the file.
// Both throw FileError for a chosen name that the dialog could not show as it is
// (bytes that are not text in the system's encoding), rather than return the
// name of another file.
std::optional<FileDialogChoice> GetOpenFileName(const FileDialogRequest& Request);

// Asks before an existing file is chosen; adds only the request's default suffix.
std::optional<FileDialogChoice> GetSaveFileName(const FileDialogRequest& Request);

}  // namespace platform
