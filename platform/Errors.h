// The failures that the platform layer raises. Each message says what failed and
// why (the path, the size, the system's own reason); the window's handlers decide
// what the user sees.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace platform {

class PlatformError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A picture file that cannot be read or decoded.
class PictureLoadError : public PlatformError {
 public:
  using PlatformError::PlatformError;
};

// A picture that cannot be written.
class PictureSaveError : public PlatformError {
 public:
  using PlatformError::PlatformError;
};

// A file or folder that cannot be read or written. Reason() is the system's reason
// alone, for callers that name the file in their own words.
class FileError : public PlatformError {
 public:
  FileError(const std::string& Message, std::string Reason)
      : PlatformError(Message), reason_(std::move(Reason)) {}
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
