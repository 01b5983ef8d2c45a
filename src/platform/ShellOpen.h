#pragma once

#include <string>

namespace platform {

/// Whether the system itself opens files and web addresses in the programs associated with them
/// (Windows: the shell). Elsewhere a desktop program found on the PATH opens them, and the two
/// functions below are neither defined nor called.
#ifdef _WIN32
inline constexpr bool kShellOpens = true;
#else
inline constexpr bool kShellOpens = false;
#endif

/// Opens the file at the absolute path `path` with the program its type is associated with, as
/// a double click would. False when it cannot: the path is relative or names a device, the file
/// is gone, or nothing is associated with it. The system shows no message of its own.
bool shellOpenFile(const std::string& path);

/// Opens the web address `address` ("http://" or "https://" only) in the default browser; false
/// for any other address or when no browser opens it.
bool shellOpenAddress(const std::string& address);

} // namespace platform
