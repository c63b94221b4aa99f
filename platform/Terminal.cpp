// Terminal over isatty(3).
#include "Terminal.h"

#include <unistd.h>

namespace platform {

bool ErrorsGoToTerminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace platform
