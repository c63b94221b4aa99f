// EnhancementLibrary: the binding of the filter's entry point.
#include "EnhancementLibrary.h"

#include "platform/Application.h"

#include <utility>

EnhancementLibrary::EnhancementLibrary(std::string Name, std::vector<std::string> Folders)
    : library_(std::move(Name), MORVANE_FILTER_INTERFACE_VERSION, std::move(Folders)) {}

EnhancementLibrary::EnhancementLibrary(File Build) : library_(std::move(Build.Path)) {}

EnhancementLibrary::Filter* EnhancementLibrary::DetailEnhancementByBilaterFilter() {
  if (entry_ == nullptr) entry_ = library_.Resolve<Filter>("DetailEnhancementByBilaterFilter");
  return entry_;
}

std::vector<std::string> EnhancementLibrary::DefaultFolders() {
  return {platform::Application::Path()};
}
