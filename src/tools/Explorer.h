#pragma once

#include "platform/FolderFiles.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

/// The texts and lists of the explorer window: size texts, types, the summary lines, the chain
/// of folders and the filtered file table.
namespace Explorer {

inline constexpr std::string_view kTitle = "Kesto Explorer";
inline constexpr std::string_view kFilterItems[] = {"Show All files", "Hide hidden files",
                                                    "Hide hidden & system files!"};
inline constexpr std::string_view kColumns[] = {"Location & Name", "File Size", "File Type",
                                                "Last Modified"};
inline constexpr std::string_view kFileNumDesign = "Number of files";
inline constexpr std::string_view kFileSortDesign = "Sorts of files";
inline constexpr std::string_view kDirSizeDesign = "Total directory size";
inline constexpr std::string_view kEmptyCount = " 0 item(s) in directory.";
inline constexpr std::string_view kNoFiles = " No files were found.";
inline constexpr std::string_view kEmptyTotalAfterList = " 0 Bytes in directory.";
inline constexpr std::string_view kEmptyTotal = " 0 Bytes in directory";
inline constexpr std::string_view kCounting = " Counting items...";
inline constexpr std::string_view kDetermining = " Determing sorts of files...";
inline constexpr std::string_view kCalculating = " Calculating directory size...";
inline constexpr std::string_view kMultiple = " Mulitple sort of files.";
inline constexpr std::string_view kLinkType = "Link";
inline constexpr std::string_view kNotReadyTitle = "Zeve Vurevado Daza & Vezire";
inline constexpr int kNotReadyStyle = 21;

/// Where a size text is shown: the "File Size" column or the total line.
enum class SizeUse { File, Total };

/// The size text of `bytes`: bytes below 1004, kilobytes below 1027604, megabytes above, the
/// value to two decimals (halves away from zero) without trailing zeros or a leading zero.
std::string SizeText(std::uint64_t bytes, SizeUse use, char decimalSeparator = '.');

/// The characters after the last "." of `name`; empty without a "." or when it ends with one.
std::string FileExt(std::string_view name);
/// A-Z to a-z and a-z to A-Z; every other byte is kept.
std::string CapsOff(std::string_view text);
std::string CapsOn(std::string_view text);
/// "txt File", or "File" for a name without an extension.
std::string TypeText(std::string_view name);
/// The "File Type" of a listed file: "Link" for a symbolic link, else its `TypeText`.
std::string TypeText(const platform::BrowseEntry& file);

/// " N item(s) in directory.".
std::string CountText(std::size_t count);
/// " All of ''EXT'' sort." when every name has the last name's extension (case ignored),
/// else " Mulitple sort of files."; " No files were found." without names.
std::string SortText(const std::vector<std::string_view>& names);

/// The folder with a trailing separator ("/"; "\" on Windows); a folder that ends with one, a
/// root such as "/" or "C:\", unchanged.
std::string BasePath(std::string_view folder);

/// The date and time of `when` in the local time zone, date and time with seconds in the
/// current locale, the time left out at exactly midnight.
std::string GeneralDateText(std::time_t when);

/// What the filter chooser lets through.
struct Filter {
    bool hidden = true;
    bool system = true;
};
/// The filter of the chooser's position 0, 1 or 2; any other position shows everything.
Filter FilterAt(int position);
bool Passes(const platform::BrowseEntry& file, Filter filter);

/// One row of the file table.
struct FileRow {
    std::string path;     ///< the file's exact bytes, which Run File and Scan File are handed
    std::string pathText; ///< "Location & Name": the path with every name shown unambiguously
    std::string sizeText; ///< "File Size"
    std::string typeText; ///< "File Type"
    std::string timeText; ///< "Last Modified"; empty when the file vanished
    std::uint64_t size = 0;
    std::time_t modified = 0;
};

/// A folder's table and its three summary lines.
struct Listing {
    std::vector<FileRow> rows;
    std::string countText;
    std::string sortText;
    std::string totalText;
};

/// The rows and lines for the files `files` of `folder` that pass `filter`. `totalText` is
/// what the total line shows after a folder change.
Listing BuildListing(std::string_view folder, const std::vector<platform::BrowseEntry>& files,
                     Filter filter, char decimalSeparator = '.');
/// The empty table and lines of a folder whose files could not be listed: the sort line says
/// " /folder/ Is not accessible. REASON." instead of " No files were found.".
Listing NotAccessibleListing(std::string_view folder, std::string_view reason);
/// The total line of the filtered files: " 0 Bytes in directory" without files.
std::string TotalText(const std::vector<platform::BrowseEntry>& files, Filter filter,
                      char decimalSeparator = '.');

/// One line of the folder box.
struct ChainEntry {
    std::string path;  ///< exact bytes
    std::string label; ///< the folder's name as shown
    int depth = 0;
    bool open = false; ///< a folder on the way to the current one, the current one included
};
/// The folders from the root of `folder` ("/"; on Windows its drive, "C:\", or share) down to
/// `folder`, then its subfolders `subfolders` (sorted here by their bytes) one level deeper.
/// A folder without a root is taken to lie below the system's root separator.
std::vector<ChainEntry> FolderChain(std::string_view folder, std::vector<std::string> subfolders);

/// The mount point among `mountPoints` that holds `path` (longest whole-name prefix, names
/// compared as the system does: ignoring case on Windows); the root of `path` ("/", "C:\") when
/// none does.
std::string DriveOf(std::string_view path, const std::vector<std::string>& mountPoints);
/// What the drive box offers: the places the system's file browser starts from (Linux: the mount
/// points of the block-device file systems; Windows: every drive letter in use, network drives
/// included), "/" when there are none.
std::vector<std::string> DriveRoots();
/// The message when the drive at `mountPoint` cannot be opened.
std::string NotReadyText(std::string_view mountPoint);
/// Whether an error opening a drive (an error code of the system's own category) means that
/// its device is unavailable: no medium, a device gone, a share that does not answer.
bool DeviceUnavailable(int error);

} // namespace Explorer
