#pragma once

#include "platform/Mounts.h"
#include "platform/SystemFacts.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// Texts of the system, memory and drive information windows and of `kesto info`.
namespace SystemInfo {

inline constexpr std::string_view kSystemTitle = "Kesto -> Get System Information";
inline constexpr std::string_view kMemoryTitle = "Kesto -> Memory Status (RAM)";
inline constexpr std::string_view kDriveTitle = "Kesto -> Drive Space Info";

/// The three rows of the system window: caption and value.
struct SystemRow {
    std::string_view caption;
    std::string value;
};
/// User name, then the Windows folder and the system folder, each with a final separator.
std::array<SystemRow, 3> SystemRows(std::string_view userName, std::string_view windowsFolder,
                                    std::string_view systemFolder);

/// Whole megabytes (bytes / 1,048,576), rounded to the nearest, ties to even.
std::uint64_t Megabytes(std::uint64_t bytes);

inline constexpr std::array<std::string_view, 6> kMemoryCaptions = {
    "Total Physical Memory (RAM)", "Physical Memory Used (RAM)", "Residual RAM",
    "Total Virtual Memory",        "Virtual Memory Used",        "Residual Virtual Memory"};
/// Shown in the value labels until the first refresh.
inline constexpr std::string_view kMemoryPlaceholder = "Res";
inline constexpr int kMemoryRefreshMs = 500;

/// The six value texts ("512 MB"): total, used and available physical, then virtual memory; the
/// used figures are the rounded total less the rounded available amount (never below 0).
std::array<std::string, 6> MemoryValues(const platform::MemoryStatus& status);
/// Swap in use, for the memory window's tooltip; "No swap space" when there is not half a
/// megabyte of it.
std::string SwapText(const platform::MemoryStatus& status);

/// One drive's block, each line ending in CR LF: the root, its size, used and free space in MB.
/// Used is the size less the free blocks (df's Used); free is what an ordinary user can still
/// write (df's Avail). A failed query (none) shows zeros.
std::string DriveSpaceText(std::string_view root, const std::optional<platform::Space>& space);
/// The root shown for a mount point: the path with a final separator.
std::string DriveRoot(std::string_view mountPoint);

using SpaceQuery = std::function<std::optional<platform::Space>(const std::string& mountPoint)>;

/// The drive report and, per drive, a line for its tooltip: device, file-system type, use as a
/// percentage of the space the user can have (as df counts it), removable or not queried.
struct DriveReport {
    std::string text;    ///< blocks in drive order, each followed by CR LF
    std::string details; ///< one line per drive, LF-separated
};
/// Asks `query` only for drives that may be queried; the others show zeros.
DriveReport BuildDriveReport(const std::vector<platform::Drive>& drives, const SpaceQuery& query);

/// The system, memory and drive texts for a terminal, lines ending in LF.
std::string TerminalReport(const std::array<SystemRow, 3>& system,
                           const platform::MemoryStatus& memory, const DriveReport& drives);

} // namespace SystemInfo
