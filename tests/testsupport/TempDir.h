#pragma once

#include <string>
#include <string_view>

namespace testsupport {

/// A fresh folder under the system's temporary folder, removed with everything in it (read-only
/// files and folders included) when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    /// `path()` + the native separator + `relative`; on Windows every '/' in `relative` becomes
    /// '\\' too, so that tests name nested files the same way on every system.
    std::string file(std::string_view relative) const;

private:
    std::string m_path;
};

} // namespace testsupport
