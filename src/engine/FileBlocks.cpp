#include "engine/FileBlocks.h"

#include "platform/InputFile.h"

#include <algorithm>
#include <cstring>
#include <system_error>

void forEachFileWindow(const std::string& path, std::size_t overlap,
                       const std::function<bool(std::string_view)>& visit) {
    platform::InputFile file;
    if (const auto ec = file.open(path)) {
        throw std::system_error(ec, path);
    }
    // Small files get a buffer of their own size; the loop still reads on if the file has grown.
    const std::size_t largest = std::max<std::size_t>(std::size_t{4} << 20, overlap * 4);
    const std::size_t block =
        static_cast<std::size_t>(std::min<std::uint64_t>(largest, file.size() + 1));
    std::string buffer(overlap + block, '\0');
    std::size_t kept = 0; // bytes carried over from the previous window
    for (;;) {
        std::error_code ec;
        const std::size_t got = file.read(buffer.data() + kept, block, ec);
        if (ec) {
            throw std::system_error(ec, path);
        }
        if (got == 0) {
            return;
        }
        const std::size_t length = kept + got;
        if (!visit(std::string_view(buffer.data(), length))) {
            return;
        }
        kept = std::min(overlap, length);
        std::memmove(buffer.data(), buffer.data() + length - kept, kept);
    }
}
