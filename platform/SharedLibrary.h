// SharedLibrary: a library loaded when an entry point is first asked for and kept
// loaded for the rest of the process: found by name the way the program looks for
// its filter library, or bound to one file named by path.
#pragma once

#include <string>
#include <vector>

namespace platform {

class SharedLibrary {
 public:
  // Looked for by Name, without prefix or extension, in each folder in turn
  // (libName.so, a build of the user's own), then on the system's library search
  // path: libName.so.Version, as installed, before libName.so.
  SharedLibrary(std::string Name, int Version, std::vector<std::string> Folders);

  // That file and no other.
  explicit SharedLibrary(std::string File);

  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  // Throws LibraryLoadError naming every file tried with the system's reason for
  // each, or the file that lacks the entry point. A failed look-up is tried
  // afresh next time.
  template <typename Function>
  Function* Resolve(const std::string& EntryPoint) {
    return reinterpret_cast<Function*>(ResolveAddress(EntryPoint));
  }

  // The full path of the file loaded; empty before anything was resolved.
  std::string FilePath() const;

 private:
  using Address = void (*)();
  Address ResolveAddress(const std::string& EntryPoint);
  void Load();

  // Each file tried in turn: a path, or a bare name for the system's search.
  std::vector<std::string> candidates_;
  std::string description_;  // what is being loaded, for the failure message
  // The loaded library. Never closed: entry points handed out stay valid, and
  // a library may leave threads of its own behind.
  void* handle_ = nullptr;
};

}  // namespace platform
