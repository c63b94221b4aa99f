// ChildProcess: a program started as a process group of its own, with chosen
// descriptors handed down and variables added to its environment, that can be
// waited for and killed together with everything it started.
#pragma once

#include <string>
#include <vector>

namespace platform {

// How a child process ended.
struct ChildExit {
  bool Signalled = false;  // killed by a signal rather than exiting
  int Code = 0;            // the exit status, or the signal's number
};

// "SIGSEGV (Segmentation fault)", or "signal 77" for one without a name.
std::string DescribeSignal(int Signal);

class ChildProcess {
 public:
  // Starts Program (a path) with Arguments after its name. The descriptors in
  // Pass reach the child as 3, 4, 5, ... in their order; no other descriptor of
  // this process does, but for standard input and error. The child's standard
  // output goes to this process's standard error, so nothing it prints mixes
  // with this program's own output. Environment holds NAME=VALUE entries set on
  // top of this process's environment. Throws PlatformError naming the program
  // and the system's reason.
  ChildProcess(const std::string& Program, const std::vector<std::string>& Arguments,
               const std::vector<int>& Pass, const std::vector<std::string>& Environment);
  // Kills a child that is still running.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Waits for the child to end by itself.
  ChildExit Wait();
  // Kills the child's whole process group at once and waits for the child.
  ChildExit Kill();

 private:
  int pid_ = -1;
  bool ended_ = false;
  ChildExit exit_;
};

// For the child's side: this process is killed when the process that started
// it ends, even while it is stuck in code that never returns.
void EndWithParent();

}  // namespace platform
