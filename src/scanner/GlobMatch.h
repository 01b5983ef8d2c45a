#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

/// A shell glob, read once and then matched against many names. Globs and names are UTF-8: `?`
/// matches one character, `[...]` one character of a set (`[!...]` or `[^...]` one character not
/// in it, ranges such as `a-z` or `à-ü` by code point, classes such as `[:digit:]` for ASCII),
/// `*` any run of characters, and `\` makes the next character plain. A byte that does not
/// belong to a well-formed UTF-8 sequence is a character of its own, equal only to the same byte.
/// With `pathName` no wildcard or set matches a '/', which only a '/' in the glob matches. A set
/// without its closing ']' is plain text, as is a lone '\' at the end. On ASCII globs and names
/// the answers are those of POSIX fnmatch in the "C" locale.
///
/// Matching takes at most about (length of the glob) × (characters of the name) steps, whatever
/// the glob: a '*' is retried only from the last '*' met, never by trying every combination.
class GlobPattern {
public:
    /// When `steps` is given, the work of reading the glob is added to it: one step per byte
    /// looked at (twice where the glob has sets) and per set member.
    explicit GlobPattern(std::string_view glob, bool pathName, std::size_t* steps = nullptr);

    /// Whether `text` matches. When `steps` is given, the work done is added to it: one step per
    /// glob item compared with a character, and per set member looked at.
    bool matches(std::string_view text, std::size_t* steps = nullptr) const;

private:
    class SetEnds;
    enum class Kind : std::uint8_t { Literal, AnyCharacter, Set, Star };
    struct Token {
        Kind kind;
        bool negated = false;    ///< a set's leading '!' or '^'
        char32_t character = 0;  ///< a literal's character
        std::uint32_t first = 0; ///< a set's members: m_members[first, first + count)
        std::uint32_t count = 0;
    };
    /// One member of a set: a range of characters (one character when low == high), or a class.
    struct Member {
        char32_t low = 0;
        char32_t high = 0;
        bool isClass = false;
        std::string className; ///< for `[:name:]`
    };

    bool tokenMatches(const Token& token, char32_t character, std::size_t& steps) const;
    bool setMatches(const Token& token, char32_t character, std::size_t& steps) const;
    /// The set whose members run from `glob[begin]` to its closing ']' at `glob[close]`.
    Token readSet(std::string_view glob, std::size_t begin, std::size_t close,
                  const SetEnds& setEnds, bool negated, std::size_t& steps);

    std::vector<Token> m_tokens;
    std::vector<Member> m_members;
    bool m_pathName;
};

/// Whether `text` matches the glob `glob` (see GlobPattern); for one-off matches.
bool GlobMatches(std::string_view glob, std::string_view text, bool pathName);
