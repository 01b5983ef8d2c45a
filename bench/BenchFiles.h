#pragma once

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string_view>

/// Writes generated benchmark data; throws when the file cannot be written whole.
inline void writeFile(const std::filesystem::path& path, std::string_view content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}
