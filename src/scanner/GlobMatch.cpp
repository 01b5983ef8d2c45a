#include "scanner/GlobMatch.h"

#include "scanner/Utf8.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr std::size_t kNone = std::string_view::npos;

/// Bytes outside well-formed UTF-8 stand for themselves, above every code point.
constexpr char32_t kStrayByte = 0x110000;

/// One character of UTF-8 text: its value and its length in bytes.
using Character = Utf8Character;

/// The character that starts at `text[at]`: a well-formed UTF-8 sequence, else the single byte
/// as a stray byte.
Character decodeAt(std::string_view text, std::size_t at) {
    const Utf8Character character = Utf8CharacterAt(text, at);
    if (character.length == 0) {
        return {kStrayByte + static_cast<unsigned char>(text[at]), 1};
    }
    return character;
}

/// Whether `c` belongs to the class `name`; only ASCII characters belong to any.
bool inClass(std::string_view name, char32_t c) {
    if (c >= 0x80) {
        return false;
    }
    const int v = static_cast<int>(c);
    return (name == "alnum" && std::isalnum(v)) || (name == "alpha" && std::isalpha(v)) ||
           (name == "blank" && std::isblank(v)) || (name == "cntrl" && std::iscntrl(v)) ||
           (name == "digit" && std::isdigit(v)) || (name == "graph" && std::isgraph(v)) ||
           (name == "lower" && std::islower(v)) || (name == "print" && std::isprint(v)) ||
           (name == "punct" && std::ispunct(v)) || (name == "space" && std::isspace(v)) ||
           (name == "upper" && std::isupper(v)) || (name == "xdigit" && std::isxdigit(v));
}

} // namespace

/// Where each set of a glob would end, worked out once from the end of the glob backwards, so
/// that a long run of '[' that never closes costs no more than its length.
class GlobPattern::SetEnds {
public:
    SetEnds(std::string_view glob, std::size_t& steps) : m_glob(glob) {
        if (glob.find('[') == kNone) {
            return;
        }
        m_classClose.assign(glob.size() + 1, kNone);
        for (std::size_t i = glob.size(); i-- > 0;) {
            ++steps;
            m_classClose[i] = glob.substr(i).starts_with(":]") ? i : m_classClose[i + 1];
        }
        m_close.assign(glob.size() + 1, kNone);
        for (std::size_t i = glob.size(); i-- > 0;) {
            ++steps;
            if (glob[i] == ']') {
                m_close[i] = i;
            } else if (const std::size_t end = itemEnd(i); end != kNone) {
                m_close[i] = m_close[end];
            }
        }
    }

    /// The position after the member that starts at `i` (a character, an escaped character, a
    /// range, or a class); npos for a class that is never closed.
    std::size_t itemEnd(std::size_t i) const {
        if (m_glob.substr(i).starts_with("[:")) {
            const std::size_t close = m_classClose[std::min(i + 2, m_glob.size())];
            return close == kNone ? kNone : close + 2;
        }
        if (m_glob[i] == '\\' && i + 1 < m_glob.size()) {
            ++i;
        }
        i += decodeAt(m_glob, i).length;
        if (i + 1 < m_glob.size() && m_glob[i] == '-' && m_glob[i + 1] != ']') {
            i += m_glob[i + 1] == '\\' && i + 2 < m_glob.size() ? 2 : 1;
            i += decodeAt(m_glob, i).length;
        }
        return i;
    }

    /// The ']' that closes a set whose members start at `i`, the first of them at `i` itself
    /// (where a ']' is a member); npos when the set is not closed.
    std::size_t closeOf(std::size_t i) const {
        if (i >= m_glob.size()) {
            return kNone;
        }
        const std::size_t end = itemEnd(i);
        return end == kNone ? kNone : m_close[end];
    }

private:
    std::string_view m_glob;
    std::vector<std::size_t> m_classClose; ///< first ":]" at or after each position
    std::vector<std::size_t> m_close;      ///< the closing ']' for members from each position
};

GlobPattern::GlobPattern(std::string_view glob, bool pathName, std::size_t* steps)
    : m_pathName(pathName) {
    std::size_t work = 0;
    const SetEnds setEnds(glob, work);
    std::size_t g = 0;
    while (g < glob.size()) {
        ++work;
        const char c = glob[g];
        if (c == '*') {
            if (m_tokens.empty() || m_tokens.back().kind != Kind::Star) {
                m_tokens.push_back({Kind::Star});
            }
            ++g;
            continue;
        }
        if (c == '?') {
            m_tokens.push_back({Kind::AnyCharacter});
            ++g;
            continue;
        }
        if (c == '[') {
            const bool negated = g + 1 < glob.size() && (glob[g + 1] == '!' || glob[g + 1] == '^');
            const std::size_t members = g + (negated ? 2 : 1);
            if (const std::size_t close = setEnds.closeOf(members); close != kNone) {
                m_tokens.push_back(readSet(glob, members, close, setEnds, negated, work));
                g = close + 1;
                continue;
            }
            // A set that is never closed is a plain '['.
        }
        if (c == '\\' && g + 1 < glob.size()) {
            ++g;
        }
        const Character literal = decodeAt(glob, g);
        Token token{Kind::Literal};
        token.character = literal.value;
        m_tokens.push_back(token);
        g += literal.length;
    }
    if (steps != nullptr) {
        *steps += work;
    }
}

GlobPattern::Token GlobPattern::readSet(std::string_view glob, std::size_t begin, std::size_t close,
                                        const SetEnds& setEnds, bool negated, std::size_t& steps) {
    Token token{Kind::Set};
    token.negated = negated;
    token.first = static_cast<std::uint32_t>(m_members.size());
    for (std::size_t i = begin; i < close;) {
        ++steps;
        const std::size_t end = setEnds.itemEnd(i);
        if (glob.substr(i).starts_with("[:")) {
            m_members.push_back({0, 0, true, std::string(glob.substr(i + 2, end - i - 4))});
            i = end;
            continue;
        }
        if (glob[i] == '\\' && i + 1 < glob.size()) {
            ++i;
        }
        const Character low = decodeAt(glob, i);
        i += low.length;
        char32_t high = low.value;
        if (i < end) {
            i += glob[i + 1] == '\\' && i + 2 < glob.size() ? 2 : 1;
            high = decodeAt(glob, i).value;
        }
        m_members.push_back({low.value, high, false, {}});
        i = end;
    }
    token.count = static_cast<std::uint32_t>(m_members.size()) - token.first;
    return token;
}

bool GlobPattern::setMatches(const Token& token, char32_t character, std::size_t& steps) const {
    bool found = false;
    for (std::uint32_t i = token.first; i < token.first + token.count && !found; ++i) {
        ++steps;
        const Member& member = m_members[i];
        found = member.isClass ? inClass(member.className, character)
                               : member.low <= character && character <= member.high;
    }
    return found != token.negated;
}

bool GlobPattern::tokenMatches(const Token& token, char32_t character, std::size_t& steps) const {
    ++steps;
    const bool separator = m_pathName && character == '/';
    switch (token.kind) {
    case Kind::Literal:
        return token.character == character;
    case Kind::AnyCharacter:
        return !separator;
    case Kind::Set:
        return !separator && setMatches(token, character, steps);
    case Kind::Star:
        break;
    }
    return false;
}

bool GlobPattern::matches(std::string_view text, std::size_t* steps) const {
    std::size_t work = 0;
    std::size_t g = 0;
    std::size_t t = 0;
    // Where to go on when the text stops matching: the glob after the last '*', and the text
    // position that '*' has reached. Only the last '*' needs to be retried: everything before
    // it already matched as early as possible. When names are matched one by one, a '*' that
    // has reached a '/' can go no further, and no earlier '*' can help: every '/' of the text
    // is bound to its own '/' of the glob.
    std::size_t starGlob = kNone;
    std::size_t starText = 0;
    while (t < text.size()) {
        const Character character = decodeAt(text, t);
        if (g < m_tokens.size()) {
            const Token& token = m_tokens[g];
            if (token.kind == Kind::Star) {
                ++g;
                starGlob = g;
                starText = t;
                continue;
            }
            if (tokenMatches(token, character.value, work)) {
                ++g;
                t += character.length;
                continue;
            }
        }
        if (starGlob == kNone || (m_pathName && text[starText] == '/')) {
            g = kNone;
            break;
        }
        starText += decodeAt(text, starText).length;
        g = starGlob;
        t = starText;
    }
    if (steps != nullptr) {
        *steps += work;
    }
    if (g == kNone) {
        return false;
    }
    while (g < m_tokens.size() && m_tokens[g].kind == Kind::Star) {
        ++g;
    }
    return g == m_tokens.size();
}

bool GlobMatches(std::string_view glob, std::string_view text, bool pathName) {
    return GlobPattern(glob, pathName).matches(text);
}
