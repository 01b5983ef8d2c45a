#pragma once

#include "platform/InputFile.h"
#include "scanner/WalkedFolder.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

/// One row of the detection list.
struct DetectionEntry {
    std::string name;        ///< threat name
    std::string location;    ///< full path of the file
    std::string size;        ///< file length in bytes, decimal
    std::string information; ///< advice text, or empty

    /// The file as it was checked, so that an action reaches exactly that file again: its folder
    /// chain from the scan root, its name there, and its stamp when it was read.
    std::shared_ptr<const WalkedFolder> folder{};
    std::string fileName{};
    platform::FileStamp stamp{};

    /// Rows compare by what the list shows.
    bool operator==(const DetectionEntry& other) const {
        return name == other.name && location == other.location && size == other.size &&
               information == other.information;
    }
};

/// Advice shown for a file listed by its checksum.
inline constexpr const char* kChecksumAdvice =
    "Send the file (s) to the forum Orvane or delete this file (s) if you believe a virus.";
/// Information shown for a file listed by a pattern and larger than the pattern entry's size.
inline constexpr const char* kInfectedFileInformation = "Infected File (s)";

/// The detection list: rows in the order they were listed, never sorted. Its size is the detection
/// count.
using DetectionList = std::vector<DetectionEntry>;
