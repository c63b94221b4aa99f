// PictureSequence: the folder listed afresh at every step, so that pictures added
// or removed meanwhile are seen, and ordered as a file manager shows them.
#include "PictureSequence.h"

#include "platform/Errors.h"
#include "platform/Files.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace {

// The files that the open dialog offers as pictures.
constexpr std::array<std::string_view, 4> kPictureSuffixes = {".bmp", ".jpg", ".jpeg", ".png"};

char Lower(char C) { return static_cast<char>(std::tolower(static_cast<unsigned char>(C))); }
bool IsDigit(char C) { return std::isdigit(static_cast<unsigned char>(C)) != 0; }

bool IsPictureName(const std::string& Name) {
  return std::any_of(kPictureSuffixes.begin(), kPictureSuffixes.end(), [&Name](std::string_view S) {
    return Name.size() > S.size() &&
           std::equal(S.begin(), S.end(), Name.end() - S.size(),
                      [](char Want, char Have) { return Want == Lower(Have); });
  });
}

// The folder's file Name, written as Path writes its folder.
std::string InFolderOf(const std::string& Path, const std::string& Name) {
  const std::string::size_type slash = Path.find_last_of('/');
  return slash == std::string::npos ? Name : Path.substr(0, slash + 1) + Name;
}

// -1, 0 or 1 as the digit runs A and B compare by value.
int CompareNumbers(std::string_view A, std::string_view B) {
  const auto significant = [](std::string_view Digits) {
    return Digits.substr(std::min(Digits.find_first_not_of('0'), Digits.size()));
  };
  A = significant(A);
  B = significant(B);
  if (A.size() != B.size()) return A.size() < B.size() ? -1 : 1;
  return A.compare(B) < 0 ? -1 : A.compare(B) > 0 ? 1 : 0;
}

}  // namespace

bool NameOrder(const std::string& A, const std::string& B) {
  std::size_t a = 0;
  std::size_t b = 0;
  while (a < A.size() && b < B.size()) {
    if (IsDigit(A[a]) && IsDigit(B[b])) {
      const std::size_t a_end = std::find_if_not(A.begin() + a, A.end(), IsDigit) - A.begin();
      const std::size_t b_end = std::find_if_not(B.begin() + b, B.end(), IsDigit) - B.begin();
      const int numbers = CompareNumbers(std::string_view(A).substr(a, a_end - a),
                                         std::string_view(B).substr(b, b_end - b));
      if (numbers != 0) return numbers < 0;
      a = a_end;
      b = b_end;
    } else {
      if (Lower(A[a]) != Lower(B[b])) return Lower(A[a]) < Lower(B[b]);
      ++a;
      ++b;
    }
  }
  if (a < A.size() || b < B.size()) return b < B.size();
  return A < B;  // names that differ only in case or leading zeros, in a fixed order
}

void PictureSequence::SetGiven(std::vector<std::string> Paths) {
  if (Paths.size() >= 2) given_ = std::move(Paths);
}

void PictureSequence::Opened(const std::string& Path) { place_ = Path; }

void PictureSequence::Failed(const std::string& Path) {
  place_ = Path;
  failed_.insert(Path);
}

std::vector<std::string> PictureSequence::Pictures() const {
  if (std::find(given_.begin(), given_.end(), place_) != given_.end()) return given_;
  std::vector<std::string> names;
  try {
    names = platform::FilesIn(platform::FolderOf(place_));
  } catch (const platform::FileError&) {
    return {};
  }
  std::erase_if(names, [](const std::string& Name) { return !IsPictureName(Name); });
  std::sort(names.begin(), names.end(), NameOrder);
  std::vector<std::string> paths;
  for (const std::string& name : names) paths.push_back(InFolderOf(place_, name));
  return paths;
}

std::optional<std::string> PictureSequence::Next(int Direction) const {
  if (place_.empty()) return std::nullopt;
  const std::vector<std::string> pictures = Pictures();
  // Where the place is, or would be: it may have been renamed or removed since.
  const auto found = std::find(pictures.begin(), pictures.end(), place_);
  std::ptrdiff_t at = found != pictures.end()
                          ? found - pictures.begin()
                          : std::lower_bound(pictures.begin(), pictures.end(), place_,
                                             [](const std::string& A, const std::string& B) {
                                               return NameOrder(A, B);
                                             }) - pictures.begin();
  const bool on_place = found != pictures.end();
  const std::ptrdiff_t step = Direction > 0 ? 1 : -1;
  for (at = Direction > 0 ? at + (on_place ? 1 : 0) : at - 1;
       at >= 0 && at < static_cast<std::ptrdiff_t>(pictures.size()); at += step) {
    if (failed_.count(pictures[at]) == 0) return pictures[at];
  }
  return std::nullopt;
}
