#include "tools/SystemInfo.h"

#include "platform/ProgramFolder.h"

#include <algorithm>

namespace SystemInfo {

namespace {

std::string withSeparator(std::string_view folder) {
    std::string text(folder);
    if (text.empty() || text.back() != platform::kPathSeparator) {
        text += platform::kPathSeparator;
    }
    return text;
}

std::string megabytesText(std::uint64_t megabytes) {
    return std::to_string(megabytes) + " MB";
}

std::uint64_t difference(std::uint64_t total, std::uint64_t part) {
    return total > part ? total - part : 0;
}

/// LF for each CR LF, for a terminal.
std::string terminalLines(std::string_view text) {
    std::string lines;
    lines.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        lines += text[i];
    }
    return lines;
}

} // namespace

std::array<SystemRow, 3> SystemRows(std::string_view userName, std::string_view windowsFolder,
                                    std::string_view systemFolder) {
    return {SystemRow{"Username", std::string(userName)},
            SystemRow{"Windows Directory", withSeparator(windowsFolder)},
            SystemRow{"System Directory", withSeparator(systemFolder)}};
}

std::uint64_t Megabytes(std::uint64_t bytes) {
    constexpr std::uint64_t kMegabyte = 1 << 20;
    const std::uint64_t whole = bytes / kMegabyte;
    const std::uint64_t rest = bytes % kMegabyte;
    if (rest > kMegabyte / 2 || (rest == kMegabyte / 2 && whole % 2 == 1)) {
        return whole + 1;
    }
    return whole;
}

std::array<std::string, 6> MemoryValues(const platform::MemoryStatus& status) {
    const std::uint64_t totalPhysical = Megabytes(status.totalPhysical);
    const std::uint64_t availablePhysical = Megabytes(status.availablePhysical);
    const std::uint64_t totalVirtual = Megabytes(status.totalVirtual);
    const std::uint64_t availableVirtual = Megabytes(status.availableVirtual);
    return {megabytesText(totalPhysical),
            megabytesText(difference(totalPhysical, availablePhysical)),
            megabytesText(availablePhysical),
            megabytesText(totalVirtual),
            megabytesText(difference(totalVirtual, availableVirtual)),
            megabytesText(availableVirtual)};
}

std::string SwapText(const platform::MemoryStatus& status) {
    // Less than half a megabyte is no swap space to speak of: "0 MB of 0 MB" would say nothing.
    const std::uint64_t total = Megabytes(status.swapTotal);
    if (total == 0) {
        return "No swap space";
    }
    return "Swap in use: " + megabytesText(difference(total, Megabytes(status.swapFree))) + " of " +
           megabytesText(total);
}

std::string DriveRoot(std::string_view mountPoint) {
    return withSeparator(mountPoint);
}

std::string DriveSpaceText(std::string_view root, const std::optional<platform::Space>& space) {
    // Used counts the blocks in use, as df does; the blocks reserved for the administrator are
    // neither used nor free to the user, so used and free need not add up to the size.
    const std::uint64_t size = space ? Megabytes(space->total) : 0;
    const std::uint64_t unused = space ? Megabytes(space->free) : 0;
    const std::uint64_t free = space ? Megabytes(space->available) : 0;
    return std::string(root) + "\r\n-> Drive Size : " + megabytesText(size) +
           "\r\n-> Space Used : " + megabytesText(difference(size, unused)) +
           "\r\n-> Free Space : " + megabytesText(free) + "\r\n";
}

DriveReport BuildDriveReport(const std::vector<platform::Drive>& drives, const SpaceQuery& query) {
    DriveReport report;
    for (const platform::Drive& drive : drives) {
        const std::optional<platform::Space> space =
            drive.queryable && query ? query(drive.mountPoint) : std::nullopt;
        const std::string root = DriveRoot(drive.mountPoint);
        report.text += DriveSpaceText(root, space) + "\r\n";

        std::string line = root + " - " + drive.source + ", " + drive.type;
        if (!drive.queryable) {
            line += ", space not asked for (FUSE)";
        } else if (!space) {
            line += ", space unknown";
        } else {
            // As df counts it: the blocks in use against what an ordinary user could have.
            const std::uint64_t used = difference(space->total, space->free);
            const std::uint64_t reachable = used + space->available;
            const std::uint64_t percent =
                reachable == 0
                    ? 0
                    : static_cast<std::uint64_t>(
                          (static_cast<long double>(used) * 100 + reachable - 1) / reachable);
            line += ", " + std::to_string(std::min<std::uint64_t>(percent, 100)) + "% used";
        }
        if (drive.removable) {
            line += ", removable";
        }
        if (!report.details.empty()) {
            report.details += '\n';
        }
        report.details += line;
    }
    return report;
}

std::string TerminalReport(const std::array<SystemRow, 3>& system,
                           const platform::MemoryStatus& memory, const DriveReport& drives) {
    std::string text = "System\n";
    for (const SystemRow& row : system) {
        text += "  " + std::string(row.caption) +
                std::string(18 - std::min<std::size_t>(row.caption.size(), 17), ' ') + ": " +
                row.value + "\n";
    }
    text += "\nMemory\n";
    const auto values = MemoryValues(memory);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::string_view caption = kMemoryCaptions[i];
        text += "  " + std::string(caption) +
                std::string(28 - std::min<std::size_t>(caption.size(), 27), ' ') + ": " +
                values[i] + "\n";
    }
    text += "  " + SwapText(memory) + "\n\nDrives\n";
    text += terminalLines(drives.text);
    if (!drives.details.empty()) {
        text += drives.details + "\n";
    }
    return text;
}

} // namespace SystemInfo
