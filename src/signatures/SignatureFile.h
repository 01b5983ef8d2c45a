#pragma once

#include "platform/FolderHandle.h"
#include "platform/InputFile.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

/// One signature source file, open for as long as its signatures are in use: it is opened once,
/// relative to its folder without following a link, checked through that descriptor (owner and
/// mode), and read only through it, so a file swapped in later is never read.
class SignatureFile {
public:
    /// Opens the entry `name` of `folder`, whose full path is `path`. On failure `problem` says
    /// why in words (the file is refused, or cannot be read).
    bool open(const platform::FolderHandle& folder, const std::string& name, std::string path,
              std::string& problem);

    const std::string& path() const { return m_path; }
    /// The file's name without its folder and without its last extension.
    std::string stem() const;
    std::uint64_t size() const { return m_file.size(); }

    /// Reads the file from its start in pieces of at most `piece` bytes. Fails when the file
    /// holds more than `limit` bytes (it was checked as it was opened, but may grow).
    std::error_code readAll(std::size_t piece, std::uint64_t limit,
                            const std::function<void(std::string_view bytes)>& visit) const;
    /// Up to `count` bytes from `offset`; fewer at the end of the file or on error.
    std::string readAt(std::uint64_t offset, std::size_t count) const;

private:
    platform::InputFile m_file;
    std::string m_path;
};
