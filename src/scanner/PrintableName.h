#pragma once

#include <string>
#include <string_view>

/// Control characters of a file name written as "\xNN" and a backslash as "\\", so that one listed
/// file stays one line and every printed name stands for exactly one name. On Windows, where a
/// backslash only separates names, it is written as it is.
std::string PrintableName(std::string_view text);
