#pragma once

#include "platform/ScopedSeam.h"
#include "tools/ui/Shell.h"

#include <vector>

/// Records what the windows ask the desktop to open or start, instead of doing it. Installed
/// for the lifetime of the object; `succeed` is the answer to every request.
class ShellCalls {
public:
    std::vector<Shell::Request> requests;
    bool succeed = true;

private:
    const platform::ScopedSeam<Shell::Handler> m_seam{Shell::SetHandler,
                                                      [this](const Shell::Request& request) {
                                                          requests.push_back(request);
                                                          return succeed;
                                                      }};
};
