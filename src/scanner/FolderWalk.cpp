#include "scanner/FolderWalk.h"

#include "platform/ProgramFolder.h"

#include <utility>

namespace {

// Folders of the current branch that keep their descriptors; those further up are closed and
// opened again when the walk comes back to them.
constexpr std::size_t kOpenFolders = 64;

} // namespace

FolderWalk::FolderWalk(const std::string& root, bool withSizes, StopRequested stopRequested,
                       ErrorHandler onError, BeforeFolder beforeFolder,
                       const Exclusions* exclusions)
    : m_root(root), m_withSizes(withSizes), m_stopRequested(std::move(stopRequested)),
      m_onError(std::move(onError)), m_beforeFolder(std::move(beforeFolder)),
      m_exclusions(exclusions != nullptr && !exclusions->empty() ? exclusions : nullptr) {}

void FolderWalk::report(const std::string& folder, std::error_code ec) const {
    if (m_onError) {
        m_onError(folder, ec);
    }
}

bool FolderWalk::passesOver(std::string_view relativeFolder, const std::string& name) const {
    if (m_passOver.empty()) {
        return false;
    }
    for (const std::string& path : m_passOver) {
        if (path.size() == relativeFolder.size() + name.size() &&
            path.starts_with(relativeFolder) && path.ends_with(name)) {
            return true;
        }
    }
    return false;
}

bool FolderWalk::enter(const std::string& path, std::shared_ptr<const WalkedFolder> node,
                       platform::FolderHandle handle) {
    const bool reused = m_listings && !m_withSizes && m_listingsRole == ListingsRole::Reuse &&
                        m_listings->take(handle, m_entries);
    if (!reused) {
        if (const auto ec = handle.list(m_withSizes, m_entries)) {
            m_entries.clear();
            report(path, ec);
            return false;
        }
    }
    Frame frame;
    frame.node = node;
    frame.pathLength = path.size();
    const std::string_view relative = std::string_view(path).substr(m_rootLength);
    for (const platform::FolderEntry& entry : m_entries) {
        if (entry.kind == platform::FolderEntry::Kind::Folder &&
            !(m_exclusions && m_exclusions->excludesFolder(relative, entry.name)) &&
            !passesOver(relative, entry.name)) {
            frame.subfolders.push_back(entry.name);
        }
    }
    auto shared = std::make_shared<const platform::FolderHandle>(std::move(handle));
    frame.handle = shared;
    m_frames.push_back(std::move(frame));
    if (m_frames.size() > kOpenFolders) {
        m_frames[m_frames.size() - 1 - kOpenFolders].handle.reset();
    }
    m_path = path;
    m_filesFolder = path;
    m_filesNode = std::move(node);
    m_filesHandle = std::move(shared);
    m_position = 0;
    return true;
}

bool FolderWalk::openRoot() {
    m_started = true;
    if (m_stopRequested()) {
        return false;
    }
    std::string path = m_root;
    if (path.empty() || path.back() != platform::kPathSeparator) {
        path += platform::kPathSeparator;
    }
    platform::FolderHandle handle;
    if (const auto ec = handle.openPath(m_root)) {
        report(path, ec);
        return false;
    }
    m_rootLength = path.size();
    auto node = std::make_shared<WalkedFolder>(nullptr, m_root, handle.id());
    return enter(path, std::move(node), std::move(handle));
}

void FolderWalk::leaveTop() {
    const Frame left = std::move(m_frames.back());
    m_frames.pop_back();
    if (m_frames.empty()) {
        return;
    }
    Frame& parent = m_frames.back();
    m_path.resize(parent.pathLength);
    // Coming back to a folder whose descriptor was closed: its child's ".." is the folder itself
    // as long as it still is the one entered, which costs one open instead of a walk from the top.
    if (!parent.handle && left.handle) {
        platform::FolderHandle up;
        if (!up.openParentOf(*left.handle) && up.id() == parent.node->id) {
            parent.handle = std::make_shared<const platform::FolderHandle>(std::move(up));
        }
    }
}

bool FolderWalk::reopenTop() {
    Frame& top = m_frames.back();
    platform::FolderHandle handle;
    if (const auto ec = ReopenFolder(*top.node, handle)) {
        // Its remaining subfolders cannot be reached safely any more.
        top.nextSubfolder = top.subfolders.size();
        report(m_path, ec);
        return false;
    }
    top.handle = std::make_shared<const platform::FolderHandle>(std::move(handle));
    return true;
}

bool FolderWalk::enterNextFolder() {
    while (!m_frames.empty()) {
        Frame& top = m_frames.back();
        if (top.nextSubfolder == top.subfolders.size()) {
            leaveTop();
            continue;
        }
        if (m_stopRequested()) {
            return false;
        }
        const std::string name = top.subfolders[top.nextSubfolder++];
        if (!top.handle && !reopenTop()) {
            continue;
        }
        const std::string path = m_path + name + platform::kPathSeparator;
        if (m_beforeFolder) {
            m_beforeFolder(path);
        }
        const Frame& parent = m_frames.back();
        platform::FolderHandle handle;
        if (const auto ec = handle.openChild(*parent.handle, name)) {
            report(path, ec);
            continue;
        }
        auto node = std::make_shared<WalkedFolder>(parent.node, name, handle.id());
        if (enter(path, std::move(node), std::move(handle))) {
            return true;
        }
    }
    return false;
}

bool FolderWalk::next(WalkedFile& file) {
    for (;;) {
        while (m_position < m_entries.size()) {
            const platform::FolderEntry& entry = m_entries[m_position++];
            const std::string_view relative = std::string_view(m_filesFolder).substr(m_rootLength);
            if (entry.kind != platform::FolderEntry::Kind::RegularFile ||
                (m_exclusions && m_exclusions->excludesFile(relative, entry.name)) ||
                passesOver(relative, entry.name)) {
                continue;
            }
            if (m_stopRequested()) {
                return false;
            }
            file.folder = m_filesFolder;
            file.name = entry.name;
            file.size = entry.size;
            file.listedId = entry.id;
            file.node = m_filesNode;
            file.handle = m_filesHandle;
            return true;
        }
        // The folder whose files were handed out is done with; its listing may serve the next walk.
        const auto done = std::exchange(m_filesHandle, nullptr);
        if (done && m_listings && !m_withSizes && m_listingsRole == ListingsRole::Keep) {
            m_listings->keep(*done, std::move(m_entries));
        }
        m_entries.clear();
        m_position = 0;
        if (!(m_started ? enterNextFolder() : openRoot())) {
            return false;
        }
    }
}
