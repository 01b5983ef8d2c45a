#include "scanner/DisplayName.h"

#include "scanner/PrintableName.h"
#include "scanner/Utf8.h"

#include <cstdint>
#include <cstdio>

namespace {

struct Range {
    char32_t first;
    char32_t last;
};

/// The characters written as an escape: the C1 controls, the line and paragraph separators and
/// the format characters (general category Cf), which are invisible or reorder, join or hide
/// the text beside them.
constexpr Range kHidden[] = {
    {0x0080, 0x009F},   {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},
    {0x06DD, 0x06DD},   {0x070F, 0x070F},   {0x0890, 0x0891},   {0x08E2, 0x08E2},
    {0x180E, 0x180E},   {0x200B, 0x200F},   {0x2028, 0x202E},   {0x2060, 0x2064},
    {0x2066, 0x206F},   {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD},
    {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A},
    {0xE0001, 0xE0001}, {0xE0020, 0xE007F},
};

bool hidden(char32_t c) {
    for (const Range& range : kHidden) {
        if (c >= range.first && c <= range.last) {
            return true;
        }
    }
    return false;
}

void appendEscape(std::string& out, const char* format, unsigned value) {
    char escape[16];
    std::snprintf(escape, sizeof escape, format, value);
    out += escape;
}

} // namespace

std::string DisplayName(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte < 0x80) {
            if (byte < 0x20 || byte == 0x7F) {
                appendEscape(shown, "\\x%02x", byte);
            } else if (byte == '\\' && kBackslashInNames) {
                shown += "\\\\";
            } else {
                shown += static_cast<char>(byte);
            }
            ++at;
            continue;
        }
        const auto [c, length] = Utf8CharacterAt(text, at);
        if (length == 0) {
            appendEscape(shown, "\\x%02x", byte);
            ++at;
        } else {
            if (hidden(c)) {
                appendEscape(shown, c > 0xFFFF ? "\\U%08X" : "\\u%04X", static_cast<unsigned>(c));
            } else {
                shown.append(text.substr(at, length));
            }
            at += length;
        }
    }
    return shown;
}
