#pragma once

#include "platform/FolderHandle.h"

#include <string>
#include <string_view>
#include <vector>

/// The folder that holds the installed signature sets, opened and locked for one update or
/// rollback. Every step names its entries relative to the folder's descriptor without following
/// links. Each call returns why it failed, or empty.
class InstallRoot {
public:
    InstallRoot() = default;
    /// Lets go of the lock.
    ~InstallRoot();
    InstallRoot(const InstallRoot&) = delete;
    InstallRoot& operator=(const InstallRoot&) = delete;

    /// Opens the folder `path`, made 0755 when it is missing, refuses it when another user owns
    /// it or others may write to it, and waits for its lock ("update.lock"), which is held until
    /// this object goes.
    std::string open(const std::string& path);
    const platform::FolderHandle& folder() const { return m_folder; }

    /// Whether the folder `name` exists; a name that holds anything else fails.
    std::string folderExists(const std::string& name, bool& exists) const;
    /// Removes what a killed run left: every folder whose name starts with `prefix`. What cannot
    /// be removed is added to `warnings`.
    void removeStaleFolders(std::string_view prefix, std::vector<std::string>& warnings) const;
    /// Makes a new folder, readable by everyone and writable by this user only, named `prefix`
    /// and six random letters or digits, and opens it.
    std::string makeUniqueFolder(std::string_view prefix, std::string& name,
                                 platform::FolderHandle& opened) const;
    /// Removes the folder `name` and everything below it; links are removed, never followed.
    std::string removeFolder(const std::string& name) const;
    /// Swaps the entries `first` and `second` in one step.
    std::string exchange(const std::string& first, const std::string& second) const;
    /// Gives the entry `from` the name `to`, which must be free.
    std::string rename(const std::string& from, const std::string& to) const;
    /// Flushes the folder's entries to the disk.
    std::string sync() const;

private:
    platform::FolderHandle m_folder;
    std::string m_path;
    int m_lock = -1;
};

/// Flushes the entries of the open folder `folder` to the disk; the error, if any.
std::string SyncFolder(const platform::FolderHandle& folder, const std::string& path);
