#include "engine/clsCRC.h"

#include "engine/Crc32.h"
#include "platform/InputFile.h"

#include <array>
#include <charconv>
#include <limits>
#include <stdexcept>

clsCRC::clsCRC() {
    Algorithm(0);
}

std::int32_t clsCRC::AddBytes(std::string_view bytes) {
    if (!bytes.empty()) {
        m_register = crc32::update(m_register, bytes);
    }
    return Value();
}

void clsCRC::Algorithm(std::int32_t value) {
    m_algorithmFlag = value != 0 ? -1 : 0;
    Clear();
}

std::int32_t clsCRC::CalculateBytes(std::string_view bytes) {
    Clear();
    return AddBytes(bytes);
}

CrcResult clsCRC::CalculateFile(const std::string& path) {
    platform::InputFile file;
    if (file.open(path) || file.size() == 0) {
        return std::nullopt;
    }
    // Streamed in blocks: the same checksum as one whole-file read, without holding the file.
    constexpr std::size_t kBlock = 1 << 20;
    std::string buffer(kBlock, '\0');
    Clear();
    for (;;) {
        std::error_code ec;
        const std::size_t got = file.read(buffer.data(), buffer.size(), ec);
        if (ec) {
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        AddBytes(std::string_view(buffer.data(), got));
    }
    return Value();
}

void clsCRC::Value(std::int64_t value) {
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        throw std::out_of_range("CRC value does not fit a 32-bit integer");
    }
    m_register = static_cast<std::uint32_t>(static_cast<std::int32_t>(value));
}

std::string ChecksumText(CrcResult result) {
    const auto value = static_cast<std::uint32_t>(result.value_or(0));
    std::array<char, 8> digits{};
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value, 16).ptr;
    std::string text(digits.data(), end);
    for (char& c : text) {
        if (c >= 'a' && c <= 'f') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}
