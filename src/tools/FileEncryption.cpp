#include "tools/FileEncryption.h"

namespace FileEncryption {

std::string TrimBlanks(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

int Percent(std::uint64_t done, std::uint64_t total) {
    if (total == 0 || done >= total) {
        return 100;
    }
    return static_cast<int>(done * 100 / total);
}

} // namespace FileEncryption
