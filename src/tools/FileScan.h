#pragma once

#include <functional>
#include <string>

class SignatureDatabase;

/// The engine's check of one file chosen in a tool window.
namespace FileScan {

struct Report {
    std::string checksum; ///< checksum text; "0" when none could be made
    std::string type;     ///< the file's type, or empty when it could not be told
    std::string threat;   ///< threat name when the engine lists the file
    std::string problem;  ///< why the file could not be read or looked up; empty when it was
};

/// Runs the per-file check on `path` (reached through its folder without following a link in
/// its last name) and the inspector's checksum and type.
Report ScanFile(const std::string& path, const SignatureDatabase& database,
                const std::string& quarantineFolder);

/// Checks one file by its path.
using Checker = std::function<Report(const std::string& path)>;
/// A checker with the database beside the program and the user's quarantine folder; the
/// database is read at the first check.
Checker DefaultChecker();

/// The lines a window shows for a report.
std::string ReportText(const std::string& path, const Report& report);

/// The result line: "Listed: NAME", "Not checked: WHY" or "Not listed".
std::string ResultText(const Report& report);

} // namespace FileScan
