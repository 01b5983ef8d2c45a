#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

/// Where a signature update comes from: a folder or a web server holding a signed manifest and the
/// files it lists, each reached by its plain name.
class UpdateSource {
public:
    virtual ~UpdateSource() = default;

    /// Fetches the file `name` (a plain name) of the source whole into `sink`, piece by piece;
    /// fails (returns the reason; empty on success) when more than `limit` bytes arrive, the
    /// transfer stops early, or `sink` returns false.
    virtual std::string fetch(const std::string& name, std::uint64_t limit,
                              const std::function<bool(std::string_view piece)>& sink) = 0;
    /// How the source is named in messages.
    virtual std::string describe() const = 0;
};

/// A folder source: its files are opened relative to the folder's descriptor without following
/// links, and only regular files are read. None, with `error` saying why, when the folder cannot
/// be opened.
std::unique_ptr<UpdateSource> OpenFolderSource(const std::string& path, std::string& error);
