#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

/// The About window: version table, credits and their scrolling, the read-me, and the launcher
/// windows' captions.
namespace AboutTexts {

inline constexpr std::string_view kAboutTitle = "About -> Kesto Virus Scanner";
inline constexpr std::string_view kToolsTitle = "Kesto -> Virus Scanner Tools";
inline constexpr std::string_view kWinToolsTitle = "Kesto -> Windows Tools";
inline constexpr std::string_view kVersionFrame = "Kesto Virus Scanner Version";

/// The 22 lines of the credits text, each ending in CR LF.
std::string CreditsText();

/// The running engine as `kesto --version` describes it: caption and value per line.
std::vector<std::pair<std::string, std::string>> EngineFacts();

/// The line under the engine facts that says whether the real-time guard runs, as the status
/// file in `guardStateFolder` (empty: the system's) and this computer's processes tell. Windows
/// has no guard, and says so.
std::string GuardFact(const std::string& guardStateFolder);

/// Credits scrolling in twips: the text starts at `kCreditsStartTop`, moves up 20 twips per
/// 50 ms tick and starts again at `kCreditsRestartTop` once it is below -5800.
inline constexpr int kCreditsStartTop = 2000;
inline constexpr int kCreditsRestartTop = 2090;
inline constexpr int kCreditsTickMs = 50;
int NextCreditsTop(int top);

/// The read-me beside the program, and the message shown when it is missing.
std::string ReadMePath(std::string_view programFolder);
std::string ReadMeMissingText(std::string_view programFolder);
inline constexpr std::string_view kReadMeMissingTitle = "Error";
inline constexpr int kReadMeMissingStyle = 48;

} // namespace AboutTexts
