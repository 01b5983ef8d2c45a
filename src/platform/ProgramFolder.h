#pragma once

#include <string>

namespace platform {

/// Folder that holds the running executable, without a trailing separator.
std::string programFolder();

/// The native path separator.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

} // namespace platform
