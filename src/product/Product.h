#pragma once

#include <array>
#include <string_view>

/// What the program says about itself: its name, version, authors and web site. Every layer may
/// use these; nothing here depends on anything else.
namespace Product {

inline constexpr std::string_view kName = "Kesto Virus Scanner";
/// The version as the build sets it (the project's version).
inline constexpr std::string_view kVersion = KESTO_VERSION;
inline constexpr std::string_view kCodeName = "Zedodu";
inline constexpr std::string_view kReleaseDate = "14 August 2010";
inline constexpr std::string_view kWebSite = "https://kesto-scanner.example.org";

inline constexpr std::string_view kAuthor = "Kesto Team";
inline constexpr std::string_view kEmail = "team@kesto-scanner.example.org";
inline constexpr std::string_view kRightsLine = "Copyright (c) 2010 Kesto Team";

/// The About window's version table: caption and value per row.
struct VersionRow {
    std::string_view caption;
    std::string_view value;
};
inline constexpr std::array<VersionRow, 6> kVersionTable = {{
    {"Version", "1.1.0"},
    {"Build", "2"},
    {"Update Version", "1.1"},
    {"Engine Version", "1.0.0"},
    {"Code Name Version", "Zedodu"},
    {"Engine Code Name", "Zedodu Engine"},
}};

} // namespace Product
