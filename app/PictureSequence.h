// PictureSequence: the pictures that ] and [ step through: those named on the
// command line when there were several, otherwise the pictures in the folder of
// the one open, in name order. A file that failed to open is stepped over from
// then on.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

class PictureSequence {
 public:
  // The pictures named on the command line; kept when there are two or more.
  void SetGiven(std::vector<std::string> Paths);

  // The place in the sequence is now Path, which opened, or failed to open and
  // is passed over from now on.
  void Opened(const std::string& Path);
  void Failed(const std::string& Path);

  // The picture after (Direction > 0) or before the place, none at either end or
  // before any place, or when the folder cannot be read.
  std::optional<std::string> Next(int Direction) const;

 private:
  std::vector<std::string> Pictures() const;

  std::vector<std::string> given_;
  std::string place_;
  std::set<std::string> failed_;
};

// True when file name A comes before B as people sort names: letters without
// regard to case, runs of digits by their value ("img2" before "img10").
bool NameOrder(const std::string& A, const std::string& B);
