#pragma once

#include <windows.h>

namespace platform::windows {

/// Keeps the system from asking the user to insert a disk while this thread asks a drive: an
/// empty card reader or disc drive then fails at once.
class QuietDriveErrors {
public:
    QuietDriveErrors() {
        ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous_);
    }
    ~QuietDriveErrors() { ::SetThreadErrorMode(previous_, nullptr); }
    QuietDriveErrors(const QuietDriveErrors&) = delete;
    QuietDriveErrors& operator=(const QuietDriveErrors&) = delete;

private:
    DWORD previous_ = 0;
};

} // namespace platform::windows
