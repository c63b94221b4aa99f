// ExecutablePath: where the running program's file lies, so that a program
// finds the files installed beside it without an application object.
#pragma once

#include <string>

namespace platform {

// The folder holding the running program's file, without a trailing slash.
// Throws PlatformError with the system's reason.
std::string ExecutableFolder();

}  // namespace platform
