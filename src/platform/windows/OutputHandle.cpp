#include "platform/OutputHandle.h"

#include "platform/windows/WinFile.h"

#include <algorithm>

namespace platform {

OutputState waitForOutput(NativeHandle output, int /*timeoutMs*/) {
    // An anonymous pipe tells nothing about its room; a write to it waits until it is read.
    return output == kNoHandle || output == INVALID_HANDLE_VALUE ? OutputState::Closed
                                                                 : OutputState::Ready;
}

std::error_code writeOutput(NativeHandle output, std::string_view data, std::size_t& written) {
    written = 0;
    DWORD taken = 0;
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1 << 30));
    if (!WriteFile(output, data.data(), piece, &taken, nullptr)) {
        return windows::lastError();
    }
    written = taken;
    return {};
}

} // namespace platform
