// The failures that the platform layer raises. Each message says what failed and
// why (the path, the size, the system's own reason), and file failures say which
// kind of problem it was, so that the window's handlers can word it for the user.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace platform {

// Why a file could not be read or written, as far as the system or the decoder
// tells.
enum class FileProblem {
  Other,        // the message's own text says what
  NotFound,     // no such file, or no such folder to write into
  NoPermission,
  IsFolder,
  Empty,
  NoSpace,
  TooLarge,     // larger than the program or the system takes
  NotAPicture,  // read whole, but no decoder makes a picture of it
};

class PlatformError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A failure to do with one file: the kind of problem besides the message.
class FileProblemError : public PlatformError {
 public:
  FileProblemError(const std::string& Message, FileProblem Problem)
      : PlatformError(Message), problem_(Problem) {}
  FileProblem Problem() const { return problem_; }

 private:
  FileProblem problem_;
};

// A picture file that cannot be read or decoded.
class PictureLoadError : public FileProblemError {
 public:
  using FileProblemError::FileProblemError;
};

// A picture that cannot be written.
class PictureSaveError : public FileProblemError {
 public:
  using FileProblemError::FileProblemError;
};

// A file or folder that cannot be read or written. Reason() is the system's reason
// alone, for callers that name the file in their own words.
class FileError : public FileProblemError {
 public:
  FileError(const std::string& Message, std::string Reason, FileProblem Problem)
      : FileProblemError(Message, Problem), reason_(std::move(Reason)) {}
  const std::string& Reason() const { return reason_; }

 private:
  std::string reason_;
};

// A shared library or one of its entry points that cannot be found.
class LibraryLoadError : public PlatformError {
 public:
  using PlatformError::PlatformError;
};

}  // namespace platform
