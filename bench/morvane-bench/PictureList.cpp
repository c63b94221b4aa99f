// PictureList over std::filesystem. A file named on the command line is taken
// whatever its name, since the user chose it; the decoder will say if it is
// not a picture.
#include "PictureList.h"

#include "Options.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace bench {

namespace {

namespace fs = std::filesystem;

bool IsPictureName(const fs::path& Path) {
  std::string extension = Path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == ".bmp" || extension == ".jpg" || extension == ".jpeg" || extension == ".png";
}

}  // namespace

PictureList ListPictures(const std::vector<std::string>& Inputs) {
  PictureList list;
  for (const std::string& input : Inputs) {
    std::error_code error;
    const fs::file_status status = fs::status(input, error);
    if (error || !fs::exists(status)) throw UsageError("no such picture or folder: " + input);
    if (!fs::is_directory(status)) {
      list.pictures.push_back(input);
      continue;
    }
    std::vector<std::string> found;
    fs::recursive_directory_iterator walk(input, fs::directory_options::skip_permission_denied, error);
    for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
      if (walk->is_regular_file(error) && IsPictureName(walk->path())) found.push_back(walk->path().string());
    }
    if (error) list.problems.push_back("cannot read all of the folder " + input + ": " + error.message());
    if (found.empty()) list.problems.push_back("the folder " + input + " holds no pictures");
    std::sort(found.begin(), found.end());
    list.pictures.insert(list.pictures.end(), found.begin(), found.end());
  }
  if (list.pictures.empty()) {
    std::string why;
    for (const std::string& problem : list.problems) why += problem + "; ";
    throw UsageError(why + "no pictures to measure");
  }
  return list;
}

}  // namespace bench
