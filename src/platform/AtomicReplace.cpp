// The parts of atomic replacement that are the same on every system.
#include "platform/AtomicFile.h"
#include "platform/AtomicReplaceParts.h"
#include "platform/PathText.h"

#include <mutex>
#include <string_view>
#include <utility>

namespace platform {

namespace {

std::mutex& writeCallMutex() {
    static std::mutex mutex;
    return mutex;
}

WriteCall& writeCallSlot() {
    static WriteCall call;
    return call;
}

} // namespace

WriteCall setWriteCall(WriteCall call) {
    const std::lock_guard<std::mutex> lock(writeCallMutex());
    return std::exchange(writeCallSlot(), std::move(call));
}

WriteCall detail::installedWriteCall() {
    const std::lock_guard<std::mutex> lock(writeCallMutex());
    return writeCallSlot();
}

namespace {

constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";

std::string temporaryPrefixFor(const std::string& name) {
    return "." + name.substr(0, 200) + ".";
}

} // namespace

std::string detail::temporaryNameFor(const std::string& name,
                                     const std::array<unsigned char, 12>& random) {
    std::string result = temporaryPrefixFor(name);
    for (const unsigned char byte : random) {
        result += kLetters[byte % (sizeof kLetters - 1)];
    }
    return result + ".tmp";
}

bool detail::isTemporaryNameFor(const std::string& entry, const std::string& name) {
    const std::string prefix = temporaryPrefixFor(name);
    constexpr std::string_view kEnd = ".tmp";
    constexpr std::size_t kRandom = 12; // the letters temporaryNameFor draws
    if (entry.size() != prefix.size() + kRandom + kEnd.size() ||
        entry.compare(0, prefix.size(), prefix) != 0 ||
        entry.compare(prefix.size() + kRandom, kEnd.size(), kEnd) != 0) {
        return false;
    }
    const std::string_view letters(kLetters, sizeof kLetters - 1);
    for (std::size_t i = prefix.size(); i < prefix.size() + kRandom; ++i) {
        if (letters.find(entry[i]) == std::string_view::npos) {
            return false;
        }
    }
    return true;
}

std::error_code replaceFileIn(const FolderHandle& folder, const std::string& name,
                              std::string_view content, mode_t mode) {
    AtomicReplacement replacement;
    if (const std::error_code error = replacement.begin(folder, name, mode)) {
        return error;
    }
    if (const std::error_code error = replacement.write(content.data(), content.size())) {
        return error;
    }
    return replacement.commit();
}

std::error_code replaceFile(const std::string& path, std::string_view content, mode_t mode) {
    const std::size_t slash = lastPathSeparator(path);
    // A file right below the root keeps the root's separator in its folder ("/", "C:\").
    const std::string folderPath =
        slash == std::string::npos
            ? std::string(".")
            : path.substr(0, slash + 1 == pathRootLength(path) ? slash + 1 : slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    FolderHandle folder;
    if (const std::error_code error = folder.openPath(folderPath)) {
        return error;
    }
    return replaceFileIn(folder, name, content, mode);
}

} // namespace platform
