#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

/// Writes `content` to `path`, creating missing parent folders; throws on failure.
void writeFile(const std::string& path, std::string_view content);

/// The whole content of the file at `path`; empty when it cannot be read.
std::string readFile(const std::string& path);

/// `size` bytes of deterministic noise that contains none of the built-in patterns.
std::string noise(std::size_t size, std::uint32_t seed = 1);

/// `size` deterministic bytes over the full range 0..255.
std::string randomBytes(std::size_t size, std::uint32_t seed = 1);

/// A database file from `lines`, each followed by `lineEnd`.
std::string databaseText(const std::vector<std::string>& lines, std::string_view lineEnd = "\r\n");

/// The 68-byte standard anti-malware test file.
std::string eicar();

/// CRC-32 as zlib computes it, the independent reference.
std::uint32_t zlibCrc32(std::string_view bytes);

#ifndef _WIN32
/// Creates a named pipe at `path`; throws on failure.
void makeFifo(const std::string& path);
#endif

} // namespace testsupport
