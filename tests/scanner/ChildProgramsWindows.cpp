#include "ChildPrograms.h"
#include "platform/ProgramFolder.h"
#include "platform/windows/WideText.h"

#include <algorithm>
#include <stdexcept>
#include <windows.h>

namespace testsupport {

namespace {

/// Ends `process` unless it has already ended; returns whether it was still running.
bool terminateAndClose(HANDLE process) {
    const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    if (running) {
        ::TerminateProcess(process, 1);
        ::WaitForSingleObject(process, INFINITE);
    }
    ::CloseHandle(process);
    return running;
}

} // namespace

ChildPrograms::~ChildPrograms() {
    for (void* process : m_handles) {
        terminateAndClose(process);
    }
}

void ChildPrograms::copyProgram(const std::string& path) {
    const std::string sleeper = platform::programFolder() + "\\kesto_test_sleeper.exe";
    if (!::CopyFileW(platform::windows::win32Path(sleeper).c_str(),
                     platform::windows::win32Path(path).c_str(), FALSE)) {
        throw std::runtime_error("cannot copy " + sleeper + " to " + path);
    }
}

pid_t ChildPrograms::start(const std::string& path) {
    const std::wstring program = platform::windows::win32Path(path);
    std::wstring commandLine = L"\"" + platform::windows::widen(path) + L"\" 300";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                          DETACHED_PROCESS, nullptr, nullptr, &startup, &info)) {
        throw std::runtime_error("cannot run " + path);
    }
    ::CloseHandle(info.hThread);
    // The image is mapped once CreateProcessW returns; wait until the process can name it too,
    // as a process list reads it.
    wchar_t name[4096];
    for (int attempt = 0; attempt < 500; ++attempt) {
        DWORD size = 4096;
        if (::QueryFullProcessImageNameW(info.hProcess, 0, name, &size)) {
            break;
        }
        ::Sleep(10);
    }
    const auto pid = static_cast<pid_t>(info.dwProcessId);
    m_children.push_back(pid);
    m_handles.push_back(info.hProcess);
    return pid;
}

int ChildPrograms::end(pid_t pid) {
    const auto it = std::find(m_children.begin(), m_children.end(), pid);
    if (it == m_children.end()) {
        throw std::logic_error("not a running child of this test");
    }
    const auto at = it - m_children.begin();
    const HANDLE process = m_handles[static_cast<std::size_t>(at)];
    m_children.erase(it);
    m_handles.erase(m_handles.begin() + at);
    return terminateAndClose(process) ? kChildEnded : kChildKilled;
}

} // namespace testsupport
