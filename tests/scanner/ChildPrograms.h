#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace testsupport {

/// Copies of a harmless program (sleep) that the test starts itself. Every child not yet ended
/// is killed and reaped when the object goes away, so a failing test leaves nothing running.
class ChildPrograms {
public:
    ChildPrograms() = default;
    ~ChildPrograms();
    ChildPrograms(const ChildPrograms&) = delete;
    ChildPrograms& operator=(const ChildPrograms&) = delete;

    /// Copies the sleep program to `path` as an executable file.
    static void copyProgram(const std::string& path);
    /// Runs the program at `path` (sleeping long enough for any test) and returns once the
    /// process runs that file.
    pid_t start(const std::string& path);
    /// Ends a child with SIGTERM and reaps it. Returns the signal that ended it: SIGKILL when it
    /// had already been killed (a pending kill wins over the later SIGTERM), else SIGTERM.
    int end(pid_t pid);

private:
    std::vector<pid_t> m_children;
};

} // namespace testsupport
