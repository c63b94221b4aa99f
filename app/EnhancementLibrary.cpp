// EnhancementLibrary: the binding of the filter's entry point.
#include "EnhancementLibrary.h"

#include "platform/Application.h"

#include <utility>

EnhancementLibrary::EnhancementLibrary(std::string Name, std::vector<std::string> Folders)
    : library_(std::move(Name), MORVANE_FILTER_INTERFACE_VERSION, std::move(Folders)) {}

EnhancementLibrary::EnhancementLibrary(File Build) : library_(Build.Path), path_(Build.Path) {}

EnhancementLibrary::Filter* EnhancementLibrary::DetailEnhancementByBilaterFilter() {
  if (entry_ == nullptr) entry_ = library_.Resolve<Filter>("DetailEnhancementByBilaterFilter");
  return entry_;
}

EnhancementLibrary::Timed EnhancementLibrary::Run(Cimage& Image, int Strength) {
  Filter* const filter = DetailEnhancementByBilaterFilter();
  const API::MsStamp t1 = API::GetPreciseMs();
  const int status = filter(Image.Pointer(), Image.Width(), Image.Height(), Image.Stride(), Strength);
  const API::MsStamp t2 = API::GetPreciseMs();
  return {status, t2 - t1};
}

std::string EnhancementLibrary::FileName() const {
  const std::string path = path_.empty() ? FilePath() : path_;
  return path.substr(path.find_last_of('/') + 1);
}

std::vector<std::string> EnhancementLibrary::DefaultFolders() {
  return {platform::Application::Path()};
}
