#include "ChildPrograms.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

namespace fs = std::filesystem;

ChildPrograms::~ChildPrograms() {
    for (const pid_t pid : m_children) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
}

void ChildPrograms::copyProgram(const std::string& path) {
    fs::copy_file("/bin/sleep", path, fs::copy_options::overwrite_existing);
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
}

pid_t ChildPrograms::start(const std::string& path) {
    // The pipe closes on a successful exec; a failed exec writes its errno into it.
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe2 failed");
    }
    std::string argument = "300";
    char* argv[] = {const_cast<char*>(path.c_str()), argument.data(), nullptr};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        ::execv(path.c_str(), argv);
        const int error = errno;
        [[maybe_unused]] const auto written = ::write(pipeFds[1], &error, sizeof error);
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    if (pid < 0) {
        ::close(pipeFds[0]);
        throw std::runtime_error("fork failed");
    }
    int error = 0;
    ssize_t got = 0;
    do {
        got = ::read(pipeFds[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    ::close(pipeFds[0]);
    if (got != 0) {
        ::waitpid(pid, nullptr, 0);
        throw std::runtime_error("cannot run " + path);
    }
    m_children.push_back(pid);
    return pid;
}

int ChildPrograms::end(pid_t pid) {
    const auto it = std::find(m_children.begin(), m_children.end(), pid);
    if (it == m_children.end()) {
        throw std::logic_error("not a running child of this test");
    }
    m_children.erase(it);
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFSIGNALED(status) ? WTERMSIG(status) : -1;
}

} // namespace testsupport
