#include "platform/Terminal.h"

#include <unistd.h>

namespace platform {

bool stderrIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

void setUpConsole() {}

} // namespace platform
