// SharedLibrary over QLibrary, which knows the platform's file names
// (libName.so, Name.dll, libName.dylib) and search rules.
#include "SharedLibrary.h"

#include "Errors.h"

#include <QDir>
#include <QLibrary>

#include <utility>

namespace platform {

SharedLibrary::SharedLibrary(std::string Name, std::vector<std::string> Folders)
    : name_(std::move(Name)), folders_(std::move(Folders)) {}

// Defined where QLibrary is complete. Destroying a QLibrary leaves the library
// loaded, so entry points already handed out stay valid.
SharedLibrary::~SharedLibrary() = default;

// Every place that was tried goes into the error, with the loader's own reason
// for each, so that a missing or broken library can be found from the message.
void SharedLibrary::Load() {
  std::vector<QString> candidates;
  std::vector<std::string> places;
  for (const std::string& folder : folders_) {
    candidates.push_back(QDir(QString::fromStdString(folder)).filePath(QString::fromStdString(name_)));
    places.push_back('"' + folder + '"');
  }
  candidates.push_back(QString::fromStdString(name_));
  places.emplace_back("the system's library search path");

  std::string reasons;
  for (const QString& candidate : candidates) {
    auto library = std::make_unique<QLibrary>(candidate);
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
  if (const Address address = library_->resolve(EntryPoint.c_str())) return address;
  throw LibraryLoadError("The library " + library_->fileName().toStdString() +
                         " has no entry point " + EntryPoint + ".");
}

}  // namespace platform
