// PictureList: the pictures named on the command line, folders searched
// recursively for files named .bmp, .jpg, .jpeg or .png in any case.
#pragma once

#include <string>
#include <vector>

namespace bench {

struct PictureList {
  std::vector<std::string> pictures;  // in the order given, each folder's sorted by path
  std::vector<std::string> problems;  // folders without pictures, folders that cannot be read
};

// Throws UsageError for a name that is neither a file nor a folder.
PictureList ListPictures(const std::vector<std::string>& Inputs);

}  // namespace bench
