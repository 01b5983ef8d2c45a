#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class SignatureDatabase;

/// The engine's procedures: checksum lookup, the temporary database and file identification.
namespace KestoEngine {

/// Name of the database file, looked for in the program's folder.
inline constexpr std::string_view kDatabaseFileName = "Virus Database.dll";
/// Threat name of the checksum the user marked in the file inspector.
inline constexpr std::string_view kUserRequest = "User Request";

/// "<program folder>/Virus Database.dll".
std::string DefaultDatabasePath();

/// Whether the database exists as an ordinary file (the desktop program will not run without it).
bool DatabaseFilePresent(const std::string& path);

/// The threat name of `checksumText` in `database`, "User Request" when it equals the marked
/// checksum, or empty for a clean file. Throws DatabaseError when the database cannot answer.
/// `round` is the database's lookup round (SignatureDatabase::startRound), 0 for none; `version`,
/// when given, receives the version of the database that answered.
std::string LookupChecksum(const SignatureDatabase& database, std::string_view checksumText,
                           std::uint64_t round = 0, std::uint64_t* version = nullptr);

/// The one checksum marked in the file inspector; empty at start, kept until the program ends.
std::string TempDbChecksum();
void SetTempDbChecksum(std::string checksumText);

/// A short description of the file type from the last four characters of `name`.
std::string FileTypeName(std::string_view name);
/// FileTypeName as a view of text that lives as long as the program.
std::string_view FileTypeDescription(std::string_view name);

/// The first packer of the packer list whose marker the file contains, or "Unknown". Throws
/// std::system_error when the file cannot be read.
std::string DetectPacker(const std::string& path);
/// The same over the compiler list.
std::string DetectCompiler(const std::string& path);

} // namespace KestoEngine
