#include "update/TrustedKeys.h"

#include "platform/FileFacts.h"
#include "platform/FolderHandle.h"
#include "signatures/SourceTrust.h"

namespace {

/// No key file is larger than this; a larger one is not a key.
constexpr std::uint64_t kKeyFileLimit = 16384;

} // namespace

std::string LoadTrustedKeys(const std::string& folder, std::vector<MinisignKey>& keys,
                            std::vector<std::string>& warnings) {
    keys.clear();
    platform::FolderHandle handle;
    if (const std::error_code ec = handle.openPath(folder)) {
        return "the trusted keys folder " + folder + " cannot be opened: " + ec.message();
    }
    // Whoever may add a file here may sign updates, so the folder is held to the rule of its
    // files.
    platform::FileFacts facts;
    if (const std::error_code ec = platform::folderFacts(handle, facts)) {
        return "the trusted keys folder " + folder + " cannot be examined: " + ec.message();
    }
    const std::uint32_t user = platform::effectiveUser();
    if (const std::string refusal = SourceRefusal(facts, user); !refusal.empty()) {
        return "the trusted keys folder " + folder + " is refused: " + refusal;
    }
    std::vector<platform::FolderEntry> entries;
    if (const std::error_code ec = handle.list(false, entries)) {
        return "the trusted keys folder " + folder + " cannot be listed: " + ec.message();
    }
    for (const platform::FolderEntry& entry : entries) {
        if (entry.kind != platform::FolderEntry::Kind::RegularFile) {
            continue;
        }
        const std::string path = folder + "/" + entry.name;
        std::string text;
        if (const std::error_code ec =
                platform::readFileAt(handle, entry.name, kKeyFileLimit, text, facts)) {
            warnings.push_back("The key " + path + " is left out: " + ec.message() + ".");
            continue;
        }
        if (const std::string refusal = SourceRefusal(facts, user); !refusal.empty()) {
            warnings.push_back("The key " + path + " is left out: " + refusal + ".");
            continue;
        }
        std::string error;
        std::optional<MinisignKey> key = ParseMinisignKey(text, error);
        if (!key) {
            warnings.push_back("The key " + path + " is left out: " + error + ".");
            continue;
        }
        keys.push_back(*key);
    }
    return {};
}
