// TextTable: rows of cells printed in columns as wide as their widest cell;
// text left-aligned, numbers right-aligned.
#pragma once

#include <string>
#include <vector>

namespace bench {

class TextTable {
 public:
  // Right: which columns are right-aligned.
  explicit TextTable(std::vector<bool> Right) : right_(std::move(Right)) {}
  void Add(std::vector<std::string> Row) { rows_.push_back(std::move(Row)); }
  std::string Text() const;

 private:
  std::vector<bool> right_;
  std::vector<std::vector<std::string>> rows_;
};

}  // namespace bench
