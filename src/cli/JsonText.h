#pragma once

#include "scanner/PrintableName.h"

#include <string>
#include <string_view>

/// `text` as a JSON string literal, quotes included. Valid UTF-8 passes through; quotes,
/// backslashes and control characters are escaped; each byte that is not part of valid UTF-8 is
/// written as a lone low surrogate "\udcXX" (XX the byte), so file names that are not UTF-8 stay
/// recoverable byte for byte.
std::string JsonString(std::string_view text);
