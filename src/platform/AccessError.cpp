#include "platform/AccessEvents.h"

namespace platform {

namespace {

class AccessErrorCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "kesto-access"; }
    std::string message(int value) const override {
        switch (static_cast<AccessError>(value)) {
        case AccessError::NeedsPrivilege:
            return "needs root (watching program starts needs the CAP_SYS_ADMIN capability)";
        case AccessError::NoExecEvents:
            return "this kernel cannot stop programs before they run (fanotify FAN_OPEN_EXEC_PERM "
                   "needs Linux 5.0 or later, built with CONFIG_FANOTIFY_ACCESS_PERMISSIONS)";
        case AccessError::CannotWatch:
            return "this file system cannot be watched";
        case AccessError::Unsupported:
            return "this system cannot report program starts and file writes as they happen";
        }
        return "unknown access event error";
    }
};

} // namespace

const std::error_category& accessErrorCategory() {
    static const AccessErrorCategory category;
    return category;
}

std::error_code make_error_code(AccessError e) {
    return {static_cast<int>(e), accessErrorCategory()};
}

} // namespace platform
