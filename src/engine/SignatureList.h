#pragma once

#include <string>
#include <vector>

/// Every threat name the scanner can report, numbered: the database's names, then the built-in
/// virus pattern names.
struct SignatureList {
    std::vector<std::string> items; ///< "1. name", "2. name", ...
    std::string totalLine;          ///< "Total Signatures : N"
    /// Why the database part may be incomplete or the database unusable; empty when it is sound.
    std::string problem;
};

/// Reads the database line by line: each line gives the text after its first colon (the whole line
/// when it has none) until a line whose name is "Selesai". A database without such a line is listed
/// to its end, and a missing or too large one contributes nothing; these, and the first line
/// without a colon, are reported in `problem`.
SignatureList BuildSignatureList(const std::string& databasePath);
