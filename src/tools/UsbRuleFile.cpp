#include "tools/UsbRuleFile.h"

#include "platform/AtomicFile.h"
#include "platform/FileFacts.h"
#include "tools/RegValue.h"

#include <algorithm>
#include <bit>
#include <vector>

namespace modReg {

namespace {

constexpr std::uint64_t kMaxRuleFile = 1024 * 1024;
constexpr char kRuleHeader[] = "# Kesto Virus Scanner USB storage lock: Start=";
constexpr char kBlockLine[] = "install usb_storage /bin/false";

/// The words of a rule file line, split at blanks and tabs.
std::vector<std::string> wordsOf(const std::string& line) {
    std::vector<std::string> words;
    std::size_t start = line.find_first_not_of(" \t\r");
    while (start != std::string::npos) {
        const std::size_t end = std::min(line.find_first_of(" \t\r", start), line.size());
        words.push_back(line.substr(start, end - start));
        start = line.find_first_not_of(" \t\r", end);
    }
    return words;
}

} // namespace

std::string RuleFileText(std::uint32_t start) {
    std::string text = kRuleHeader + std::to_string(start) + "\n";
    if (start == 4) {
        text += "blacklist usb_storage\n";
        text += std::string(kBlockLine) + "\n";
        text += "blacklist uas\n";
        text += "install uas /bin/false\n";
    }
    return text;
}

std::uint32_t StartFromRuleText(const std::string& text) {
    const std::string header = kRuleHeader;
    if (text.compare(0, header.size(), header) == 0) {
        const std::size_t end = text.find('\n');
        const auto number = NumberFrom(Value{text.substr(
            header.size(), end == std::string::npos ? std::string::npos : end - header.size())});
        if (number) {
            return *number;
        }
    }
    return text.find(kBlockLine) != std::string::npos ? 4U : 3U;
}

int BlockingLinesIn(const std::string& text) {
    static constexpr const char* kDrivers[] = {"usb_storage", "uas"};
    // One bit for each of the four lines, so that a repeated line counts once.
    unsigned found = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::vector<std::string> words = wordsOf(text.substr(start, end - start));
        start = end + 1;
        if (words.size() < 2 || words[0].front() == '#') {
            continue;
        }
        // modprobe takes '-' and '_' in a module name alike.
        std::replace(words[1].begin(), words[1].end(), '-', '_');
        for (unsigned driver = 0; driver < 2; ++driver) {
            if (words[1] != kDrivers[driver]) {
                continue;
            }
            if (words.size() == 2 && words[0] == "blacklist") {
                found |= 1U << (2 * driver);
            } else if (words.size() == 3 && words[0] == "install" && words[2] == "/bin/false") {
                found |= 2U << (2 * driver);
            }
        }
    }
    return std::popcount(found);
}

std::error_code ReadRuleFile(const platform::FolderHandle& folder, std::string& text) {
    text.clear();
    if (!folder.isOpen()) {
        return {};
    }
    platform::FileFacts facts;
    const std::error_code error =
        platform::readFileAt(folder, kRuleFileName, kMaxRuleFile, text, facts);
    return error == std::errc::no_such_file_or_directory ? std::error_code() : error;
}

std::error_code WriteRuleFile(const platform::FolderHandle& folder, std::uint32_t start) {
    return platform::replaceFileIn(folder, kRuleFileName, RuleFileText(start), 0644);
}

} // namespace modReg
