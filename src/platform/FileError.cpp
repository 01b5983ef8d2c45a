#include "platform/InputFile.h"

namespace platform {

namespace {

class FileErrorCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "kesto-file"; }
    std::string message(int value) const override {
        switch (static_cast<FileError>(value)) {
        case FileError::NotRegularFile:
            return "not a regular file";
        case FileError::Changed:
            return "changed since the scan";
        }
        return "unknown file error";
    }
};

} // namespace

const std::error_category& fileErrorCategory() {
    static const FileErrorCategory category;
    return category;
}

std::error_code make_error_code(FileError e) {
    return {static_cast<int>(e), fileErrorCategory()};
}

} // namespace platform
