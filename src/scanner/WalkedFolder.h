#pragma once

#include "platform/FolderHandle.h"

#include <memory>
#include <string>
#include <vector>

/// One folder a walk entered: its name in its parent folder and its identity then. The scan root
/// has no parent and holds its absolute path as its name. Chains are shared and never change, so
/// a listed file can be reached again, folder by folder, long after the walk moved on. Nodes are
/// made non-const (std::make_shared<WalkedFolder>) and shared as const, so that the destructor may
/// take its parent apart.
struct WalkedFolder {
    WalkedFolder(std::shared_ptr<const WalkedFolder> parent, std::string name, platform::FileId id)
        : parent(std::move(parent)), name(std::move(name)), id(id) {}
    /// Releases a long chain one link at a time, so that a tree of any depth never exhausts the
    /// stack.
    ~WalkedFolder();
    WalkedFolder(const WalkedFolder&) = delete;
    WalkedFolder& operator=(const WalkedFolder&) = delete;

    std::shared_ptr<const WalkedFolder> parent;
    std::string name;
    platform::FileId id;
};

/// True when two walks entered the same folders by the same names on the way to `a` and `b`.
bool SameFolder(const WalkedFolder& a, const WalkedFolder& b);

/// The folders from the scan root down to `folder`, root first.
std::vector<const WalkedFolder*> ChainFromRoot(const WalkedFolder& folder);

/// Opens `folder` again from the scan root, one name at a time without following links, and
/// checks that every folder on the way is still the one the walk entered; one that is not fails
/// with platform::FileError::Changed.
std::error_code ReopenFolder(const WalkedFolder& folder, platform::FolderHandle& handle);
