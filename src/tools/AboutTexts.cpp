#include "tools/AboutTexts.h"

#include "engine/Crc32.h"
#include "engine/PatternSet.h"
#include "engine/StringSignature.h"
#include "guard/GuardStatus.h"
#include "platform/ProgramFolder.h"
#include "product/Product.h"

namespace AboutTexts {

std::string CreditsText() {
    const std::string_view lines[] = {
        "Kesto Virus Scanner",
        Product::kRightsLine,
        "-------------------------------------------",
        "",
        "Programmer :",
        Product::kAuthor,
        "",
        "Designer :",
        Product::kAuthor,
        "",
        "Website :",
        Product::kWebSite,
        "",
        "Thanks to:",
        "All friends who supports and provide virus ",
        "samples to the development of this Virus ",
        "Scanner",
        "",
        "License :",
        " ",
        "",
    };
    std::string text;
    for (const std::string_view line : lines) {
        text.append(line).append("\r\n");
    }
    return text + "(" + std::string(Product::kEmail) + ")\r\n";
}

std::vector<std::pair<std::string, std::string>> EngineFacts() {
    return {{"CRC-32", crc32::backendName()},
            {"Pattern search", StringSignature::VirusPatternSet().backendName()}};
}

std::string GuardFact(const std::string& guardStateFolder) {
#ifdef _WIN32
    // The guard answers the Linux kernel's file access events; Windows runs none.
    static_cast<void>(guardStateFolder);
    return "Guard: only on Linux";
#else
    std::error_code error;
    const std::optional<GuardStatus> status =
        ReadGuardStatus(guardStateFolder.empty() ? kGuardStateFolder : guardStateFolder, error);
    return GuardSummaryLine(status ? &*status : nullptr, status && GuardRunningNow(*status));
#endif
}

int NextCreditsTop(int top) {
    top -= 20;
    return top < -5800 ? kCreditsRestartTop : top;
}

std::string ReadMePath(std::string_view programFolder) {
    return std::string(programFolder) + platform::kPathSeparator + "ReadMe.txt";
}

std::string ReadMeMissingText(std::string_view programFolder) {
    return "Sorry, file " + ReadMePath(programFolder) +
           " Nothing found.\r\nKesto Virus Scanner can not perform this command.\r\n"
           "Please download again " +
           std::string(Product::kWebSite);
}

} // namespace AboutTexts
