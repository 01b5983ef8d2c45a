#pragma once

#include "platform/FolderHandle.h"
#include "scanner/Exclusions.h"
#include "scanner/FolderListings.h"
#include "scanner/WalkedFolder.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

/// One file met by the walk.
struct WalkedFile {
    std::string folder; ///< full path of its folder, ending with a separator
    std::string name;
    std::uint64_t size = 0;                   ///< its length, when the walk was asked for sizes
    std::shared_ptr<const WalkedFolder> node; ///< its folder's identity chain
    std::shared_ptr<const platform::FolderHandle> handle; ///< its folder, open
    /// Its number in its folder's listing (platform::FolderEntry::id).
    std::uint64_t listedId = 0;
    /// The database lookup round of its folder (SignatureDatabase::startRound); 0 when the
    /// database is looked at for this file alone.
    std::uint64_t databaseRound = 0;
};

/// Depth-first walk of a folder tree in the scanner's order: a folder's subfolders are collected
/// before any of its files is handed out, all its files come before its first subfolder is walked,
/// and names come in byte order. Hidden entries are included; only regular files are handed out,
/// and symbolic links are never followed. Every folder is opened relative to its parent's
/// descriptor by its name, so a folder swapped for a link is never entered and no path is too
/// long; only the nearest folders stay open, so any depth works within the descriptor limit. The
/// stop flag is tested at the start of each folder and before each file. Excluded files are
/// never handed out and excluded folders never entered.
class FolderWalk {
public:
    using ErrorHandler = std::function<void(const std::string& folder, std::error_code)>;
    using StopRequested = std::function<bool()>;
    /// Called with a folder's full path just before it is opened (a seam for tests).
    using BeforeFolder = std::function<void(const std::string& folder)>;

    FolderWalk(const std::string& root, bool withSizes, StopRequested stopRequested,
               ErrorHandler onError, BeforeFolder beforeFolder = {},
               const Exclusions* exclusions = nullptr);
    FolderWalk(const FolderWalk&) = delete;
    FolderWalk& operator=(const FolderWalk&) = delete;

    /// The next file; false at the end of the walk or when a stop was requested.
    bool next(WalkedFile& file);

    /// Passes over the folders and files at these paths below the root ("sub/deeper", "sub/f.com",
    /// with the system's separator), scanned already as targets of their own (before the first
    /// `next`).
    void passOver(std::vector<std::string> relativePaths) { m_passOver = std::move(relativePaths); }

    /// What a walk does with `FolderListings` shared with another walk of the same scan.
    enum class ListingsRole {
        Keep,  ///< keeps the listing of each folder it is done with there
        Reuse, ///< takes a folder's listing from there where it is still valid
    };
    /// Shares `listings` with this walk (before the first `next`); a walk that asks for sizes
    /// neither keeps nor reuses listings, whose sizes would be old.
    void shareListings(FolderListings& listings, ListingsRole role) {
        m_listings = &listings;
        m_listingsRole = role;
    }

private:
    struct Frame {
        std::shared_ptr<const WalkedFolder> node;
        std::shared_ptr<const platform::FolderHandle>
            handle; ///< empty once closed to save descriptors
        std::vector<std::string> subfolders;
        std::size_t nextSubfolder = 0;
        std::size_t pathLength = 0; ///< length of the folder's path, final separator included
    };

    bool openRoot();
    bool enterNextFolder();
    /// Lists the folder at `path` (ending with a separator), opened as `handle`, and makes it the
    /// deepest entered folder; false when it cannot be listed.
    bool enter(const std::string& path, std::shared_ptr<const WalkedFolder> node,
               platform::FolderHandle handle);
    void leaveTop();
    bool reopenTop();
    void report(const std::string& folder, std::error_code ec) const;
    bool passesOver(std::string_view relativeFolder, const std::string& name) const;

    std::string m_root;
    bool m_withSizes;
    StopRequested m_stopRequested;
    ErrorHandler m_onError;
    BeforeFolder m_beforeFolder;
    const Exclusions* m_exclusions; // null when nothing is excluded
    std::vector<std::string> m_passOver;
    FolderListings* m_listings = nullptr;
    ListingsRole m_listingsRole = ListingsRole::Keep;
    std::size_t m_rootLength = 0; // length of the root's path, final separator included
    bool m_started = false;
    std::vector<Frame> m_frames;
    std::string m_path; // the deepest entered folder's path, ending with a separator
    std::vector<platform::FolderEntry> m_entries; // of the folder whose files are handed out
    std::size_t m_position = 0;
    std::string m_filesFolder;
    std::shared_ptr<const WalkedFolder> m_filesNode;
    std::shared_ptr<const platform::FolderHandle> m_filesHandle;
};
