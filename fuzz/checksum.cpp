// Fuzzes the CRC-32 loops, the checksum class and the checksum text against a bit-at-a-time CRC-32
// written here, so that a wrong checksum (which would miss or misname a threat) stops the run.

#include "FuzzCheck.h"
#include "engine/Crc32.h"
#include "engine/clsCRC.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>

namespace {

/// The reflected CRC-32 register after `data`, one bit at a time.
std::uint32_t bitwiseUpdate(std::uint32_t reg, std::string_view data) {
    for (const char c : data) {
        reg ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit) {
            reg = (reg & 1u) != 0 ? (reg >> 1) ^ 0xEDB88320u : reg >> 1;
        }
    }
    return reg;
}

/// Upper-case hexadecimal without leading zeros.
std::string modelChecksumText(std::uint32_t value) {
    if (value == 0) {
        return "0";
    }
    std::string text;
    for (; value != 0; value >>= 4) {
        text.insert(text.begin(), "0123456789ABCDEF"[value & 0xF]);
    }
    return text;
}

template <typename T> T loadFrom(std::string_view data, T fallback) {
    if (data.size() < sizeof(T)) {
        return fallback;
    }
    T value;
    std::memcpy(&value, data.data(), sizeof value);
    return value;
}

void checkLoops(std::string_view data) {
    // Any register, not only the initial one: callers continue a checksum across buffers.
    for (const std::uint32_t reg : {0xFFFFFFFFu, 0u, loadFrom<std::uint32_t>(data, 1u)}) {
        const std::uint32_t expected = bitwiseUpdate(reg, data);
        FUZZ_CHECK_EQ(crc32::updateBytewise(reg, data), expected);
        FUZZ_CHECK_EQ(crc32::updateSliced(reg, data), expected);
        FUZZ_CHECK_EQ(crc32::updateFolded256(reg, data), expected);
        FUZZ_CHECK_EQ(crc32::update(reg, data), expected);
    }
}

void checkClass(std::string_view data) {
    const auto expected = static_cast<std::int32_t>(~bitwiseUpdate(0xFFFFFFFFu, data));
    clsCRC crc;
    FUZZ_CHECK_EQ(crc.CalculateBytes(data), expected);
    FUZZ_CHECK_EQ(crc.Value(), expected);

    // The same bytes in three pieces, cut where the input says.
    const std::size_t first = data.empty() ? 0 : static_cast<unsigned char>(data[0]) % data.size();
    const std::size_t second = first + (data.size() - first) / 2;
    crc.Clear();
    crc.AddBytes(data.substr(0, first));
    crc.AddBytes(data.substr(first, second - first));
    FUZZ_CHECK_EQ(crc.AddBytes(data.substr(second)), expected);

    // The algorithm flag is kept for callers only.
    crc.Algorithm(static_cast<std::int32_t>(data.size()) + 1);
    FUZZ_CHECK_EQ(crc.Algorithm(), -1);
    FUZZ_CHECK_EQ(crc.CalculateBytes(data), expected);

    // A stored register continues the checksum: the register after the first piece, then the rest.
    const std::uint32_t partial = bitwiseUpdate(0xFFFFFFFFu, data.substr(0, first));
    crc.Value(static_cast<std::int32_t>(partial));
    FUZZ_CHECK_EQ(crc.AddBytes(data.substr(first)), expected);

    const auto value = loadFrom<std::int64_t>(data, 0);
    const bool fits = value >= std::numeric_limits<std::int32_t>::min() &&
                      value <= std::numeric_limits<std::int32_t>::max();
    try {
        crc.Value(value);
        FUZZ_CHECK(fits);
        FUZZ_CHECK_EQ(crc.Value(), static_cast<std::int32_t>(~static_cast<std::uint32_t>(value)));
    } catch (const std::out_of_range&) {
        FUZZ_CHECK(!fits);
    }
}

void checkText(std::string_view data) {
    const std::uint32_t checksum = ~bitwiseUpdate(0xFFFFFFFFu, data);
    FUZZ_CHECK_EQ(ChecksumText(static_cast<std::int32_t>(checksum)), modelChecksumText(checksum));
    const auto raw = loadFrom<std::uint32_t>(data, 0);
    FUZZ_CHECK_EQ(ChecksumText(static_cast<std::int32_t>(raw)), modelChecksumText(raw));
    FUZZ_CHECK_EQ(ChecksumText(std::nullopt), "0");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = fuzzcheck::asText(data, size);
    checkLoops(bytes);
    checkClass(bytes);
    checkText(bytes);
    return 0;
}
