#include "platform/FileFacts.h"

namespace platform {

std::error_code readFileAt(const FolderHandle& folder, const std::string& name, std::uint64_t limit,
                           std::string& content, FileFacts& facts) {
    content.clear();
    InputFile file;
    if (const auto ec = file.openAt(folder.fd(), name)) {
        return ec;
    }
    // The facts come from the descriptor that is read, so the file checked is the file read.
    if (const auto ec = factsOfOpenFile(file, facts)) {
        return ec;
    }
    return file.readToEnd(content, limit);
}

} // namespace platform
