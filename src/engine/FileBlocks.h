#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

/// Reads a regular file once, front to back, in blocks. Each window handed to `visit` starts with
/// the last `overlap` bytes of the previous window, so that a byte string of up to `overlap` + 1
/// bytes is whole in at least one window. `visit` returns false to stop early. Throws
/// std::system_error when the file cannot be opened or read.
void forEachFileWindow(const std::string& path, std::size_t overlap,
                       const std::function<bool(std::string_view window)>& visit);
