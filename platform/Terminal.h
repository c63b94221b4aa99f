// Terminal: whether an output of this process is a terminal that a person
// watches, where a line may be redrawn in place.
#pragma once

namespace platform {

// True for standard error on a terminal.
bool ErrorsGoToTerminal();

}  // namespace platform
