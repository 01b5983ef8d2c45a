#include "testsupport/SampleFiles.h"

#include <algorithm>
#include <random>
#include <zlib.h>

namespace testsupport {

std::string noise(std::size_t size, std::uint32_t seed) {
    // Bytes 0x20..0x60 only: every built-in marker has a zero byte, a control byte, a lower-case
    // letter or a byte above 0x60, so none can occur by chance.
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> byte(0x20, 0x60);
    std::string text(size, '\0');
    for (char& c : text) {
        c = static_cast<char>(byte(generator));
    }
    return text;
}

std::string randomBytes(std::size_t size, std::uint32_t seed) {
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(byte(generator));
    }
    return bytes;
}

std::string databaseText(const std::vector<std::string>& lines, std::string_view lineEnd) {
    std::string text;
    for (const auto& line : lines) {
        text += line;
        text += lineEnd;
    }
    return text;
}

std::string eicar() {
    return std::string("X5O!P%@AP[4\\PZX54(P^)7CC)7}$") +
           "EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";
}

std::uint32_t zlibCrc32(std::string_view bytes) {
    uLong crc = crc32(0L, Z_NULL, 0);
    // zlib takes 32-bit lengths; feed large buffers in pieces.
    while (!bytes.empty()) {
        const std::size_t piece = std::min<std::size_t>(bytes.size(), 1u << 30);
        crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(piece));
        bytes.remove_prefix(piece);
    }
    return static_cast<std::uint32_t>(crc);
}

} // namespace testsupport
