// FaultTrap: a memory fault (SIGSEGV or SIGBUS) in any thread of this process
// is told to a handler, with the address that faulted, before the process
// dies of it as it would have anyway.
#pragma once

#include <cstdint>

namespace platform {

// Called in the faulting thread, inside a signal handler: it may only do what
// is safe there (plain memory access, send(2), write(2)). Faulted is false
// for the signal sent by a process (kill, raise), which has no address.
using FaultHandler = void (*)(int Signal, std::uintptr_t Address, bool Faulted);

// Installs Handler for the rest of the process. Throws PlatformError with the
// system's reason.
void TrapFaults(FaultHandler Handler);

}  // namespace platform
