// Files in the file system, named by paths that are the system's own bytes: no
// conversion to text on the way, so every name the system holds reaches its file
// and no other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace platform {

// The path as failure messages name it, in double quotes, so that spaces at its
// ends or in it stay visible.
std::string Quoted(const std::string& Path);

// The folder part of a path as it is written: "." for a bare name, "/" for a
// name at the root.
std::string FolderOf(const std::string& Path);

// True when something (a file or a folder) exists under that name.
bool FileExists(const std::string& Path);

// Path as seen from the current folder, without resolving links: unchanged when
// it starts at the root.
std::string AbsolutePath(const std::string& Path);

// True when both paths lead to one file (through links, or the same name); paths
// that lead to nothing are the same when they are equal.
bool SameFile(const std::string& A, const std::string& B);

// The first Count bytes of a regular file (fewer when it is shorter). Throws
// FileError naming the path and the system's reason, and for a folder or a
// device.
std::vector<std::uint8_t> ReadFileStart(const std::string& Path, std::size_t Count);

// The names of the regular files in Folder (links followed), in no particular
// order. Throws FileError naming the folder and the system's reason.
std::vector<std::string> FilesIn(const std::string& Folder);

// The whole of a regular file; throws as ReadFileStart.
std::vector<std::uint8_t> ReadWholeFile(const std::string& Path);

// Writes Pieces one after the other as the file Path, replacing an existing file
// (or a symbolic link's target) only once the new content is wholly on disk. A
// failure leaves an existing file byte for byte and no partial file anywhere, and
// throws FileError naming the path and the system's reason (a full disk says so).
void ReplaceFile(const std::string& Path, const std::vector<std::span<const std::uint8_t>>& Pieces);

}  // namespace platform
