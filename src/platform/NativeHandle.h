#pragma once

namespace platform {

/// What the system opens files and folders as: a descriptor on Linux, a HANDLE on Windows.
#ifdef _WIN32
using NativeHandle = void*;
inline constexpr NativeHandle kNoHandle = nullptr;
#else
using NativeHandle = int;
inline constexpr NativeHandle kNoHandle = -1;
#endif

} // namespace platform
