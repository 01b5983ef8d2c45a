#include "platform/Terminal.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <initializer_list>
#include <io.h>
#include <windows.h>

namespace platform {

namespace {

UINT previousOutputCodePage = 0;

void restoreOutputCodePage() {
    SetConsoleOutputCP(previousOutputCodePage);
}

/// A console's mode; false for anything else (a file, a pipe, the NUL device).
bool consoleMode(DWORD which, DWORD& mode) {
    const HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

} // namespace

bool stderrIsTerminal() {
    DWORD mode = 0;
    return consoleMode(STD_ERROR_HANDLE, mode);
}

void setUpConsole() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    // The code page belongs to the console, which outlives the program: it is put back at exit.
    const UINT codePage = GetConsoleOutputCP();
    if (codePage != 0 && codePage != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
        previousOutputCodePage = codePage;
        std::atexit(restoreOutputCodePage);
    }
    for (const DWORD which : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        DWORD mode = 0;
        if (consoleMode(which, mode)) {
            SetConsoleMode(GetStdHandle(which), mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
        }
    }
}

} // namespace platform
