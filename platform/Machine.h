// Machine: what timings on this computer depend on: the processor's model,
// the number of CPUs this process may run on, and how busy the system is.
#pragma once

#include <array>
#include <string>

namespace platform {

// The model name the processor gives, or "unknown processor".
std::string ProcessorModel();

// The CPUs this process may be scheduled on.
int ProcessorCount();

// Runnable processes averaged over the last 1, 5 and 15 minutes; NaN where
// the system does not say.
std::array<double, 3> LoadAverage();

}  // namespace platform
