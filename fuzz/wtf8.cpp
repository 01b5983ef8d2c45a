// Fuzzes the WTF-8 conversion of names: every UTF-16 name (unpaired surrogates included) must
// come back unchanged from its bytes, any bytes must convert to UTF-16 that is stable from then on,
// and bytes that a plain validator accepts as UTF-8 must come back byte for byte.

#include "platform/Wtf8.h"

#include "FuzzCheck.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace {

/// A plain UTF-8 validator: shortest forms only, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        std::size_t length = 0;
        char32_t value = 0;
        if (lead < 0x80) {
            ++at;
            continue;
        }
        if ((lead & 0xE0) == 0xC0) {
            length = 2;
            value = lead & 0x1Fu;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            value = lead & 0x0Fu;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            value = lead & 0x07u;
        } else {
            return false;
        }
        if (at + length > text.size()) {
            return false;
        }
        for (std::size_t i = 1; i < length; ++i) {
            const auto next = static_cast<unsigned char>(text[at + i]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            value = (value << 6) | (next & 0x3Fu);
        }
        const char32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            return false;
        }
        at += length;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzzcheck::asText(data, size);

    // The input as UTF-16 units, two bytes each: any units, paired or not, survive the trip.
    std::u16string units;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    }
    FUZZ_CHECK(platform::wtf8ToUtf16(platform::utf16ToWtf8(units)) == units);

    // The input as bytes: whatever UTF-16 they give is stable from then on.
    const std::u16string decoded = platform::wtf8ToUtf16(text);
    const std::string encoded = platform::utf16ToWtf8(decoded);
    FUZZ_CHECK(platform::wtf8ToUtf16(encoded) == decoded);
    FUZZ_CHECK(decoded.size() <= text.size());
    if (isValidUtf8(text)) {
        FUZZ_CHECK_EQ(encoded, text);
    }
    return 0;
}
