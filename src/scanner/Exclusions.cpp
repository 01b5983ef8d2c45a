#include "scanner/Exclusions.h"

#include <algorithm>

namespace {

#ifdef _WIN32

// Windows paths use '\\' and Windows accepts '/' as well, so a glob may be written with either:
// globs and paths are matched with every '\\' turned into '/'. A '\\' therefore never quotes the
// next character of a glob here; a set such as "[*]" does that instead.
std::string withSlashes(std::string_view text) {
    std::string slashed(text);
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    return slashed;
}

#else

std::string_view withSlashes(std::string_view text) {
    return text;
}

#endif

} // namespace

void Exclusions::Globs::add(std::string_view given) {
    const auto slashed = withSlashes(given);
    std::string_view glob = slashed;
    while (glob.size() > 1 && glob.back() == '/') {
        glob.remove_suffix(1);
    }
    const bool anchored = glob.starts_with('/');
    if (anchored) {
        glob.remove_prefix(1);
    }
    if (anchored || glob.find('/') != std::string_view::npos) {
        paths.emplace_back(glob, true);
    } else {
        names.emplace_back(glob, false);
    }
}

bool Exclusions::Globs::matches(std::string_view relativeFolder, const std::string& name) const {
    for (const GlobPattern& glob : names) {
        if (glob.matches(withSlashes(name))) {
            return true;
        }
    }
    if (paths.empty()) {
        return false;
    }
    const std::string path(withSlashes(std::string(relativeFolder) + name));
    for (const GlobPattern& glob : paths) {
        if (glob.matches(path)) {
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
