#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

/// The texts and numbers the scan shows, computed here so that the window and the command line
/// show the same.
namespace ScanTexts {

/// (100 / total) * done in double precision, rounded with halves to the even neighbour; none when
/// total is 0.
std::optional<long long> Percent(std::uint64_t total, std::uint64_t done);
/// "37 % Complete...".
std::string PercentText(long long percent);

/// Status text for the file being checked: the full path when it has at most 50 characters, else
/// the first folder of `folder` (up to and including the first separator at or after the fourth
/// character), "...", a separator, and the name (its last 15 characters after "..." when it has 15
/// or more). `folder` ends with a separator. A text that is valid UTF-8 counts its code points as
/// characters, any other text its bytes, so a name is never cut inside a character.
std::string FileDisplay(std::string_view folder, std::string_view name);

/// "HH:MM:SS", each part at least two digits; hours of 100 and more show all their digits.
std::string ElapsedText(std::uint64_t seconds);

/// The wait animation of the counting pass: "Being analyzed, Please wait" with 0 to 4 dots, one
/// step per tick, and one quiet tick after four dots.
class WaitAnimation {
public:
    /// The next status text, or none on the quiet tick.
    std::optional<std::string> tick();

private:
    int m_step = 0;
};

/// How a scan ends: its status line and, for a scan that ran to its end, a message box.
struct Completion {
    std::string status;
    std::string message; ///< the message box text: the status, then what could not be checked
    bool stopped = false;
    bool showMessage = false;   ///< only for a scan that ran to its end
    std::string messageTitle;   ///< "Detected" or "No Detected"
    int messageStyle = 0;       ///< 48 exclamation or 64 information, OK button
    bool resetProgress = false; ///< a stopped scan puts the bar back to 0
};
/// The completion of a scan with `detections` rows that ran to its end or was `stopped`.
Completion CompletionFor(std::uint64_t detections, bool stopped);

/// Lines that say what a scan could not check: "N file(s) could not be read, so they were not
/// checked.", "N folder(s) could not be read, so the files in them were not checked." and "N
/// file(s) could not be looked up in the signature database (REASON).", each for a count above 0;
/// empty when everything was checked.
std::string UncheckedNote(std::uint64_t unreadable, std::uint64_t unreadableFolders,
                          std::uint64_t lookupFailed, const std::string& lookupReason);
/// Adds the note to the completion's message; a scan that could not check every file shows the
/// exclamation icon.
void AddUncheckedNote(Completion& completion, const std::string& note);

/// Status of an idle main window.
inline constexpr std::string_view kWelcome =
    "Welcome to Kesto Virus Scanner. Click Scan for start scanning...";

/// When the main window's status line returns to kWelcome: at the window's first activation, and
/// when it becomes active again after another window of the program (a tool window such as the
/// signature list) was active. Message boxes, dialogs and other programs are not reported, so the
/// completion or action text the user is reading survives them.
class WelcomeLine {
public:
    /// A window of the program became active that is neither the main window nor a message box
    /// or dialog.
    void programWindowActivated();
    /// The main window became active; true when its status line shows kWelcome.
    bool mainWindowActivated();

private:
    bool m_due = true;
};

} // namespace ScanTexts
