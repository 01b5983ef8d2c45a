#include "scanner/PrintableName.h"

#include <cstdio>

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
