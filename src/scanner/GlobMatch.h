#pragma once

#include <string_view>

/// Whether `text` matches the shell glob `glob`, for systems whose C library has no fnmatch; it
/// gives the results of POSIX fnmatch with the flags 0 or FNM_PATHNAME in the "C" locale. `*`
/// matches any run of characters, `?` one character (one UTF-8 sequence), `[...]` one byte of a
/// set (`[!...]` or `[^...]` one byte not in it, ranges such as `a-z`, classes such as
/// `[:digit:]`), and `\` makes the next character plain. With `pathName` no wildcard or set
/// matches a '/', which only a '/' in the glob matches.
bool GlobMatches(std::string_view glob, std::string_view text, bool pathName);
