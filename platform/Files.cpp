// File access through POSIX calls on the path's bytes; Qt's file classes would
// turn a name that is not valid UTF-8 into another name.
#include "Files.h"

#include "Errors.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <utility>

namespace platform {

std::string Quoted(const std::string& Path) { return "\"" + Path + "\""; }

std::string FolderOf(const std::string& Path) {
  const std::string::size_type slash = Path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : Path.substr(0, slash);
}

namespace {

[[noreturn]] void FailRead(const std::string& Path, const std::string& Reason,
                           FileProblem Problem) {
  throw FileError("Cannot read " + Quoted(Path) + ": " + Reason, Reason, Problem);
}

[[noreturn]] void FailWrite(const std::string& Path, const std::string& Reason,
                            FileProblem Problem) {
  throw FileError("Cannot write " + Quoted(Path) + ": " + Reason, Reason, Problem);
}

std::string SystemReason(int Error) {
  return Error == ENOENT ? "no such file" : std::strerror(Error);
}

FileProblem ProblemOf(int Error) {
  switch (Error) {
    case ENOENT:
    case ENOTDIR:
      return FileProblem::NotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return FileProblem::NoPermission;
    case EISDIR:
      return FileProblem::IsFolder;
    case ENOSPC:
    case EDQUOT:
      return FileProblem::NoSpace;
    case EFBIG:
    case ENOMEM:
      return FileProblem::TooLarge;
    default:
      return FileProblem::Other;
  }
}

[[noreturn]] void FailRead(const std::string& Path, int Error) {
  FailRead(Path, SystemReason(Error), ProblemOf(Error));
}

[[noreturn]] void FailWrite(const std::string& Path, int Error) {
  FailWrite(Path, SystemReason(Error), ProblemOf(Error));
}

// An open descriptor, closed when it goes.
class Descriptor {
 public:
  explicit Descriptor(int Fd) : fd_(Fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return fd_; }
  // Closes now, for the error that some file systems report only at close.
  int Close() { return ::close(std::exchange(fd_, -1)); }

 private:
  int fd_;
};

std::vector<std::uint8_t> Read(const std::string& Path, std::size_t Count) {
  // Non-blocking, so that a pipe in the file's place cannot hang the open.
  const Descriptor fd(::open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.Get() < 0) FailRead(Path, errno);
  struct stat status {};
  if (::fstat(fd.Get(), &status) != 0) FailRead(Path, errno);
  if (S_ISDIR(status.st_mode)) FailRead(Path, "it is a folder, not a file", FileProblem::IsFolder);
  if (!S_ISREG(status.st_mode)) FailRead(Path, "it is not a regular file", FileProblem::Other);

  std::vector<std::uint8_t> bytes;
  try {
    bytes.resize(std::min<std::uint64_t>(Count, static_cast<std::uint64_t>(status.st_size)));
  } catch (const std::bad_alloc&) {
    FailRead(Path, "not enough memory for its " + std::to_string(status.st_size) + " bytes",
             FileProblem::TooLarge);
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t got = ::read(fd.Get(), bytes.data() + done, bytes.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) FailRead(Path, errno);
    if (got == 0) break;  // shrank since fstat
    done += static_cast<std::size_t>(got);
  }
  bytes.resize(done);
  return bytes;
}

// Where the content of Path really lives: a symbolic link is replaced through to
// its target, as editors do, rather than turned into a plain file.
std::string Destination(const std::string& Path) {
  const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(Path.c_str(), nullptr),
                                                             &std::free);
  return resolved ? std::string(resolved.get()) : Path;
}

void CheckFolder(const std::string& Path, const std::string& Target) {
  struct stat status {};
  if (::stat(Target.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
    FailWrite(Path, "it is a folder", FileProblem::IsFolder);
  }
  const std::string folder = FolderOf(Target);
  if (::stat(folder.c_str(), &status) != 0) {
    if (errno != ENOENT) FailWrite(Path, errno);
    FailWrite(Path, "the folder " + Quoted(folder) + " does not exist", FileProblem::NotFound);
  }
  if (!S_ISDIR(status.st_mode)) {
    FailWrite(Path, Quoted(folder) + " is a file, not a folder", FileProblem::NotFound);
  }
}

// A new, empty file next to Target under a name of its own, with Target's
// permissions when it exists (otherwise the usual ones for a new file).
class TemporaryFile {
 public:
  TemporaryFile(const std::string& Path, const std::string& Target)
      : fd_(OpenUnique(Path, FolderOf(Target), name_)) {
    struct stat status {};
    if (::stat(Target.c_str(), &status) == 0 && ::fchmod(fd_.Get(), status.st_mode & 07777) != 0) {
      const int error = errno;
      ::unlink(name_.c_str());  // the destructor does not run for a throwing constructor
      Fail(Path, error);
    }
  }
  ~TemporaryFile() {
    if (!name_.empty()) ::unlink(name_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  void Write(const std::string& Path, std::span<const std::uint8_t> Bytes) {
    while (!Bytes.empty()) {
      const ssize_t written = ::write(fd_.Get(), Bytes.data(), Bytes.size());
      if (written < 0 && errno == EINTR) continue;
      if (written < 0) Fail(Path, errno);
      Bytes = Bytes.subspan(static_cast<std::size_t>(written));
    }
  }

  // Puts the content on disk and the file in Target's place.
  void Commit(const std::string& Path, const std::string& Target) {
    if (::fsync(fd_.Get()) != 0) Fail(Path, errno);
    if (fd_.Close() != 0) Fail(Path, errno);
    if (::rename(name_.c_str(), Target.c_str()) != 0) Fail(Path, errno);
    name_.clear();
    // The rename itself reaches the disk with the folder; a failure here loses
    // nothing that the file system has not already shown as saved.
    const Descriptor folder(::open(FolderOf(Target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Get() >= 0) ::fsync(folder.Get());
  }

 private:
  [[noreturn]] void Fail(const std::string& Path, int Error) { FailWrite(Path, Error); }

  // A short name of our own in Folder: the target's name plus a suffix could
  // exceed the longest name the system takes.
  static int OpenUnique(const std::string& Path, const std::string& Folder, std::string& Name) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0;; ++attempt) {
      Name = Folder + "/.morvane-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) +
             ".tmp";
      const int fd = ::open(Name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd >= 0) return fd;
      if (errno != EEXIST || attempt == 100) {
        const int error = errno;
        Name.clear();
        FailWrite(Path, error);
      }
    }
  }

  std::string name_;  // before fd_, which is opened under it
  Descriptor fd_;
};

}  // namespace

bool FileExists(const std::string& Path) {
  struct stat status {};
  return ::stat(Path.c_str(), &status) == 0;
}

std::string AbsolutePath(const std::string& Path) {
  if (Path.rfind('/', 0) == 0) return Path;
  const std::unique_ptr<char, decltype(&std::free)> folder(::getcwd(nullptr, 0), &std::free);
  if (!folder) return Path;
  return std::string(folder.get()) + "/" + Path;
}

bool SameFile(const std::string& A, const std::string& B) {
  struct stat a {};
  struct stat b {};
  if (::stat(A.c_str(), &a) != 0 || ::stat(B.c_str(), &b) != 0) return A == B;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::vector<std::uint8_t> ReadFileStart(const std::string& Path, std::size_t Count) {
  return Read(Path, Count);
}

std::vector<std::string> FilesIn(const std::string& Folder) {
  const auto close = [](DIR* Dir) { ::closedir(Dir); };
  const std::unique_ptr<DIR, decltype(close)> dir(::opendir(Folder.c_str()), close);
  if (!dir) FailRead(Folder, errno);
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string name = entry->d_name;
    struct stat status {};
    if (::stat((Folder + "/" + name).c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
      names.push_back(name);
    }
  }
  return names;
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& Path) {
  return Read(Path, std::numeric_limits<std::size_t>::max());
}

}  // namespace platform

namespace platform {

void ReplaceFile(const std::string& Path,
                 const std::vector<std::span<const std::uint8_t>>& Pieces) {
  const std::string target = Destination(Path);
  CheckFolder(Path, target);
  TemporaryFile file(Path, target);
  for (const std::span<const std::uint8_t> piece : Pieces) file.Write(Path, piece);
  file.Commit(Path, target);
}

}  // namespace platform
