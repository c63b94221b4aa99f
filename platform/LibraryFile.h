// LibraryFile: a shared library opened by path, or by file name on the
// system's library search path, kept open for the rest of the process, and
// its entry points.
#pragma once

#include <string>

namespace platform {

class LibraryFile {
 public:
  // A name with a slash is a path; one without is looked for as the system's
  // loader looks for libraries. Every symbol is bound at once, so a library
  // that cannot work here fails now. Throws LibraryLoadError with the
  // loader's reason.
  explicit LibraryFile(const std::string& PathOrFileName);
  LibraryFile(const LibraryFile&) = delete;
  LibraryFile& operator=(const LibraryFile&) = delete;

  // Throws LibraryLoadError naming the file and the entry point.
  void* EntryPoint(const std::string& Name) const;

  // The absolute path of the file the loader mapped.
  std::string FilePath() const;

 private:
  void* handle_ = nullptr;
};

}  // namespace platform
