// The failures that the platform layer raises. Each message says what failed and
// why (the path, the size, the system's own reason); the window's handlers decide
// what the user sees.
#pragma once

#include <stdexcept>
#include <string>

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

// A shared library or one of its entry points that cannot be found.
class LibraryLoadError : public PlatformError {
 public:
  using PlatformError::PlatformError;
};

}  // namespace platform
