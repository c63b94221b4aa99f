// File questions over QFileInfo.
#include "Files.h"

#include <QFileInfo>

namespace platform {

bool FileExists(const std::string& Path) { return QFileInfo::exists(QString::fromStdString(Path)); }

}  // namespace platform
