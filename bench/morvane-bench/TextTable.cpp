// TextTable: widths in characters of UTF-8 text, two spaces between columns.
#include "TextTable.h"

#include <algorithm>

namespace bench {

namespace {

std::size_t Characters(const std::string& Text) {
  return static_cast<std::size_t>(
      std::count_if(Text.begin(), Text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

}  // namespace

std::string TextTable::Text() const {
  std::vector<std::size_t> widths(right_.size(), 0);
  for (const auto& row : rows_)
    for (std::size_t i = 0; i < row.size() && i < widths.size(); ++i) widths[i] = std::max(widths[i], Characters(row[i]));
  std::string text;
  for (const auto& row : rows_) {
    std::string line;
    for (std::size_t i = 0; i < row.size() && i < widths.size(); ++i) {
      const std::string fill(widths[i] - Characters(row[i]), ' ');
      if (i > 0) line += "  ";
      line += right_[i] ? fill + row[i] : row[i] + fill;
    }
    line.erase(line.find_last_not_of(' ') + 1);
    text += line + "\n";
  }
  return text;
}

}  // namespace bench
