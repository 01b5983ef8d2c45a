#include "scanner/ScanTexts.h"

#include "platform/ProgramFolder.h"
#include "scanner/StartupTexts.h"

#include <gtest/gtest.h>

using namespace ScanTexts;

namespace {

/// `path`, written from the root with '/', as this system writes it: "/home/" on Linux,
/// "C:\home\" on Windows.
std::string native(std::string path) {
#ifdef _WIN32
    path = "C:" + path;
#endif
    for (char& c : path) {
        c = c == '/' ? platform::kPathSeparator : c;
    }
    return path;
}

} // namespace

TEST(ScanTexts, PercentRoundsHalvesToEvenAndNeedsATotal) {
    EXPECT_EQ(Percent(0, 5), std::nullopt);
    EXPECT_EQ(Percent(8, 1), 12);    // 12.5
    EXPECT_EQ(Percent(200, 27), 14); // 13.5
    EXPECT_EQ(Percent(3, 1), 33);
    EXPECT_EQ(Percent(3, 2), 67);
    EXPECT_EQ(Percent(1000, 999), 100); // 99.9
    EXPECT_EQ(Percent(2, 3), 150);      // more checked than counted
    EXPECT_EQ(PercentText(37), "37 % Complete...");
}

TEST(ScanTexts, FileDisplayShortensLongPathsToHeadAndNameTail) {
    EXPECT_EQ(FileDisplay(native("/home/user/"), "letter.txt"), native("/home/user/letter.txt"));
    const std::string folder = native("/home/user/documents/projects/2010/archive/");
    EXPECT_EQ(FileDisplay(folder, "a-very-long-file-name.exe"),
              native("/home/.../...g-file-name.exe"));
    EXPECT_EQ(FileDisplay(folder, "fifteen-chars.x"), native("/home/.../...fifteen-chars.x"));
    EXPECT_EQ(FileDisplay(folder, "short.exe"), native("/home/.../short.exe"));
    // No separator at or after the fourth character: the head is empty.
#ifdef _WIN32
    EXPECT_EQ(FileDisplay("C:\\", std::string(60, 'n')), "...\\..." + std::string(15, 'n'));
    EXPECT_EQ(FileDisplay("C:\\a\\", std::string(45, 'n')), "C:\\a\\" + std::string(45, 'n'));
#else
    EXPECT_EQ(FileDisplay("/a/", std::string(60, 'n')), ".../..." + std::string(15, 'n'));
    EXPECT_EQ(FileDisplay("/ab/", std::string(46, 'n')), "/ab/" + std::string(46, 'n'));
#endif
}

TEST(ScanTexts, FileDisplayCountsTheCharactersOfUtf8AndTheBytesOfOtherNames) {
    // "\xC3\xA9" is one character, e with an acute accent.
    const std::string e = "\xC3\xA9";
    std::string accents;
    for (int i = 0; i < 30; ++i) {
        accents += e;
    }
    // 36 characters in 66 bytes: short enough to show whole.
    EXPECT_EQ(FileDisplay(native("/home/"), accents), native("/home/") + accents);

    const std::string folder = native("/home/user/documents/projects/2010/archive/");
    EXPECT_EQ(FileDisplay(folder, "Fr\xC3\xBChlingsgr\xC3\xBC\xC3\x9F"
                                  "e-f\xC3\xBCr-Gro\xC3\x9Fm\xC3\xBCtter.doc"),
              native("/home/.../...-Gro\xC3\x9Fm\xC3\xBCtter.doc"));
    // A tail of 15 bytes would begin inside a character.
    EXPECT_EQ(FileDisplay(folder, accents + ".exe"),
              native("/home/.../...") + accents.substr(0, 11 * e.size()) + ".exe");
    // 14 characters, 26 bytes: no "..." before the name.
    const std::string fourteen = accents.substr(0, 12 * e.size()) + ".x";
    EXPECT_EQ(FileDisplay(folder, fourteen), native("/home/.../") + fourteen);

    // Bytes that are not UTF-8 (Latin-1 here) are counted one by one, as before.
    const std::string latin1(20, '\xE9');
    EXPECT_EQ(FileDisplay(folder, latin1), native("/home/.../...") + std::string(15, '\xE9'));
#ifndef _WIN32
    // The head ends at the first separator at or after the fourth character, not byte.
    EXPECT_EQ(FileDisplay("/" + e + "/b/", std::string(60, 'n')),
              "/" + e + "/b/.../..." + std::string(15, 'n'));
#endif
}

TEST(ScanTexts, ElapsedTextPadsToTwoDigitsAndKeepsLongHours) {
    EXPECT_EQ(ElapsedText(0), "00:00:00");
    EXPECT_EQ(ElapsedText(67), "00:01:07");
    EXPECT_EQ(ElapsedText(3600 * 12 + 59 * 60 + 59), "12:59:59");
    EXPECT_EQ(ElapsedText(3600 * 100 + 5), "100:00:05");
}

TEST(ScanTexts, WaitAnimationCyclesThroughFourDotsWithAQuietTick) {
    WaitAnimation animation;
    const std::string text = "Being analyzed, Please wait";
    for (int round = 0; round < 2; ++round) {
        for (int dots = 0; dots <= 4; ++dots) {
            EXPECT_EQ(animation.tick(), text + std::string(static_cast<std::size_t>(dots), '.'));
        }
        EXPECT_EQ(animation.tick(), std::nullopt);
    }
}

TEST(ScanTexts, WelcomeLineGreetsAtFirstAndAfterAnotherProgramWindowOnly) {
    WelcomeLine welcome;
    EXPECT_TRUE(welcome.mainWindowActivated());
    // Message boxes, dialogs and other programs are not reported: the status line stays.
    EXPECT_FALSE(welcome.mainWindowActivated());
    EXPECT_FALSE(welcome.mainWindowActivated());

    // Back from a tool window, even when it had its own message box or the user went elsewhere
    // before returning: one greeting.
    welcome.programWindowActivated();
    welcome.programWindowActivated();
    EXPECT_TRUE(welcome.mainWindowActivated());
    EXPECT_FALSE(welcome.mainWindowActivated());
}

TEST(ScanTexts, CompletionOfFinishedAndStoppedScans) {
    const Completion found = CompletionFor(3, false);
    EXPECT_EQ(found.status, "Scanning is finished, 3 virus detected...");
    EXPECT_TRUE(found.showMessage);
    EXPECT_EQ(found.messageTitle, "Detected");
    EXPECT_EQ(found.messageStyle, 48);
    EXPECT_FALSE(found.resetProgress);

    const Completion clean = CompletionFor(0, false);
    EXPECT_EQ(clean.status, "Scanning is finished, no virus detected...");
    EXPECT_EQ(clean.messageTitle, "No Detected");
    EXPECT_EQ(clean.messageStyle, 64);

    const Completion stopped = CompletionFor(2, true);
    EXPECT_EQ(stopped.status, "Process terminated, 2 virus detected...");
    EXPECT_FALSE(stopped.showMessage);
    EXPECT_TRUE(stopped.resetProgress);
    EXPECT_EQ(CompletionFor(0, true).status, "Process terminated, no virus detected...");
}

TEST(ScanTexts, UncheckedNoteNamesWhatWasMissedAndTurnsTheIconToAWarning) {
    EXPECT_EQ(UncheckedNote(0, 0, 0, ""), "");
    EXPECT_EQ(UncheckedNote(2, 3, 1, "gone"),
              "2 file(s) could not be read, so they were not checked.\n"
              "3 folder(s) could not be read, so the files in them were not checked.\n"
              "1 file(s) could not be looked up in the signature database (gone).");

    // A clean-looking scan that missed a folder keeps its texts and title, and warns.
    Completion clean = CompletionFor(0, false);
    AddUncheckedNote(clean, UncheckedNote(0, 1, 0, ""));
    EXPECT_EQ(clean.status, "Scanning is finished, no virus detected...");
    EXPECT_EQ(clean.message, clean.status + "\n\n1 folder(s) could not be read, so the files in "
                                            "them were not checked.");
    EXPECT_EQ(clean.messageTitle, "No Detected");
    EXPECT_EQ(clean.messageStyle, 48);

    // Nothing missed: the message is the status alone.
    Completion whole = CompletionFor(0, false);
    AddUncheckedNote(whole, UncheckedNote(0, 0, 0, ""));
    EXPECT_EQ(whole.message, whole.status);
    EXPECT_EQ(whole.messageStyle, 64);
}

TEST(StartupTexts, SplashRunsToOneHundredThenHandsOver) {
    std::vector<int> values;
    std::vector<int> intervals;
    int value = 0;
    for (;;) {
        const StartupTexts::SplashStep step = StartupTexts::NextSplashStep(value);
        if (step.handOver) {
            break;
        }
        value = step.value;
        values.push_back(value);
        if (step.intervalMs) {
            intervals.push_back(*step.intervalMs);
        }
        ASSERT_LT(values.size(), 100u);
    }
    EXPECT_EQ(values.size(), 45u + 9u);
    EXPECT_EQ(std::vector<int>(values.begin() + 44, values.end()),
              (std::vector<int>{45, 67, 71, 75, 79, 83, 87, 91, 97, 100}));
    EXPECT_EQ(intervals, (std::vector<int>{250, 250, 250, 250, 250, 550}));
}

TEST(StartupTexts, DatabaseNotFoundNamesTheFileBesideTheProgram) {
    EXPECT_EQ(StartupTexts::DatabaseNotFoundText(native("/opt/kesto")),
              "Sorry...\r\nFile ''" + native("/opt/kesto/Virus Database.dll") +
                  "'' Nothing found.\r\n"
                  "Kesto Virus Scanner can not perform this command.\r\nPlease download again "
                  "https://kesto-scanner.example.org");
}
