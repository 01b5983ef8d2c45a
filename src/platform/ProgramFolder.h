#pragma once

#include <string>

namespace platform {

/// Folder that holds the running executable, without a trailing separator.
std::string programFolder();

/// The native path separator.
inline constexpr char kPathSeparator = '/';

} // namespace platform
