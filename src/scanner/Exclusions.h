#pragma once

#include "scanner/GlobMatch.h"

#include <string>
#include <string_view>
#include <vector>

/// Files and folders a scan passes over, by glob (`*`, `?`, `[...]`, matched as GlobPattern does
/// on every system). A glob without "/" is matched against the name alone; a glob with "/"
/// against the path below the scanned folder ("cache/*.tmp"), where `*`, `?` and sets never match
/// a "/". A leading "/" anchors the glob at the scanned folder, and a final "/" is ignored. On
/// Windows "\" serves as "/" does, in globs and in paths alike.
class Exclusions {
public:
    void addFileGlob(std::string_view glob);
    void addFolderGlob(std::string_view glob);
    bool empty() const { return m_files.empty() && m_folders.empty(); }

    /// `relativeFolder` is the path of the entry's folder below the scanned folder: empty for
    /// the scanned folder itself, else ending with "/".
    bool excludesFile(std::string_view relativeFolder, const std::string& name) const {
        return !m_files.empty() && m_files.matches(relativeFolder, name);
    }
    bool excludesFolder(std::string_view relativeFolder, const std::string& name) const {
        return !m_folders.empty() && m_folders.matches(relativeFolder, name);
    }

private:
    struct Globs {
        std::vector<GlobPattern> names;
        std::vector<GlobPattern> paths;
        bool empty() const { return names.empty() && paths.empty(); }
        void add(std::string_view glob);
        bool matches(std::string_view relativeFolder, const std::string& name) const;
    };

    Globs m_files;
    Globs m_folders;
};
