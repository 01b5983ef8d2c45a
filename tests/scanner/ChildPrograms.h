#pragma once

#include <csignal>
#include <string>
#include <sys/types.h>
#include <vector>

namespace testsupport {

/// What `ChildPrograms::end` returns for a child that something else had killed before, and for
/// one the test itself ended. Windows has no signals: there a child found already gone counts as
/// killed.
#ifdef _WIN32
inline constexpr int kChildKilled = 9;
inline constexpr int kChildEnded = SIGTERM;
#else
inline constexpr int kChildKilled = SIGKILL;
inline constexpr int kChildEnded = SIGTERM;
#endif

/// Copies of a harmless program (sleep; on Windows the test sleeper built beside the tests) that
/// the test starts itself. Every child not yet ended
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
    /// Ends a child with SIGTERM (Windows: TerminateProcess) and reaps it. Returns kChildKilled
    /// when it had already been killed (a pending kill wins over the later SIGTERM), else
    /// kChildEnded.
    int end(pid_t pid);

private:
    std::vector<pid_t> m_children;
#ifdef _WIN32
    std::vector<void*> m_handles; ///< the process handle of each child, in m_children's order
#endif
};

} // namespace testsupport
