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
  return {OwnerWindow, FilterList(Filter), Title, InitialDir};
}

}  // namespace

std::string ShowOpenDialog(platform::Hwnd OwnerWindow, const std::string& Filter,
                           const std::string& Title, const std::string& InitialDir) {
  const auto choice = platform::GetOpenFileName(Request(OwnerWindow, Filter, Title, InitialDir));
  return choice ? choice->Path : std::string();
}

std::string ShowSaveDialog(platform::Hwnd OwnerWindow, const std::string& Filter,
                           const std::string& Title, std::int16_t& FilterIndex,
                           const std::string& InitialDir) {
  const auto choice = platform::GetSaveFileName(Request(OwnerWindow, Filter, Title, InitialDir));
  if (!choice) return {};
  FilterIndex = static_cast<std::int16_t>(choice->FilterIndex);
  return choice->Path;
}

}  // namespace API
