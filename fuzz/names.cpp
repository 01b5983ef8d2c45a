// Fuzzes how file names are written: as JSON strings (JsonString) and as text lines
// (PrintableName). Both must be decodable back to the very bytes of the name, so that no two names
// print alike, and neither may carry a control character into the output.

#include "FuzzCheck.h"
#include "cli/JsonText.h"

#include <optional>
#include <string>
#include <string_view>

namespace {

bool isControl(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F;
}

/// Well-formed UTF-8 by the table of valid byte sequences (no overlong forms, no surrogates,
/// nothing above U+10FFFF).
bool isValidUtf8(std::string_view text) {
    const auto at = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const auto inRange = [&](std::size_t i, unsigned char low, unsigned char high) {
        return i < text.size() && at(i) >= low && at(i) <= high;
    };
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char lead = at(i);
        std::size_t length = 0;
        unsigned char secondLow = 0x80;
        unsigned char secondHigh = 0xBF;
        if (lead <= 0x7F) {
            length = 1;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            secondLow = lead == 0xE0 ? 0xA0 : 0x80;
            secondHigh = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            secondLow = lead == 0xF0 ? 0x90 : 0x80;
            secondHigh = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (length > 1 && !inRange(i + 1, secondLow, secondHigh)) {
            return false;
        }
        for (std::size_t k = 2; k < length; ++k) {
            if (!inRange(i + k, 0x80, 0xBF)) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::optional<unsigned> hexNumber(std::string_view digits) {
    unsigned value = 0;
    for (const char c : digits) {
        const int digit = hexValue(c);
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return value;
}

void appendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

/// The bytes a JSON string literal stands for, reading "\udcXX" as the byte XX (which is how names
/// that are not UTF-8 are written); no value when the literal is not valid JSON or uses a
/// surrogate any other way. `byteEscapes` counts the "\udcXX".
std::optional<std::string> decodeJson(std::string_view json, std::size_t& byteEscapes) {
    if (json.size() < 2 || json.front() != '"' || json.back() != '"') {
        return std::nullopt;
    }
    const std::string_view body = json.substr(1, json.size() - 2);
    std::string out;
    for (std::size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (static_cast<unsigned char>(c) < 0x20 || c == '"') {
            return std::nullopt;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i == body.size()) {
            return std::nullopt;
        }
        switch (body[i]) {
        case '"':
        case '\\':
        case '/':
            out += body[i];
            break;
        case 'b':
            out += '\b';
            break;
        case 'f':
            out += '\f';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'u': {
            const auto code = i + 4 < body.size() ? hexNumber(body.substr(i + 1, 4)) : std::nullopt;
            if (!code) {
                return std::nullopt;
            }
            i += 4;
            if (*code >= 0xDC80 && *code <= 0xDCFF) {
                out += static_cast<char>(*code & 0xFF);
                ++byteEscapes;
            } else if (*code >= 0xD800 && *code <= 0xDFFF) {
                return std::nullopt;
            } else {
                appendUtf8(out, *code);
            }
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return out;
}

/// The bytes a printed name stands for: "\xNN" is the byte NN and "\\" one backslash; no value
/// for any other backslash or a control character.
std::optional<std::string> decodePrintable(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (isControl(static_cast<unsigned char>(c))) {
            return std::nullopt;
        }
        if (c != '\\') {
            out += c;
        } else if (i + 1 < text.size() && text[i + 1] == '\\') {
            out += '\\';
            ++i;
        } else if (i + 3 < text.size() && text[i + 1] == 'x') {
            const auto byte = hexNumber(text.substr(i + 2, 2));
            if (!byte) {
                return std::nullopt;
            }
            out += static_cast<char>(*byte);
            i += 3;
        } else {
            return std::nullopt;
        }
    }
    return out;
}

void checkJson(std::string_view name) {
    const std::string json = JsonString(name);
    // A JSON text is UTF-8 throughout.
    FUZZ_CHECK(isValidUtf8(json));
    for (const char c : json) {
        FUZZ_CHECK(!isControl(static_cast<unsigned char>(c)));
    }
    std::size_t byteEscapes = 0;
    const std::optional<std::string> decoded = decodeJson(json, byteEscapes);
    FUZZ_CHECK(decoded.has_value());
    FUZZ_CHECK_EQ(*decoded, name);
    // Valid UTF-8 passes through as characters; only stray bytes become "\udcXX".
    if (isValidUtf8(name)) {
        FUZZ_CHECK_EQ(byteEscapes, 0u);
    } else {
        FUZZ_CHECK(byteEscapes > 0);
    }
}

void checkPrintable(std::string_view name) {
    const std::string printable = PrintableName(name);
    const std::optional<std::string> decoded = decodePrintable(printable);
    FUZZ_CHECK(decoded.has_value());
    FUZZ_CHECK_EQ(*decoded, name);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view name = fuzzcheck::asText(data, size);
    checkJson(name);
    checkPrintable(name);
    return 0;
}
