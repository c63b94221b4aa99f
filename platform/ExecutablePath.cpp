// ExecutablePath from /proc/self/exe.
#include "ExecutablePath.h"

#include "Errors.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace platform {

std::string ExecutableFolder() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) throw PlatformError("cannot find the running program's file: " + error.message());
  return program.parent_path().string();
}

}  // namespace platform
