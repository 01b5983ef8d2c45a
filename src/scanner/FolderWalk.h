#pragma once

#include "platform/FolderListing.h"

#include <cstdint>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

/// One file met by the walk.
struct WalkedFile {
    std::string folder; ///< ends with a separator
    std::string name;
    std::uint64_t size = 0;
};

/// Depth-first walk of a folder tree in the scanner's order: a folder's subfolders are collected
/// before any of its files is handed out, all its files come before its first subfolder is walked,
/// and names come in byte order. Hidden entries are included; only regular files are handed out,
/// and symbolic links are never followed. The pending folders live on the heap, so any depth works.
/// The stop flag is tested at the start of each folder and before each file.
class FolderWalk {
public:
    using ErrorHandler = std::function<void(const std::string& folder, std::error_code)>;

    using StopRequested = std::function<bool()>;

    FolderWalk(const std::string& root, bool withSizes, StopRequested stopRequested,
               ErrorHandler onError);

    /// The next file; false at the end of the walk or when a stop was requested.
    bool next(WalkedFile& file);

private:
    bool openNextFolder();

    bool m_withSizes;
    StopRequested m_stopRequested;
    ErrorHandler m_onError;
    std::vector<std::string> m_pending; // folders still to walk; the next one at the back
    std::string m_folder;
    std::vector<platform::FolderEntry> m_entries;
    std::size_t m_position = 0;
};
