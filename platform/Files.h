// Questions about files in the file system.
#pragma once

#include <string>

namespace platform {

// True when something (a file or a folder) exists under that name.
bool FileExists(const std::string& Path);

}  // namespace platform
