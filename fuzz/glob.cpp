// Fuzzes the glob matcher of --exclude and --exclude-dir. The input is a flags byte (bit 0: names
// are matched one by one, so nothing but a '/' matches a '/'), then the glob, a NUL and the name.
// Every answer must agree with a plain memoised recursion over the glob text, and the work must
// stay within a small multiple of glob × name whatever the glob.
#include "FuzzCheck.h"
#include "scanner/GlobMatch.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t kMaxPart = 1024;
constexpr char32_t kStray = 0x110000;

/// One UTF-8 character at `text[at]`: its value (a stray byte above every code point) and length.
std::pair<char32_t, std::size_t> decode(std::string_view text, std::size_t at) {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = b(at);
    if (lead < 0x80) {
        return {lead, 1};
    }
    struct Form {
        unsigned char leadLow, leadHigh, secondLow, secondHigh;
        std::size_t length;
    };
    // The table of well-formed sequences.
    static constexpr Form kForms[] = {
        {0xC2, 0xDF, 0x80, 0xBF, 2}, {0xE0, 0xE0, 0xA0, 0xBF, 3}, {0xE1, 0xEC, 0x80, 0xBF, 3},
        {0xED, 0xED, 0x80, 0x9F, 3}, {0xEE, 0xEF, 0x80, 0xBF, 3}, {0xF0, 0xF0, 0x90, 0xBF, 4},
        {0xF1, 0xF3, 0x80, 0xBF, 4}, {0xF4, 0xF4, 0x80, 0x8F, 4},
    };
    for (const Form& form : kForms) {
        if (lead < form.leadLow || lead > form.leadHigh || at + form.length > text.size()) {
            continue;
        }
        char32_t value = lead & (0xFFu >> (form.length + 1));
        bool ok = true;
        for (std::size_t i = 1; i < form.length && ok; ++i) {
            const unsigned char low = i == 1 ? form.secondLow : 0x80;
            const unsigned char high = i == 1 ? form.secondHigh : 0xBF;
            ok = b(at + i) >= low && b(at + i) <= high;
            value = value << 6 | (b(at + i) & 0x3Fu);
        }
        if (ok) {
            return {value, form.length};
        }
    }
    return {kStray + lead, 1};
}

bool inClass(std::string_view name, char32_t c) {
    if (c >= 0x80) {
        return false;
    }
    const int v = static_cast<int>(c);
    if (name == "alnum") {
        return std::isalnum(v) != 0;
    }
    if (name == "alpha") {
        return std::isalpha(v) != 0;
    }
    if (name == "blank") {
        return v == ' ' || v == '\t';
    }
    if (name == "cntrl") {
        return v < 0x20 || v == 0x7F;
    }
    if (name == "digit") {
        return v >= '0' && v <= '9';
    }
    if (name == "graph") {
        return v > 0x20 && v < 0x7F;
    }
    if (name == "lower") {
        return v >= 'a' && v <= 'z';
    }
    if (name == "print") {
        return v >= 0x20 && v < 0x7F;
    }
    if (name == "punct") {
        return v > 0x20 && v < 0x7F && std::isalnum(v) == 0;
    }
    if (name == "space") {
        return v == ' ' || (v >= '\t' && v <= '\r');
    }
    if (name == "upper") {
        return v >= 'A' && v <= 'Z';
    }
    return name == "xdigit" && std::isxdigit(v) != 0;
}

struct Model {
    std::string_view glob;
    std::string_view text;
    bool pathName;
    std::vector<signed char> memo;

    /// The set that opens at glob[g] tested against `c`: the position after it and the answer,
    /// or none when the set is never closed.
    std::optional<std::pair<std::size_t, bool>> set(std::size_t g, char32_t c) const {
        std::size_t i = g + 1;
        const bool negated = i < glob.size() && (glob[i] == '!' || glob[i] == '^');
        i += negated ? 1 : 0;
        bool found = false;
        for (bool first = true; i < glob.size(); first = false) {
            if (glob[i] == ']' && !first) {
                return std::make_pair(i + 1, found != negated);
            }
            if (glob.substr(i, 2) == "[:") {
                const std::size_t close = glob.find(":]", i + 2);
                if (close == std::string_view::npos) {
                    return std::nullopt;
                }
                found = found || inClass(glob.substr(i + 2, close - i - 2), c);
                i = close + 2;
                continue;
            }
            i += glob[i] == '\\' && i + 1 < glob.size() ? 1 : 0;
            const auto [low, lowLength] = decode(glob, i);
            i += lowLength;
            char32_t high = low;
            if (i + 1 < glob.size() && glob[i] == '-' && glob[i + 1] != ']') {
                i += glob[i + 1] == '\\' && i + 2 < glob.size() ? 2 : 1;
                const auto [end, endLength] = decode(glob, i);
                high = end;
                i += endLength;
            }
            found = found || (low <= c && c <= high);
        }
        return std::nullopt;
    }

    bool match(std::size_t g, std::size_t t) {
        signed char& known = memo[g * (text.size() + 1) + t];
        if (known < 0) {
            known = compute(g, t) ? 1 : 0;
        }
        return known == 1;
    }

    bool compute(std::size_t g, std::size_t t) {
        if (g == glob.size()) {
            return t == text.size();
        }
        const bool atEnd = t == text.size();
        const auto [c, length] = atEnd ? std::pair<char32_t, std::size_t>{0, 0} : decode(text, t);
        const bool separator = pathName && !atEnd && c == '/';
        if (glob[g] == '*') {
            return match(g + 1, t) || (!atEnd && !separator && match(g, t + length));
        }
        if (glob[g] == '?') {
            return !atEnd && !separator && match(g + 1, t + length);
        }
        if (glob[g] == '[') {
            // A set's end does not depend on the character it is tested against.
            if (const auto closed = set(g, atEnd ? 0 : c)) {
                return !atEnd && !separator && closed->second && match(closed->first, t + length);
            }
        }
        const std::size_t at = glob[g] == '\\' && g + 1 < glob.size() ? g + 1 : g;
        const auto [literal, literalLength] = decode(glob, at);
        return !atEnd && literal == c && match(at + literalLength, t + length);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const bool pathName = (data[0] & 1) != 0;
    const std::string_view rest = fuzzcheck::asText(data + 1, size - 1);
    const std::size_t split = rest.find('\0');
    const std::string_view glob = rest.substr(0, split);
    std::string_view text = split == std::string_view::npos ? "" : rest.substr(split + 1);
    text = text.substr(0, text.find('\0'));
    if (glob.size() > kMaxPart || text.size() > kMaxPart) {
        return 0;
    }

    std::size_t steps = 0;
    const GlobPattern pattern(glob, pathName, &steps);
    const bool matched = pattern.matches(text, &steps);
    Model model{glob, text, pathName,
                std::vector<signed char>((glob.size() + 1) * (text.size() + 1), -1)};
    FUZZ_CHECK_EQ(matched, model.match(0, 0));
    FUZZ_CHECK(steps <= 3 * (glob.size() + 2) * (text.size() + 2));
    return 0;
}
