#include "WalkedFiles.h"

#include "platform/PathText.h"

#include <memory>

namespace testsupport {

WalkedFile walkedFile(const std::string& path) {
    // Where the last name starts, just after the last separator.
    std::size_t nameStart = path.size();
    while (nameStart > 0 && !platform::isPathSeparator(path[nameStart - 1])) {
        --nameStart;
    }
    const std::size_t slash = nameStart - 1;
    WalkedFile file;
    file.folder = path.substr(0, nameStart);
    file.name = path.substr(nameStart);
    auto handle = std::make_shared<platform::FolderHandle>();
    handle->openPath(file.folder);
    platform::FileStamp stamp;
    if (!handle->statFile(file.name, stamp)) {
        file.size = stamp.size;
    }
    file.node = std::make_shared<WalkedFolder>(nullptr, path.substr(0, slash), handle->id());
    file.handle = std::move(handle);
    return file;
}

DetectionEntry listedEntry(const std::string& path, const std::string& threat) {
    const WalkedFile file = walkedFile(path);
    DetectionEntry entry;
    entry.name = threat;
    entry.location = path;
    entry.size = std::to_string(file.size);
    entry.information = kChecksumAdvice;
    entry.folder = file.node;
    entry.fileName = file.name;
    file.handle->statFile(file.name, entry.stamp);
    return entry;
}

} // namespace testsupport
