// Files in the file system, named by paths that are the system's own bytes: no
// conversion to text on the way, so every name the system holds reaches its file
// and no other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// True when something (a file or a folder) exists under that name.
bool FileExists(const std::string& Path);

// The first Count bytes of a regular file (fewer when it is shorter). Throws
// FileError naming the path and the system's reason, and for a folder or a
// device.
std::vector<std::uint8_t> ReadFileStart(const std::string& Path, std::size_t Count);

// The whole of a regular file; throws as ReadFileStart.
std::vector<std::uint8_t> ReadWholeFile(const std::string& Path);

}  // namespace platform
