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
    /// `path()` + "/" + `relative`.
    std::string file(std::string_view relative) const;

private:
    std::string m_path;
};

} // namespace testsupport
