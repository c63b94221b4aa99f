// SharedLibrary over QLibrary, which knows the platform's file names
// (libName.so, Name.dll, libName.dylib) and search rules.
#include "SharedLibrary.h"

#include "Errors.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>

#if defined(__unix__)
#include <dlfcn.h>
#endif

#include <utility>

namespace platform {

SharedLibrary::SharedLibrary(std::string Name, int Version, std::vector<std::string> Folders)
    : name_(std::move(Name)), version_(Version), folders_(std::move(Folders)) {}

// Defined where QLibrary is complete. Destroying a QLibrary leaves the library
// loaded, so entry points already handed out stay valid.
SharedLibrary::~SharedLibrary() = default;

// Every place that was tried goes into the error, with the loader's own reason
// for each, so that a missing or broken library can be found from the message.
void SharedLibrary::Load() {
  struct Candidate {
    QString file;
    QString version;  // empty: none in the file name
  };
  const QString name = QString::fromStdString(name_);
  std::vector<Candidate> candidates;
  std::vector<std::string> places;
  for (const std::string& folder : folders_) {
    candidates.push_back({QDir(QString::fromStdString(folder)).filePath(name), {}});
    places.push_back('"' + folder + '"');
  }
  candidates.push_back({name, QString::number(version_)});
  candidates.push_back({name, {}});
  places.emplace_back("the system's library search path");

  // One QLibrary at a time: Qt shares the state of QLibrary objects of the same
  // file name, the version included, while any of them lives.
  std::string reasons;
  for (const Candidate& candidate : candidates) {
    auto library = std::make_unique<QLibrary>(candidate.file, candidate.version);
    if (library->load()) {
      library_ = std::move(library);
      return;
    }
    reasons += '\n';
    reasons += library->errorString().toStdString();
  }
  std::string message = "Cannot load the library " + name_ + " (searched ";
  for (std::size_t i = 0; i < places.size(); ++i) {
    if (i > 0) message += ", ";
    message += places[i];
  }
  message += ").";
  throw LibraryLoadError(message + reasons);
}

SharedLibrary::Address SharedLibrary::ResolveAddress(const std::string& EntryPoint) {
  if (!library_) Load();
  if (const Address address = library_->resolve(EntryPoint.c_str())) {
    resolved_ = address;
    return address;
  }
  throw LibraryLoadError("The library " + library_->fileName().toStdString() +
                         " has no entry point " + EntryPoint + ".");
}

// A library found on the search path is known to QLibrary by its bare name;
// the dynamic loader knows where the file it mapped lies.
std::string SharedLibrary::FilePath() const {
  if (!library_) return {};
#if defined(__unix__)
  Dl_info info{};
  if (resolved_ != nullptr && dladdr(reinterpret_cast<const void*>(resolved_), &info) != 0 &&
      info.dli_fname != nullptr) {
    return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absoluteFilePath().toStdString();
  }
#endif
  return QFileInfo(library_->fileName()).absoluteFilePath().toStdString();
}

}  // namespace platform
