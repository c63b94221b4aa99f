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
};

struct FileDialogChoice {
  std::string Path;     // absolute, whole, as long as the system allows
  int FilterIndex = 0;  // one-based entry of Filters selected when the dialog closed
};

// Returns nothing when the user cancels. The open dialog also accepts the name
// of a file that does not exist; the caller finds out when it reads the file.
std::optional<FileDialogChoice> GetOpenFileName(const FileDialogRequest& Request);

// Asks before an existing file is chosen, and adds no extension of its own.
std::optional<FileDialogChoice> GetSaveFileName(const FileDialogRequest& Request);

}  // namespace platform
