#pragma once

#include <system_error>

/// Why the verdict cache is not used.
enum class CacheError {
    NotAFile = 1, ///< the store or its folder is a link or something else than expected
    ForeignOwner, ///< another user owns the store or its folder
    OpenToOthers, ///< other users may change the store or its folder
    NoFolder,     ///< there is no folder to keep it in (no home folder)
    Unavailable,  ///< this system has no store for it
};
const std::error_category& cacheErrorCategory();
std::error_code make_error_code(CacheError e);

template <> struct std::is_error_code_enum<CacheError> : std::true_type {};
