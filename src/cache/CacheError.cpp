#include "cache/CacheError.h"

#include <string>

namespace {

class CacheErrorCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "verdict cache"; }
    std::string message(int code) const override {
        switch (static_cast<CacheError>(code)) {
        case CacheError::NotAFile:
            return "not a plain file or folder";
        case CacheError::ForeignOwner:
            return "owned by another user";
        case CacheError::OpenToOthers:
            return "other users may change it";
        case CacheError::NoFolder:
            return "no folder to keep it in";
        case CacheError::Unavailable:
            return "not available on this system";
        }
        return "unknown problem";
    }
};

} // namespace

const std::error_category& cacheErrorCategory() {
    static const CacheErrorCategory category;
    return category;
}

std::error_code make_error_code(CacheError e) {
    return {static_cast<int>(e), cacheErrorCategory()};
}
