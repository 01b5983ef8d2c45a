#pragma once

#include <string>
#include <string_view>

/// A file name or path as a window shows it: one line of visible text that stands for exactly
/// one name. It writes what `PrintableName` writes (control characters as "\xNN", a backslash
/// as "\\" where names may hold one), and beyond that every byte that is not part of valid UTF-8
/// as "\xNN", and the characters that are invisible or change the direction or the lines of the
/// text around them (format characters such as U+202E or U+200B, the line and paragraph
/// separators, the C1 controls) as "\uXXXX" ("\UXXXXXXXX" above U+FFFF). Every other character
/// is kept as it is.
std::string DisplayName(std::string_view text);
