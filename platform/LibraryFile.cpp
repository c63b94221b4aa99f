// LibraryFile over dlopen, dlsym and dlinfo. The library is never closed:
// code it started (helper threads, handlers) may outlive any call into it.
#include "LibraryFile.h"

#include "Errors.h"

#include <dlfcn.h>
#include <link.h>
#include <limits.h>
#include <stdlib.h>

namespace platform {

namespace {

std::string LoaderReason() {
  const char* reason = ::dlerror();
  return reason != nullptr ? reason : "no reason given";
}

}  // namespace

LibraryFile::LibraryFile(const std::string& PathOrFileName)
    : handle_(::dlopen(PathOrFileName.c_str(), RTLD_NOW | RTLD_LOCAL)) {
  if (handle_ == nullptr) throw LibraryLoadError(LoaderReason());
}

void* LibraryFile::EntryPoint(const std::string& Name) const {
  ::dlerror();
  void* address = ::dlsym(handle_, Name.c_str());
  if (address == nullptr) throw LibraryLoadError(FilePath() + " has no entry point " + Name);
  return address;
}

std::string LibraryFile::FilePath() const {
  link_map* map = nullptr;
  if (::dlinfo(handle_, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr || map->l_name == nullptr) return {};
  char absolute[PATH_MAX];
  if (map->l_name[0] != '/' && ::realpath(map->l_name, absolute) != nullptr) return absolute;
  return map->l_name;
}

}  // namespace platform
