#include "scanner/PrintableName.h"

#include <cstdio>

namespace {

// On Windows a backslash is the separator and never part of a name (nor are control
// characters), so shown paths keep it single; elsewhere a name may hold one and it is doubled.
#ifdef _WIN32
constexpr bool kBackslashInNames = false;
#else
constexpr bool kBackslashInNames = true;
#endif

} // namespace

std::string PrintableName(std::string_view text) {
    std::string printable;
    printable.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", byte);
            printable += escape;
        } else if (c == '\\' && kBackslashInNames) {
            printable += "\\\\";
        } else {
            printable += c;
        }
    }
    return printable;
}
