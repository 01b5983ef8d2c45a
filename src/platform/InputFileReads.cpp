// The reads of InputFile that are built only on `read`, the same on every system.
#include "platform/InputFile.h"

#include <algorithm>
#include <atomic>

namespace platform {

namespace {

std::atomic<InputOpenHook> g_openHook{nullptr};

} // namespace

InputOpenHook setInputOpenHook(InputOpenHook hook) {
    return g_openHook.exchange(hook);
}

void detail::noteInputOpened(const std::string& name) {
    if (const InputOpenHook hook = g_openHook.load(std::memory_order_relaxed)) {
        hook(name);
    }
}

std::error_code InputFile::readToEnd(std::string& out, std::uint64_t limit) {
    const auto tooLarge = [&out] {
        out.clear();
        out.shrink_to_fit();
        return std::make_error_code(std::errc::file_too_large);
    };
    if (m_size > limit) {
        return tooLarge();
    }
    // Sized from the open-time length, but the file may have grown or shrunk since; one byte more
    // than the limit is room enough to see it was passed.
    const std::uint64_t room = limit == UINT64_MAX ? limit : limit + 1;
    out.resize(static_cast<std::size_t>(std::min(m_size + 1, room)));
    std::size_t filled = 0;
    for (;;) {
        if (filled == out.size()) {
            if (filled > limit) {
                return tooLarge();
            }
            out.resize(static_cast<std::size_t>(std::min<std::uint64_t>(out.size() * 2, room)));
        }
        std::error_code ec;
        const std::size_t got = read(out.data() + filled, out.size() - filled, ec);
        if (ec) {
            out.clear();
            return ec;
        }
        if (got == 0) {
            break;
        }
        filled += got;
    }
    out.resize(filled);
    return {};
}

std::error_code readWholeFile(const std::string& path, std::string& out, Follow follow,
                              std::uint64_t limit) {
    InputFile file;
    if (const auto ec = file.open(path, follow)) {
        out.clear();
        return ec;
    }
    return file.readToEnd(out, limit);
}

} // namespace platform
