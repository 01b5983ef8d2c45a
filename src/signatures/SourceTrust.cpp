#include "signatures/SourceTrust.h"

namespace {

constexpr std::uint32_t kGroupWrite = 020;
constexpr std::uint32_t kOthersWrite = 002;

} // namespace

std::string SourceRefusal(const platform::FileFacts& facts, std::uint32_t user) {
    if (facts.uid != 0 && facts.uid != user) {
        return "it belongs to another user (uid " + std::to_string(facts.uid) + ")";
    }
    if ((facts.mode & kOthersWrite) != 0) {
        return "every user may change it";
    }
    if ((facts.mode & kGroupWrite) != 0) {
        return "its group (gid " + std::to_string(facts.gid) + ") may change it";
    }
    return {};
}
