// FaultTrap over sigaction with SA_SIGINFO; the handler runs on an alternate
// stack in the thread that installed it, so that a fault from an exhausted
// stack is told too.
#include "FaultTrap.h"

#include "Errors.h"

#include <signal.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace platform {

namespace {

FaultHandler handler = nullptr;

void OnFault(int Signal, siginfo_t* Info, void*) {
  const bool faulted = Info->si_code > 0;
  handler(Signal, faulted ? reinterpret_cast<std::uintptr_t>(Info->si_addr) : 0, faulted);
  // The signal, raised again, stays blocked until the handler returns and
  // then ends the process as if nothing had been trapped.
  ::signal(Signal, SIG_DFL);
  ::raise(Signal);
}

}  // namespace

void TrapFaults(FaultHandler Handler) {
  handler = Handler;
  static char alternate[1 << 16];
  stack_t stack{};
  stack.ss_sp = alternate;
  stack.ss_size = sizeof alternate;
  if (::sigaltstack(&stack, nullptr) != 0) {
    throw PlatformError(std::string("cannot set up a stack for fault handling: ") + std::strerror(errno));
  }
  struct sigaction action {};
  action.sa_sigaction = OnFault;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGSEGV, SIGBUS}) {
    if (::sigaction(signal, &action, nullptr) != 0) {
      throw PlatformError(std::string("cannot trap memory faults: ") + std::strerror(errno));
    }
  }
}

}  // namespace platform
