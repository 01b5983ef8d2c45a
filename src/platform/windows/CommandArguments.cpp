#include "platform/CommandArguments.h"

#include "platform/windows/WideText.h"

#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

namespace platform {

std::vector<std::string> utf8Arguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        // Out of memory: the narrow arguments are still right for every ASCII name.
        return argc < 1 ? std::vector<std::string>()
                        : std::vector<std::string>(argv + 1, argv + argc);
    }
    std::vector<std::string> arguments;
    for (int i = 1; i < count; ++i) {
        arguments.push_back(windows::narrow(wide[i]));
    }
    LocalFree(wide);
    return arguments;
}

} // namespace platform
