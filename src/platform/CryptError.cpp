#include "platform/FileCrypt.h"

namespace platform {

namespace {

class CryptCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "file encryption"; }
    std::string message(int value) const override {
        switch (static_cast<CryptError>(value)) {
        case CryptError::NotRegularFile:
            return "not a regular file";
        case CryptError::HardLinked:
            return "the file has more than one name (hard link)";
        case CryptError::KeyFile:
            return "the key file itself cannot be encrypted";
        case CryptError::KeyUnusable:
            return "the key file is unreadable, of the wrong size or not yours";
        case CryptError::WrongKey:
            return "the file was encrypted with another key";
        case CryptError::Damaged:
            return "the encrypted file is damaged or incomplete";
        case CryptError::Changed:
            return "the file changed while it was being rewritten";
        case CryptError::EmptyPath:
            return "no file given";
        case CryptError::KeyExposed:
            return "the key file can be read or changed by other users";
        case CryptError::KeyFolderExposed:
            return "the key folder is not yours or can be changed by other users";
        case CryptError::NoKeyFolder:
            return "there is no folder for the key (the account has no home folder)";
        case CryptError::ForeignHeader:
            return "the file starts like a file encrypted with another key, so it is not "
                   "encrypted again";
        case CryptError::Interrupted:
            return "interrupted; the file was left as it was";
        case CryptError::ProgramFile:
            return "the program's own files are not encrypted";
        }
        return "unknown error";
    }
};

class KeyFolderCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "key folder"; }
    std::string message(int value) const override {
        return "cannot make or use the key folder: " + std::generic_category().message(value);
    }
    std::error_condition default_error_condition(int value) const noexcept override {
        return {value, std::generic_category()};
    }
};

} // namespace

std::error_code make_error_code(CryptError e) {
    static const CryptCategory category;
    return {static_cast<int>(e), category};
}

const std::error_category& keyFolderCategory() {
    static const KeyFolderCategory category;
    return category;
}

} // namespace platform
