#pragma once

#include <optional>
#include <string>

namespace platform {

/// Full path of the program `name` in the folders of a PATH-style list (":" between folders on
/// Linux, ";" on Windows), first folder first; only an executable regular file counts (on Windows,
/// which has no execute bit, any regular file). Empty entries (the current folder) are never
/// searched, nor is a name with a separator.
std::optional<std::string> findProgram(const std::string& name, const std::string& searchPath);

/// The PATH of this process (empty when unset).
std::string searchPath();

/// Whether `path` is an existing folder.
bool isFolder(const std::string& path);

/// Whether `path` is an existing regular file.
bool isRegularFile(const std::string& path);

} // namespace platform
