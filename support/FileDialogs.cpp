// The filter text turned into the platform's filter list, and the dialogs' answers
// turned into paths. Paths come back whole, whatever their length.
#include "FileDialogs.h"

#include "platform/FileDialog.h"

#include <utility>
#include <vector>

namespace API {

namespace {

std::vector<std::string> Split(const std::string& Text, char Separator) {
  std::vector<std::string> pieces;
  std::string::size_type start = 0;
  for (;;) {
    const std::string::size_type end = Text.find(Separator, start);
    pieces.push_back(Text.substr(start, end - start));
    if (end == std::string::npos) return pieces;
    start = end + 1;
  }
}

// Pieces pair up as description, pattern piece, ...; a last description without
// patterns has nothing to show and is left out.
std::vector<platform::FileFilter> FilterList(const std::string& Filter) {
  const std::vector<std::string> pieces = Split(Filter, '|');
  std::vector<platform::FileFilter> filters;
  for (std::size_t i = 0; i + 1 < pieces.size(); i += 2) {
    platform::FileFilter filter{pieces[i], {}};
    for (std::string& pattern : Split(pieces[i + 1], ';')) {
      if (!pattern.empty()) filter.Patterns.push_back(std::move(pattern));
    }
    filters.push_back(std::move(filter));
  }
  return filters;
}

platform::FileDialogRequest Request(platform::Hwnd OwnerWindow, const std::string& Filter,
                                    const std::string& Title, const std::string& InitialDir) {
  return {OwnerWindow, FilterList(Filter), Title, InitialDir, {}, {}};
}

// "bmp" for a first pattern "*.bmp"; nothing when that pattern is not a plain
// suffix ("*", "*.b?p", "photo.*").
std::string FirstSuffix(const std::vector<platform::FileFilter>& Filters) {
  if (Filters.empty() || Filters.front().Patterns.empty()) return {};
  const std::string& pattern = Filters.front().Patterns.front();
  if (pattern.rfind("*.", 0) != 0) return {};
  const std::string suffix = pattern.substr(2);
  return suffix.find_first_of("*?[]./") == std::string::npos ? suffix : std::string();
}

}  // namespace

std::string ShowOpenDialog(platform::Hwnd OwnerWindow, const std::string& Filter,
                           const std::string& Title, const std::string& InitialDir) {
  const auto choice = platform::GetOpenFileName(Request(OwnerWindow, Filter, Title, InitialDir));
  return choice ? choice->Path : std::string();
}

std::string ShowSaveDialog(platform::Hwnd OwnerWindow, const std::string& Filter,
                           const std::string& Title, std::int16_t& FilterIndex,
                           const std::string& InitialDir, const std::string& FileName) {
  platform::FileDialogRequest request = Request(OwnerWindow, Filter, Title, InitialDir);
  request.DefaultSuffix = FirstSuffix(request.Filters);
  request.FileName = FileName;
  const auto choice = platform::GetSaveFileName(request);
  if (!choice) return {};
  FilterIndex = static_cast<std::int16_t>(choice->FilterIndex);
  return choice->Path;
}

}  // namespace API
