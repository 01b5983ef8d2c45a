#pragma once

#include "controls/Shell.h"

#include <vector>

/// Records what the windows ask the desktop to open or start, instead of doing it. Installed
/// for the lifetime of the object; `succeed` is the answer to every request.
class ShellCalls {
public:
    ShellCalls() {
        Shell::SetHandler([this](const Shell::Request& request) {
            requests.push_back(request);
            return succeed;
        });
    }
    ~ShellCalls() { Shell::SetHandler(nullptr); }
    ShellCalls(const ShellCalls&) = delete;
    ShellCalls& operator=(const ShellCalls&) = delete;

    std::vector<Shell::Request> requests;
    bool succeed = true;
};
