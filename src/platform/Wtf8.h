#pragma once

#include <string>
#include <string_view>

/// WTF-8: UTF-8 that also encodes unpaired UTF-16 surrogates as if they were code points. Names
/// that may hold unpaired surrogates (as Windows names may) map to bytes and back to the same
/// UTF-16, so no name is lost in the core's UTF-8 strings.
namespace platform {

/// WTF-8 (and so UTF-8) to UTF-16. A byte that is no part of a valid sequence becomes U+FFFD;
/// overlong forms and values beyond U+10FFFF are not valid.
std::u16string wtf8ToUtf16(std::string_view text);

/// UTF-16 to WTF-8; an unpaired surrogate becomes its own three-byte sequence, so
/// wtf8ToUtf16(utf16ToWtf8(units)) == units for all units.
std::string utf16ToWtf8(std::u16string_view units);

} // namespace platform
