#pragma once

#include <string>
#include <string_view>

/// The core's strings are UTF-8; Windows names are UTF-16 that may hold unpaired surrogates.
/// Names cross between the two as WTF-8 (an unpaired surrogate is encoded as if it were a code
/// point), so every name that can exist on disk maps to bytes and back to the same name: such a
/// file is still opened and scanned, never skipped because its name did not convert.
namespace platform::windows {

/// WTF-8 (and so UTF-8) to UTF-16. A byte that is no part of a valid sequence becomes U+FFFD.
std::wstring widen(std::string_view text);

/// UTF-16 to WTF-8; an unpaired surrogate becomes its own three-byte sequence.
std::string narrow(std::wstring_view text);

/// The path for a Win32 call: made absolute and normalised ("/" becomes "\", "." and ".."
/// resolved), then given the "\\?\" prefix ("\\?\UNC\" for a share) that lifts the MAX_PATH
/// limit. A path already in the "\\?\" form is kept as it is. Empty when the path is empty or
/// cannot be made absolute.
std::wstring win32Path(const std::string& path);

/// Whether `path` names a device ("\\.\COM1", or "C:\dir\CON" that Windows maps to one) once it
/// is made absolute; such a name is never a disk file.
bool namesDevice(const std::string& path);

} // namespace platform::windows
