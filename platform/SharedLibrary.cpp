// SharedLibrary over the dynamic loader. Each file is tried by its exact name, so
// that the failure message can name every file tried with the loader's own reason.
#include "SharedLibrary.h"

#include "Errors.h"
#include "Files.h"

#include <dlfcn.h>
#include <link.h>

#include <utility>

namespace platform {

namespace {

constexpr char kSearchPath[] = " on the system's library search path";

// The loader's reason starts with the name it was given, which the message already shows.
std::string LoaderReason(const std::string& File) {
  const char* error = ::dlerror();
  std::string reason = error != nullptr ? error : "unknown reason";
  const std::string prefix = File + ": ";
  if (reason.compare(0, prefix.size(), prefix) == 0) reason.erase(0, prefix.size());
  return reason;
}

std::string Shown(const std::string& File) {
  return File.find('/') == std::string::npos ? File + kSearchPath : Quoted(File);
}

}  // namespace

SharedLibrary::SharedLibrary(std::string Name, int Version, std::vector<std::string> Folders)
    : candidates_(FilesFor(Name, Version, Folders)), description_("the library " + Name) {}

SharedLibrary::SharedLibrary(std::string File) : SharedLibrary(std::vector<std::string>{std::move(File)}) {}

SharedLibrary::SharedLibrary(std::vector<std::string> Files)
    : candidates_(std::move(Files)), description_(candidates_.size() == 1 ? "the library file" : "the library") {}

std::vector<std::string> SharedLibrary::FilesFor(const std::string& Name, int Version,
                                                 const std::vector<std::string>& Folders) {
  const std::string file = "lib" + Name + ".so";
  std::vector<std::string> files;
  for (const std::string& folder : Folders) files.push_back(folder + "/" + file);
  files.push_back(file + "." + std::to_string(Version));
  files.push_back(file);
  return files;
}

// RTLD_NOW: a library that needs a symbol nobody provides is refused here, with
// the loader's reason, rather than failing in the middle of a call.
void SharedLibrary::Load() {
  std::vector<std::string> tried;
  for (const std::string& file : candidates_) {
    if (void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL)) {
      handle_ = handle;
      return;
    }
    tried.push_back(Shown(file) + ": " + LoaderReason(file));
  }
  std::string message = "Cannot load " + description_;
  if (tried.size() == 1) throw LibraryLoadError(message + " " + tried.front());
  message += ". Files tried:";
  for (const std::string& line : tried) message += "\n" + line;
  throw LibraryLoadError(message);
}

SharedLibrary::Address SharedLibrary::ResolveAddress(const std::string& EntryPoint) {
  if (handle_ == nullptr) Load();
  ::dlerror();
  if (void* address = ::dlsym(handle_, EntryPoint.c_str())) {
    return reinterpret_cast<Address>(address);
  }
  throw LibraryLoadError("The library " + Quoted(FilePath()) + " has no entry point " +
                         EntryPoint + ".");
}

// A library found on the search path is known by its bare name; the loader's
// map of it holds the path of the file it found.
std::string SharedLibrary::FilePath() const {
  if (handle_ == nullptr) return {};
  link_map* map = nullptr;
  if (::dlinfo(handle_, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr || map->l_name == nullptr) {
    return {};
  }
  return map->l_name;
}

}  // namespace platform
