#include "platform/Wtf8.h"

namespace platform {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void appendUtf8(std::string& out, char32_t c) {
    const auto byte = [&out](char32_t value) { out.push_back(static_cast<char>(value)); };
    if (c < 0x80) {
        byte(c);
    } else if (c < 0x800) {
        byte(0xC0 | (c >> 6));
        byte(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        byte(0xE0 | (c >> 12));
        byte(0x80 | ((c >> 6) & 0x3F));
        byte(0x80 | (c & 0x3F));
    } else {
        byte(0xF0 | (c >> 18));
        byte(0x80 | ((c >> 12) & 0x3F));
        byte(0x80 | ((c >> 6) & 0x3F));
        byte(0x80 | (c & 0x3F));
    }
}

void appendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
        return;
    }
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
}

/// Decodes one sequence at `at` and moves past it; an invalid byte decodes as U+FFFD and is
/// skipped alone. Encoded surrogates are accepted (that is what makes it WTF-8), overlong forms
/// and values beyond U+10FFFF are not.
char32_t decodeOne(std::string_view text, std::size_t& at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    int length = 0;
    char32_t value = 0;
    char32_t least = 0;
    if (lead < 0x80) {
        ++at;
        return lead;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        least = 0x10000;
    } else {
        ++at;
        return kReplacement;
    }
    if (at + static_cast<std::size_t>(length) > text.size()) {
        ++at;
        return kReplacement;
    }
    for (int i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + static_cast<std::size_t>(i)]);
        if ((next & 0xC0) != 0x80) {
            ++at;
            return kReplacement;
        }
        value = (value << 6) | (next & 0x3F);
    }
    if (value < least || value > 0x10FFFF) {
        ++at;
        return kReplacement;
    }
    at += static_cast<std::size_t>(length);
    return value;
}

bool isHighSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

bool isLowSurrogate(char32_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

} // namespace

std::u16string wtf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        const char32_t c = decodeOne(text, at);
        // A surrogate pair written as two three-byte sequences is the pair, so appending both
        // halves as they are gives the same UTF-16 as its four-byte form would.
        appendUtf16(out, c);
    }
    return out;
}

std::string utf16ToWtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        const auto unit = static_cast<char32_t>(text[at]);
        if (isHighSurrogate(unit) && at + 1 < text.size()) {
            const auto next = static_cast<char32_t>(text[at + 1]);
            if (isLowSurrogate(next)) {
                appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
                ++at;
                continue;
            }
        }
        appendUtf8(out, unit);
    }
    return out;
}

} // namespace platform
