#include "tools/Explorer.h"

#include "platform/FolderFiles.h"
#include "platform/Mounts.h"
#include "platform/PathText.h"
#include "platform/ProgramFolder.h"
#include "scanner/DisplayName.h"

#include <algorithm>
#include <cmath>

namespace Explorer {

namespace {

/// The value to two decimals, halves away from zero, without trailing zeros; a value below one
/// has no leading zero.
std::string decimalText(float value, char decimalSeparator) {
    const auto hundredths = static_cast<std::uint64_t>(std::llround(double{value} * 100.0));
    const std::uint64_t whole = hundredths / 100;
    const std::uint64_t fraction = hundredths % 100;
    if (fraction == 0) {
        return std::to_string(whole);
    }
    std::string text = whole == 0 ? std::string() : std::to_string(whole);
    text += decimalSeparator;
    text += static_cast<char>('0' + fraction / 10);
    if (fraction % 10 != 0) {
        text += static_cast<char>('0' + fraction % 10);
    }
    return text;
}

/// The root `path` starts with: "/", or on Windows "C:\" or a share's "\\server\share\"; the
/// system's root separator alone for a path without one.
std::string rootOf(std::string_view path) {
    const std::size_t length = platform::pathRootLength(path);
    return length == 0 ? std::string(1, platform::kPathSeparator)
                       : std::string(path.substr(0, length));
}

} // namespace

std::string SizeText(std::uint64_t bytes, SizeUse use, char decimalSeparator) {
    const bool total = use == SizeUse::Total;
    const std::string prefix = total ? " " : "";
    const std::string place = total ? " in directory" : "";
    if (bytes < 1004) {
        return prefix + std::to_string(bytes) + " Bytes" + place;
    }
    if (bytes < 1027604) {
        const float value = static_cast<float>(bytes) / 1024.0F;
        return prefix + decimalText(value, decimalSeparator) + " KBytes" + place;
    }
    const float value = static_cast<float>(bytes) / 1048576.0F;
    return prefix + decimalText(value, decimalSeparator) + " MBytes" + place;
}

std::string FileExt(std::string_view name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) {
        return {};
    }
    return std::string(name.substr(dot + 1));
}

std::string CapsOff(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return result;
}

std::string CapsOn(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return result;
}

std::string TypeText(std::string_view name) {
    const std::string ext = CapsOff(FileExt(name));
    return ext.empty() ? std::string("File") : ext + " File";
}

std::string TypeText(const platform::BrowseEntry& file) {
    return file.link ? std::string(kLinkType) : TypeText(file.name);
}

std::string CountText(std::size_t count) {
    return " " + std::to_string(count) + " item(s) in directory.";
}

std::string SortText(const std::vector<std::string_view>& names) {
    if (names.empty()) {
        return std::string(kNoFiles);
    }
    const std::string reference = CapsOff(FileExt(names.back()));
    const bool same = std::all_of(names.begin(), names.end(), [&](std::string_view name) {
        return CapsOff(FileExt(name)) == reference;
    });
    if (!same) {
        return std::string(kMultiple);
    }
    return " All of ''" + CapsOn(reference) + "'' sort.";
}

std::string BasePath(std::string_view folder) {
    std::string base(folder);
    if (base.empty() || !platform::isPathSeparator(base.back())) {
        base += platform::kPathSeparator;
    }
    return base;
}

std::string GeneralDateText(std::time_t when) {
    std::tm local{};
#ifdef _WIN32
    if (::localtime_s(&local, &when) != 0) {
        return {};
    }
#else
    if (::localtime_r(&when, &local) == nullptr) {
        return {};
    }
#endif
    const bool midnight = local.tm_hour == 0 && local.tm_min == 0 && local.tm_sec == 0;
    char buffer[128];
    const std::size_t length =
        std::strftime(buffer, sizeof buffer, midnight ? "%x" : "%x %X", &local);
    return std::string(buffer, length);
}

Filter FilterAt(int position) {
    switch (position) {
    case 1:
        return {false, true};
    case 2:
        return {false, false};
    default:
        return {true, true};
    }
}

bool Passes(const platform::BrowseEntry& file, Filter filter) {
    return (filter.hidden || !file.hidden) && (filter.system || !file.system);
}

Listing BuildListing(std::string_view folder, const std::vector<platform::BrowseEntry>& files,
                     Filter filter, char decimalSeparator) {
    Listing listing;
    const std::string base = BasePath(folder);
    std::vector<std::string_view> names;
    listing.rows.reserve(files.size());
    for (const platform::BrowseEntry& file : files) {
        if (!Passes(file, filter)) {
            continue;
        }
        FileRow row;
        row.path = base + file.name;
        row.pathText = DisplayName(row.path);
        row.size = file.size;
        row.sizeText = SizeText(file.size, SizeUse::File, decimalSeparator);
        row.typeText = TypeText(file);
        if (file.hasTime) {
            row.modified = file.modified;
            row.timeText = GeneralDateText(file.modified);
        }
        listing.rows.push_back(std::move(row));
        names.push_back(file.name);
    }
    if (listing.rows.empty()) {
        listing.countText = kEmptyCount;
        listing.sortText = kNoFiles;
        listing.totalText = kEmptyTotalAfterList;
        return listing;
    }
    listing.countText = CountText(listing.rows.size());
    listing.sortText = SortText(names);
    listing.totalText = TotalText(files, filter, decimalSeparator);
    return listing;
}

Listing NotAccessibleListing(std::string_view folder, std::string_view reason) {
    Listing listing;
    listing.countText = kEmptyCount;
    listing.sortText =
        " " + DisplayName(BasePath(folder)) + " Is not accessible. " + std::string(reason) + ".";
    listing.totalText = kEmptyTotalAfterList;
    return listing;
}

std::string TotalText(const std::vector<platform::BrowseEntry>& files, Filter filter,
                      char decimalSeparator) {
    std::uint64_t total = 0;
    bool any = false;
    for (const platform::BrowseEntry& file : files) {
        if (Passes(file, filter)) {
            total += file.size;
            any = true;
        }
    }
    if (!any) {
        return std::string(kEmptyTotal);
    }
    return SizeText(total, SizeUse::Total, decimalSeparator);
}

std::vector<ChainEntry> FolderChain(std::string_view folder, std::vector<std::string> subfolders) {
    std::vector<ChainEntry> chain;
    std::size_t at = platform::pathRootLength(folder);
    std::string path = rootOf(folder);
    chain.push_back({path, DisplayName(path), 0, true});
    int depth = 0;
    while (at < folder.size()) {
        std::size_t end = at;
        while (end < folder.size() && !platform::isPathSeparator(folder[end])) {
            ++end;
        }
        if (end > at) {
            const std::string_view name = folder.substr(at, end - at);
            path = BasePath(path);
            path += name;
            chain.push_back({path, DisplayName(name), ++depth, true});
        }
        at = end + 1;
    }
    std::sort(subfolders.begin(), subfolders.end());
    const std::string base = BasePath(path);
    for (const std::string& name : subfolders) {
        chain.push_back({base + name, DisplayName(name), depth + 1, false});
    }
    return chain;
}

std::string DriveOf(std::string_view path, const std::vector<std::string>& mountPoints) {
    std::string best;
    for (const std::string& mount : mountPoints) {
        if (mount.size() > best.size() && platform::isWithinFolder(path, mount)) {
            best = mount;
        }
    }
    return best.empty() ? rootOf(path) : best;
}

std::vector<std::string> DriveRoots() {
    std::vector<std::string> roots;
    for (const platform::Drive& drive : platform::listBrowseRoots()) {
        roots.push_back(drive.mountPoint);
    }
    if (roots.empty()) {
        roots.emplace_back(1, platform::kPathSeparator);
    }
    return roots;
}

std::string NotReadyText(std::string_view mountPoint) {
    return DisplayName(BasePath(mountPoint)) + " Is not accessible.\r\n\r\nThe device is not ready";
}

bool DeviceUnavailable(int error) {
    return platform::isDeviceUnavailable(error);
}

} // namespace Explorer
