#include "scanner/GlobMatch.h"

#include <cctype>
#include <cstddef>

namespace {

constexpr std::size_t kNone = std::string_view::npos;

bool inClass(std::string_view name, unsigned char c) {
    const int v = c;
    return (name == "alnum" && std::isalnum(v)) || (name == "alpha" && std::isalpha(v)) ||
           (name == "blank" && std::isblank(v)) || (name == "cntrl" && std::iscntrl(v)) ||
           (name == "digit" && std::isdigit(v)) || (name == "graph" && std::isgraph(v)) ||
           (name == "lower" && std::islower(v)) || (name == "print" && std::isprint(v)) ||
           (name == "punct" && std::ispunct(v)) || (name == "space" && std::isspace(v)) ||
           (name == "upper" && std::isupper(v)) || (name == "xdigit" && std::isxdigit(v));
}

/// Matches the set that opens at `glob[at]` ('[') against `c`. Returns the position after its
/// closing ']', or kNone when the set is not closed (the '[' is then a plain character).
std::size_t matchSet(std::string_view glob, std::size_t at, unsigned char c, bool& matched) {
    std::size_t i = at + 1;
    const bool negated = i < glob.size() && (glob[i] == '!' || glob[i] == '^');
    if (negated) {
        ++i;
    }
    bool found = false;
    for (bool first = true; i < glob.size(); first = false) {
        if (glob[i] == ']' && !first) {
            matched = found != negated;
            return i + 1;
        }
        if (glob.substr(i).starts_with("[:")) {
            const std::size_t close = glob.find(":]", i + 2);
            if (close == kNone) {
                return kNone;
            }
            found = found || inClass(glob.substr(i + 2, close - i - 2), c);
            i = close + 2;
            continue;
        }
        if (glob[i] == '\\' && i + 1 < glob.size()) {
            ++i;
        }
        const auto low = static_cast<unsigned char>(glob[i]);
        ++i;
        unsigned char high = low;
        if (i + 1 < glob.size() && glob[i] == '-' && glob[i + 1] != ']') {
            i += glob[i + 1] == '\\' && i + 2 < glob.size() ? 2 : 1;
            high = static_cast<unsigned char>(glob[i]);
            ++i;
        }
        found = found || (low <= c && c <= high);
    }
    return kNone;
}

/// Length of the UTF-8 sequence that starts at `text[at]`: its lead byte and the continuation
/// bytes after it.
std::size_t characterLength(std::string_view text, std::size_t at) {
    std::size_t end = at + 1;
    if (static_cast<unsigned char>(text[at]) >= 0xC0) {
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
            ++end;
        }
    }
    return end - at;
}

} // namespace

bool GlobMatches(std::string_view glob, std::string_view text, bool pathName) {
    std::size_t g = 0;
    std::size_t t = 0;
    // Where to go on when the text stops matching: the glob after the last '*', and the text
    // position that '*' has reached. Only the last '*' needs to be retried: everything before
    // it already matched as early as possible.
    std::size_t starGlob = kNone;
    std::size_t starText = 0;
    while (t < text.size()) {
        const bool separator = pathName && text[t] == '/';
        if (g < glob.size()) {
            const char c = glob[g];
            if (c == '*') {
                while (g < glob.size() && glob[g] == '*') {
                    ++g;
                }
                starGlob = g;
                starText = t;
                continue;
            }
            if (c == '?' && !separator) {
                ++g;
                t += characterLength(text, t);
                continue;
            }
            bool matched = false;
            const std::size_t afterSet =
                c == '[' ? matchSet(glob, g, static_cast<unsigned char>(text[t]), matched) : kNone;
            if (afterSet != kNone) {
                if (matched && !separator) {
                    g = afterSet;
                    ++t;
                    continue;
                }
            } else if (c != '?') {
                const bool quoted = c == '\\' && g + 1 < glob.size();
                if (glob[g + (quoted ? 1 : 0)] == text[t]) {
                    g += quoted ? 2 : 1;
                    ++t;
                    continue;
                }
            }
        }
        // A '*' never takes in a separator when names are matched one by one.
        if (starGlob == kNone || (pathName && text[starText] == '/')) {
            return false;
        }
        starText += characterLength(text, starText);
        g = starGlob;
        t = starText;
    }
    while (g < glob.size() && glob[g] == '*') {
        ++g;
    }
    return g == glob.size();
}
