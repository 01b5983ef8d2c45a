#pragma once

#include <cstddef>
#include <string>
#include <vector>

/// One row of the detection list.
struct DetectionEntry {
    std::string name;        ///< threat name
    std::string location;    ///< full path of the file
    std::string size;        ///< file length in bytes, decimal
    std::string information; ///< advice text, or empty
    bool operator==(const DetectionEntry&) const = default;
};

/// Advice shown for a file listed by its checksum.
inline constexpr const char* kChecksumAdvice =
    "Send the file (s) to the forum Orvane or delete this file (s) if you believe a virus.";
/// Information shown for a file listed by a pattern and larger than the pattern entry's size.
inline constexpr const char* kInfectedFileInformation = "Infected File (s)";

/// The detection list: rows in the order they were listed, never sorted. Its size is the detection
/// count.
using DetectionList = std::vector<DetectionEntry>;
