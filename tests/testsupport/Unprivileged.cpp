#include "testsupport/Unprivileged.h"

#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

int runUnprivileged(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(125);
        }
        ::_exit(body());
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

} // namespace testsupport
