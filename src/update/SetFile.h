#pragma once

#include "platform/FolderHandle.h"

#include <string>
#include <string_view>

/// A file of a signature set being installed: made new in the set's folder (never an existing
/// file, never through a link), readable by everyone, and flushed to the disk before the set is
/// switched in. Each call returns why it failed, or empty.
class SetFile {
public:
    SetFile() = default;
    /// Closes the file if `finish` did not.
    ~SetFile();
    SetFile(const SetFile&) = delete;
    SetFile& operator=(const SetFile&) = delete;

    /// Makes the file `name` in `set`, whose path `setPath` names it in messages.
    std::string create(const platform::FolderHandle& set, const std::string& setPath,
                       const std::string& name);
    std::string write(std::string_view bytes);
    /// Flushes the content to the disk and closes the file.
    std::string finish();

private:
    int m_fd = -1;
    std::string m_path;
};
