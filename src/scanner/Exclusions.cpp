#include "scanner/Exclusions.h"

#include <fnmatch.h>

void Exclusions::Globs::add(std::string_view glob) {
    while (glob.size() > 1 && glob.back() == '/') {
        glob.remove_suffix(1);
    }
    const bool anchored = glob.starts_with('/');
    if (anchored) {
        glob.remove_prefix(1);
    }
    if (anchored || glob.find('/') != std::string_view::npos) {
        paths.emplace_back(glob);
    } else {
        names.emplace_back(glob);
    }
}

bool Exclusions::Globs::matches(std::string_view relativeFolder, const std::string& name) const {
    for (const std::string& glob : names) {
        if (::fnmatch(glob.c_str(), name.c_str(), 0) == 0) {
            return true;
        }
    }
    if (paths.empty()) {
        return false;
    }
    const std::string path = std::string(relativeFolder) + name;
    for (const std::string& glob : paths) {
        if (::fnmatch(glob.c_str(), path.c_str(), FNM_PATHNAME) == 0) {
            return true;
        }
    }
    return false;
}

void Exclusions::addFileGlob(std::string_view glob) {
    m_files.add(glob);
}

void Exclusions::addFolderGlob(std::string_view glob) {
    m_folders.add(glob);
}
