#include "tools/FileEncryption.h"

#include "platform/EntryStamp.h"
#include "platform/FileCrypt.h"

#include <cctype>

namespace FileEncryption {

namespace {

/// The path as one word of a shell command, to be pasted as it is.
std::string shellWord(const std::string& path) {
    std::string word = "'";
    for (const char c : path) {
        word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return word + "'";
}

} // namespace

bool ShowsProgress(const std::string& path) {
    platform::FileStamp stamp;
    return !platform::entryStamp(path, stamp) && stamp.size >= kProgressFrom;
}

std::string TrimBlanks(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

int Percent(std::uint64_t done, std::uint64_t total) {
    if (total == 0 || done >= total) {
        return 100;
    }
    return static_cast<int>(done * 100 / total);
}

std::string PercentText(int percent) {
    return std::to_string(percent) + " %";
}

std::string FailureReason(const std::error_code& error, const std::string& keyFolder) {
    const std::string folder = shellWord(keyFolder);
    if (error == platform::CryptError::KeyExposed) {
        const std::string key = shellWord(keyFolder + "/" + platform::kKeyFileName);
        return "the key file " + key +
               " can be read or changed by other users, so it is not used; make it private "
               "with: chmod 600 " +
               key;
    }
    if (error == platform::CryptError::KeyFolderExposed) {
        return "the key folder " + folder +
               " is not yours or can be changed by other users, so it is not used; make it "
               "private with: chmod 700 " +
               folder;
    }
    if (error.category() == platform::keyFolderCategory()) {
        return "cannot make or use the key folder " + folder + ": " +
               std::generic_category().message(error.value()) +
               " (to keep the key elsewhere, set XDG_CONFIG_HOME to a folder of your own)";
    }
    if (error == platform::CryptError::NoKeyFolder) {
        return error.message() + "; set XDG_CONFIG_HOME to a folder of your own to keep it there";
    }
    return error.message();
}

std::string FailedMessage(const std::error_code& error, const std::string& keyFolder) {
    std::string reason = FailureReason(error, keyFolder);
    if (!reason.empty()) {
        reason[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(reason[0])));
    }
    return std::string(kFailed) + "\r\n" + reason + ".";
}

} // namespace FileEncryption
