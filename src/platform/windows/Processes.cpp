// The Windows process list: a tool-help snapshot for the ids and names, the image path and
// creation time asked of each process. The /proc facts of the Linux backend (stat texts, process
// descriptors) have no counterpart here and are not built: an open process handle pins a process
// as a descriptor does, and its creation time stands for the start time.
#include "platform/Processes.h"

#include "platform/PathText.h"
#include "platform/windows/WideText.h"
#include "platform/windows/WinFile.h"

#include <algorithm>
#include <tlhelp32.h>

namespace platform {

using windows::OwnedHandle;

namespace {

/// QueryFullProcessImageNameW with a buffer that grows until the name fits.
std::wstring imageName(HANDLE process, DWORD flags) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 6; ++attempt) {
        DWORD size = static_cast<DWORD>(buffer.size());
        if (QueryFullProcessImageNameW(process, flags, buffer.data(), &size)) {
            buffer.resize(size);
            return buffer;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            return {};
        }
        buffer.resize(buffer.size() * 4);
    }
    return {};
}

std::wstring windowsFolder() {
    std::wstring folder(MAX_PATH, L'\0');
    const UINT length = GetSystemWindowsDirectoryW(folder.data(), static_cast<UINT>(folder.size()));
    folder.resize(length < folder.size() ? length : 0);
    return folder;
}

/// The image path of an open process: the native name, where it starts with "\??\" without
/// those four characters and where it starts with "\SystemRoot\" below the Windows folder; any
/// other native name (a device path) as its Win32 path.
std::string imagePathOf(HANDLE process) {
    const std::wstring native = imageName(process, PROCESS_NAME_NATIVE);
    if (native.starts_with(L"\\??\\")) {
        return windows::narrow(native.substr(4));
    }
    constexpr std::wstring_view kSystemRoot = L"\\SystemRoot\\";
    if (native.starts_with(kSystemRoot)) {
        const std::wstring folder = windowsFolder();
        if (!folder.empty()) {
            return windows::narrow(folder + L'\\' + native.substr(kSystemRoot.size()));
        }
    }
    return windows::narrow(imageName(process, 0));
}

/// When an open process was created, in FILETIME ticks; 0 when it cannot be read.
std::uint64_t creationTicks(HANDLE process) {
    FILETIME created{};
    FILETIME exited{};
    FILETIME kernel{};
    FILETIME user{};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        return 0;
    }
    return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

template <typename Visit> void forEachProcess(Visit visit) {
    const OwnedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.valid()) {
        return;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        visit(entry);
    }
}

} // namespace

std::vector<ProcessInfo> listProcesses() {
    std::vector<ProcessInfo> processes;
    forEachProcess([&processes](const PROCESSENTRY32W& entry) {
        ProcessInfo info;
        info.pid = static_cast<std::int32_t>(entry.th32ProcessID);
        info.name = windows::narrow(entry.szExeFile);
        const OwnedHandle process(
            OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
        if (process.valid()) {
            info.path = imagePathOf(process.get());
            info.startTime = creationTicks(process.get());
        }
        processes.push_back(std::move(info));
    });
    std::sort(processes.begin(), processes.end(),
              [](const ProcessInfo& a, const ProcessInfo& b) { return a.pid < b.pid; });
    return processes;
}

std::vector<std::int32_t> listProcessIds() {
    std::vector<std::int32_t> ids;
    forEachProcess([&ids](const PROCESSENTRY32W& entry) {
        ids.push_back(static_cast<std::int32_t>(entry.th32ProcessID));
    });
    std::sort(ids.begin(), ids.end());
    return ids;
}

bool canBeProcessImage(std::string_view firstBytes) {
    // Every Windows program image starts with the DOS header's "MZ".
    return firstBytes.starts_with("MZ");
}

std::string processPath(std::int32_t pid) {
    const OwnedHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid)));
    return process.valid() ? imagePathOf(process.get()) : std::string();
}

bool processExists(std::int32_t pid) {
    if (pid <= 0) {
        return false;
    }
    const OwnedHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid)));
    if (!process.valid()) {
        // A process that may not be asked is there all the same.
        return GetLastError() == ERROR_ACCESS_DENIED;
    }
    DWORD code = 0;
    return GetExitCodeProcess(process.get(), &code) && code == STILL_ACTIVE;
}

Termination terminateProcessRunning(std::int32_t pid, const std::string& path) {
    // The handle pins the process, so the id cannot be reused between the check and the end.
    const OwnedHandle process(
        OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE,
                    static_cast<DWORD>(pid)));
    if (!process.valid()) {
        return GetLastError() == ERROR_INVALID_PARAMETER ? Termination::NotRunning
                                                         : Termination::Failed;
    }
    if (WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0 ||
        !samePath(imagePathOf(process.get()), path)) {
        return Termination::NotRunning;
    }
    if (!TerminateProcess(process.get(), 1)) {
        return Termination::Failed;
    }
    // The image file stays locked until the process has really gone.
    return WaitForSingleObject(process.get(), 10'000) == WAIT_OBJECT_0 ? Termination::Ended
                                                                       : Termination::Failed;
}

Termination terminateProcessIfSame(std::int32_t pid, std::uint64_t startTime, int waitMs) {
    if (pid <= 0) {
        return Termination::NotRunning;
    }
    // The handle pins the process: the id cannot name another one until it is closed.
    const OwnedHandle process(
        OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE,
                    static_cast<DWORD>(pid)));
    if (!process.valid()) {
        return GetLastError() == ERROR_INVALID_PARAMETER ? Termination::NotRunning
                                                         : Termination::Failed;
    }
    if (WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) {
        return Termination::NotRunning;
    }
    // A process that reused the id after the row was made was created at another time; one whose
    // time cannot be read is never ended unchecked.
    const std::uint64_t created = creationTicks(process.get());
    if (created == 0) {
        return Termination::Failed;
    }
    if (created != startTime) {
        return Termination::NotRunning;
    }
    if (!TerminateProcess(process.get(), 1)) {
        return WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0 ? Termination::NotRunning
                                                                      : Termination::Failed;
    }
    WaitForSingleObject(process.get(), waitMs < 0 ? 0 : static_cast<DWORD>(waitMs));
    return Termination::Ended;
}

} // namespace platform
