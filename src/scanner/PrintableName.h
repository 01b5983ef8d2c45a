#pragma once

#include <string>
#include <string_view>

/// Whether a name may hold a backslash, which shown names then double. On Windows a backslash is
/// the separator and never part of a name, so shown paths keep it single.
#ifdef _WIN32
inline constexpr bool kBackslashInNames = false;
#else
inline constexpr bool kBackslashInNames = true;
#endif

/// Control characters of a file name written as "\xNN" and a backslash as "\\", so that one listed
/// file stays one line and every printed name stands for exactly one name. On Windows, where a
/// backslash only separates names, it is written as it is.
std::string PrintableName(std::string_view text);
