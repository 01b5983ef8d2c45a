#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// One file of a signature set as the manifest lists it.
struct ManifestFile {
    std::string name;
    std::uint64_t size = 0;
    std::string sha256; ///< 64 lowercase hexadecimal digits
};

/// The manifest of a signature set: its version (newer sets have larger numbers), date and files.
struct UpdateManifest {
    std::uint64_t version = 0;
    std::string date; ///< YYYY-MM-DD
    std::vector<ManifestFile> files;
};

/// The name of the manifest in a set, and of its signature.
inline constexpr const char* kManifestName = "manifest.json";
inline constexpr const char* kManifestSignatureName = "manifest.json.minisig";

/// The largest manifest text read.
inline constexpr std::uint64_t kManifestLimit = 4ull << 20;
/// The largest signature file read.
inline constexpr std::uint64_t kManifestSignatureLimit = 16384;

/// Reads a manifest; none, with `error` saying why, for one that is not JSON, has another format
/// than 1, misses a field or gives it the wrong type, has version 0, names a file that could
/// leave the set's folder or is not a signature file, or lists more or larger files than a set
/// may hold.
std::optional<UpdateManifest> ParseUpdateManifest(std::string_view text, std::string& error);
