#pragma once

#include <optional>
#include <string>
#include <string_view>

/// Start-up of the desktop program: the splash animation and the texts of the main window that do
/// not belong to a scan.
namespace StartupTexts {

inline constexpr std::string_view kMainCaption = "Kesto Virus Scanner Zedodu 1.1.0";
inline constexpr std::string_view kSplashLoading = "Kesto Virus Scanner Zedodu Now Loading.....";
inline constexpr std::string_view kVersion = "Version 1.1.0";

/// One tick of the splash animation: the bar's next value, a new timer interval if it changes,
/// and whether the splash hands over to the main window (after the bar has reached 100).
struct SplashStep {
    int value = 0;
    std::optional<int> intervalMs;
    bool handOver = false;
};
SplashStep NextSplashStep(int value);

/// The four lines, joined by CR LF, shown when the database is missing from `programFolder`.
std::string DatabaseNotFoundText(std::string_view programFolder);
inline constexpr std::string_view kDatabaseNotFoundTitle = "Database Not Found";

inline constexpr std::string_view kCloseQuestion =
    "You sure will come out when the investigation is progress files?";
inline constexpr std::string_view kCloseQuestionTitle = "Are You Sure?";
inline constexpr std::string_view kReleaseNotice = "Update 14 August 2010";
inline constexpr std::string_view kReleaseNoticeTitle = "Version";

} // namespace StartupTexts
