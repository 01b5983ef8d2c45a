#pragma once

#include <cstddef>
#include <string_view>

/// One character of UTF-8 text: its code point and its length in bytes.
struct Utf8Character {
    char32_t value = 0;
    std::size_t length = 0; ///< 0 when no well-formed character starts there
};

/// The well-formed UTF-8 character that starts at `text[at]` (no overlong form, no surrogate,
/// nothing above U+10FFFF, all its bytes within `text`); length 0 when none does: a stray
/// continuation byte, a lead byte without its continuation bytes, or a byte no UTF-8 holds.
Utf8Character Utf8CharacterAt(std::string_view text, std::size_t at);
