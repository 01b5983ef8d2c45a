#pragma once

#include <string>
#include <string_view>

/// Control characters of a file name written as "\xNN" and a backslash as "\\", so that one listed
/// file stays one line and every printed name stands for exactly one name.
std::string PrintableName(std::string_view text);
