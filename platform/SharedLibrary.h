// SharedLibrary: a library named without prefix or extension, loaded when an
// entry point is first asked for and kept loaded for the rest of the process.
#pragma once

#include <memory>
#include <string>
#include <vector>

class QLibrary;

namespace platform {

class SharedLibrary {
 public:
  // Looked for in each folder in turn (libName.so, a build of the user's own),
  // then on the system's library search path: libName.so.Version, as installed,
  // before libName.so.
  SharedLibrary(std::string Name, int Version, std::vector<std::string> Folders);
  ~SharedLibrary();
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  // Throws LibraryLoadError naming the library and every place it looked, or the
  // file that lacks the entry point. A failed look-up is tried afresh next time.
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

  std::string name_;
  int version_;
  std::vector<std::string> folders_;
  std::unique_ptr<QLibrary> library_;
  Address resolved_ = nullptr;  // any entry point, to ask the loader which file it is in
};

}  // namespace platform
