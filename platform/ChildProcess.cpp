// ChildProcess over posix_spawn, which forks without copying the page tables
// of a parent that may hold large pictures, and waitpid.
#include "ChildProcess.h"

#include "Errors.h"
#include "FileDescriptor.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>

extern char** environ;

namespace platform {

namespace {

// Descriptors are handed down from numbers at least this high, which no
// descriptor of the child's numbering (3, 4, ...) can clash with.
constexpr int kHandOverFloor = 100;

[[noreturn]] void Fail(const std::string& Program, int Error) {
  throw PlatformError("cannot start " + Program + ": " + std::strerror(Error));
}

ChildExit ExitOf(int Status) {
  if (WIFSIGNALED(Status)) return {true, WTERMSIG(Status)};
  return {false, WEXITSTATUS(Status)};
}

// This process's environment with the given NAME=VALUE entries set.
std::vector<std::string> MergedEnvironment(const std::vector<std::string>& Additions) {
  std::map<std::string, std::string> entries;
  std::vector<std::string> order;
  auto set = [&](const std::string& Entry) {
    const std::string name = Entry.substr(0, Entry.find('='));
    if (entries.find(name) == entries.end()) order.push_back(name);
    entries[name] = Entry;
  };
  for (char** entry = environ; *entry != nullptr; ++entry) set(*entry);
  for (const std::string& entry : Additions) set(entry);
  std::vector<std::string> merged;
  for (const std::string& name : order) merged.push_back(entries[name]);
  return merged;
}

std::vector<char*> Pointers(std::vector<std::string>& Texts) {
  std::vector<char*> pointers;
  for (std::string& text : Texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

std::string DescribeSignal(int Signal) {
  const char* abbreviation = sigabbrev_np(Signal);
  const char* description = sigdescr_np(Signal);
  if (abbreviation == nullptr) return "signal " + std::to_string(Signal);
  std::string text = std::string("SIG") + abbreviation;
  if (description != nullptr) text += std::string(" (") + description + ")";
  return text;
}

ChildProcess::ChildProcess(const std::string& Program, const std::vector<std::string>& Arguments,
                           const std::vector<int>& Pass, const std::vector<std::string>& Environment) {
  std::vector<FileDescriptor> handed;
  for (const int fd : Pass) {
    const int high = ::fcntl(fd, F_DUPFD_CLOEXEC, kHandOverFloor);
    if (high < 0) Fail(Program, errno);
    handed.emplace_back(high);
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
  for (std::size_t i = 0; i < handed.size(); ++i) {
    posix_spawn_file_actions_adddup2(&actions, handed[i].Get(), static_cast<int>(3 + i));
  }
  // Descriptors this process inherited without close-on-exec stay behind too.
  posix_spawn_file_actions_addclosefrom_np(&actions, static_cast<int>(3 + handed.size()));
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (const int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD}) sigaddset(&defaults, signal);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<std::string> argv{Program};
  argv.insert(argv.end(), Arguments.begin(), Arguments.end());
  std::vector<std::string> envp = MergedEnvironment(Environment);
  std::vector<char*> argv_pointers = Pointers(argv);
  std::vector<char*> envp_pointers = Pointers(envp);
  pid_t pid = -1;
  const int error = ::posix_spawn(&pid, Program.c_str(), &actions, &attributes, argv_pointers.data(),
                                  envp_pointers.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) Fail(Program, error);
  pid_ = pid;
}

ChildProcess::~ChildProcess() {
  if (ended_) return;
  ::kill(-pid_, SIGKILL);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
}

ChildExit ChildProcess::Wait() {
  while (!ended_) {
    int status = 0;
    const pid_t waited = ::waitpid(pid_, &status, 0);
    if (waited == pid_) {
      exit_ = ExitOf(status);
      ended_ = true;
    } else if (waited < 0 && errno != EINTR) {
      throw PlatformError(std::string("cannot wait for a child process: ") + std::strerror(errno));
    }
  }
  return exit_;
}

ChildExit ChildProcess::Kill() {
  if (!ended_) ::kill(-pid_, SIGKILL);
  return Wait();
}

void EndWithParent() {
  const pid_t parent = ::getppid();
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  // The parent may have ended before the request was made.
  if (::getppid() != parent) ::_exit(1);
}

}  // namespace platform
