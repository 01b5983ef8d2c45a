#pragma once

#include <cstdint>
#include <string>
#include <system_error>

/// The texts and rules of the file encryption window.
namespace FileEncryption {

inline constexpr char kTitle[] = "Kesto -> Encrypt File";
inline constexpr char kExample[] = "Path (Example : F:\\Antivirus.doc)";
inline constexpr char kSuccess[] = "Success";
inline constexpr char kFailed[] = "Failed";
/// Files at least this big show a progress bar while they are rewritten.
inline constexpr std::uint64_t kProgressFrom = 8 * 1024 * 1024;

/// Whether rewriting the file at `path` shows a progress bar: the entry at the path itself (a link
/// is not followed) holds at least kProgressFrom bytes.
bool ShowsProgress(const std::string& path);

/// The path typed in a box without the blanks around it (blanks only; tabs stay).
std::string TrimBlanks(const std::string& text);

/// The progress bar's value, 0 to 100.
int Percent(std::uint64_t done, std::uint64_t total);
/// The progress bar's text for a value: "42 %".
std::string PercentText(int percent);

/// Why encrypting or decrypting failed, in words for the user: a refused key or key folder is
/// named with the command that makes it private, a key folder that cannot be made is named.
std::string FailureReason(const std::error_code& error, const std::string& keyFolder);

/// The window's message for a failure: "Failed" and, on the next line, the reason.
std::string FailedMessage(const std::error_code& error, const std::string& keyFolder);

} // namespace FileEncryption
