#include "scanner/FolderWalk.h"

#include "platform/ProgramFolder.h"

FolderWalk::FolderWalk(const std::string& root, bool withSizes, StopRequested stopRequested,
                       ErrorHandler onError)
    : m_withSizes(withSizes), m_stopRequested(std::move(stopRequested)),
      m_onError(std::move(onError)) {
    m_pending.push_back(root);
}

bool FolderWalk::openNextFolder() {
    // Subfolders of the folder just finished go on top, first one last, so that it is walked next.
    for (auto entry = m_entries.rbegin(); entry != m_entries.rend(); ++entry) {
        if (entry->kind == platform::FolderEntry::Kind::Folder) {
            m_pending.push_back(m_folder + entry->name);
        }
    }
    m_entries.clear();
    m_position = 0;
    while (!m_pending.empty()) {
        if (m_stopRequested()) {
            return false;
        }
        m_folder = std::move(m_pending.back());
        m_pending.pop_back();
        if (m_folder.empty() || m_folder.back() != platform::kPathSeparator) {
            m_folder += platform::kPathSeparator;
        }
        if (const auto ec = platform::listFolder(m_folder, m_withSizes, m_entries)) {
            m_entries.clear();
            if (m_onError) {
                m_onError(m_folder, ec);
            }
            continue;
        }
        return true;
    }
    return false;
}

bool FolderWalk::next(WalkedFile& file) {
    for (;;) {
        while (m_position < m_entries.size()) {
            const platform::FolderEntry& entry = m_entries[m_position++];
            if (entry.kind != platform::FolderEntry::Kind::RegularFile) {
                continue;
            }
            if (m_stopRequested()) {
                return false;
            }
            file.folder = m_folder;
            file.name = entry.name;
            file.size = entry.size;
            return true;
        }
        if (!openNextFolder()) {
            return false;
        }
    }
}
