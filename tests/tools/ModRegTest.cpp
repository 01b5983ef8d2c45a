#include "tools/modReg.h"

#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"
#include "testsupport/Unprivileged.h"
#include "tools/UsbLock.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using modReg::Value;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

constexpr auto HKLM = modReg::HKEY_LOCAL_MACHINE;
constexpr char kKey[] = "SOFTWARE\\Kesto\\Settings";

class ModReg : public ::testing::Test {
protected:
    TempDir dir;
    modReg::Locations where{dir.file("store"), dir.file("modprobe.d")};

    std::string ruleFile() const { return where.ruleFolder + "/" + modReg::kRuleFileName; }
    std::string valuesFile() const {
        return where.storeRoot + "/HKEY_LOCAL_MACHINE/software/kesto/settings/values";
    }
};

} // namespace

TEST_F(ModReg, WritesAndReadsTextAndNumbersCaseInsensitively) {
    Value text = std::string("tab\there\nand \\ slash");
    ASSERT_TRUE(modReg::RegWriteValue(HKLM, kKey, "Name", text, modReg::REG_SZ, where));
    Value number = std::string("  -1 ");
    ASSERT_TRUE(modReg::RegWriteValue(HKLM, kKey, "Count", number, modReg::REG_DWORD, where));
    Value replaced = std::uint32_t{7};
    ASSERT_TRUE(modReg::RegWriteValue(HKLM, "software\\KESTO\\settings", "COUNT", replaced,
                                      modReg::REG_DWORD, where));

    EXPECT_EQ(modReg::RegReadValue(HKLM, kKey, "name", where),
              Value(std::string("tab\there\nand \\ slash")));
    EXPECT_EQ(modReg::RegReadValue(HKLM, kKey, "Count", where), Value(std::uint32_t{7}));
    EXPECT_EQ(modReg::RegReadValue(HKLM, kKey, "Missing", where), Value());
    EXPECT_EQ(modReg::RegReadValue(modReg::HKEY_CURRENT_USER, kKey, "Name", where), Value());
}

TEST_F(ModReg, AnEmptyTextIsStoredAsABlankAndABlankReadsAsEmpty) {
    Value empty = std::string();
    ASSERT_TRUE(modReg::RegWriteValue(HKLM, kKey, "Empty", empty, modReg::REG_SZ, where));
    EXPECT_EQ(empty, Value(std::string(" ")));
    EXPECT_EQ(readFile(valuesFile()), "empty\t1\t \n");
    EXPECT_EQ(modReg::RegReadValue(HKLM, kKey, "Empty", where), Value(std::string()));

    // The blank made from "" is no number.
    Value emptyNumber = std::string();
    EXPECT_FALSE(modReg::RegWriteValue(HKLM, kKey, "N", emptyNumber, modReg::REG_DWORD, where));
}

TEST_F(ModReg, UnsupportedTypesAndNonNumbersFailAndStoreNothing) {
    modReg::KeyHandle key;
    ASSERT_EQ(modReg::RegOpenKey(HKLM, kKey, true, key, where), modReg::ERROR_SUCCESS);
    EXPECT_NE(modReg::RegSetTyped(key, "Bin", 3, Value(std::string("x"))), modReg::ERROR_SUCCESS);
    for (const char* text : {"abc", "12abc", "4294967296", "-2147483649", "0x10", ""}) {
        EXPECT_NE(modReg::RegSetTyped(key, "N", modReg::REG_DWORD, Value(std::string(text))),
                  modReg::ERROR_SUCCESS)
            << text;
    }
    EXPECT_FALSE(std::filesystem::exists(valuesFile()));
    Value bad = std::string("nine");
    EXPECT_FALSE(modReg::RegWriteValue(HKLM, kKey, "N", bad, modReg::REG_DWORD, where));
}

TEST_F(ModReg, KeyPathsNeverLeaveTheStoreRoot) {
    Value value = std::string("x");
    const std::vector<std::string> paths = {
        "..\\..\\escape",       "a\\..\\..\\b", "/tmp/abs", "a\\\\b", "", "a/b",
        std::string("a\0b", 3), ".hidden"};
    for (const std::string& path : paths) {
        EXPECT_FALSE(modReg::RegEnsureKey(HKLM, path, where)) << path;
        EXPECT_FALSE(modReg::RegWriteValue(HKLM, path, "v", value, modReg::REG_SZ, where)) << path;
    }
    EXPECT_FALSE(modReg::RegEnsureKey(0x12345678U, "Software", where));
    EXPECT_FALSE(std::filesystem::exists(dir.file("escape")));
    EXPECT_FALSE(std::filesystem::exists(where.storeRoot + "/HKEY_LOCAL_MACHINE/a"));
}

TEST_F(ModReg, HostileStoreFilesReadAsMissingAndNeverCrash) {
    ASSERT_TRUE(modReg::RegEnsureKey(HKLM, kKey, where));
    static constexpr char kHostile[] = "bad line\nx\tnotype\t1\ny\t4\tnot a number\n"
                                       "z\t3\tbinary\nesc\t1\tdangling\\\nok\t1\tfirst\n"
                                       "ok\t1\tsecond\n\0\0\0";
    writeFile(valuesFile(), std::string(kHostile, sizeof kHostile - 1));
    EXPECT_EQ(modReg::RegReadValue(HKLM, kKey, "x", where), Value());
    EXPECT_EQ(modReg::RegReadValue(HKLM, kKey, "y", where), Value());
    EXPECT_EQ(modReg::RegReadValue(HKLM, kKey, "esc", where), Value());
    EXPECT_EQ(modReg::RegReadValue(HKLM, kKey, "ok", where), Value(std::string("first")));
    modReg::KeyHandle key;
    ASSERT_EQ(modReg::RegOpenKey(HKLM, kKey, false, key, where), modReg::ERROR_SUCCESS);
    Value other;
    EXPECT_EQ(modReg::RegQueryTyped(key, "z", other), -1);

    writeFile(valuesFile(), std::string(2 * 1024 * 1024, 'a'));
    EXPECT_EQ(modReg::RegReadValue(HKLM, kKey, "ok", where), Value());
    std::filesystem::remove(valuesFile());
    std::filesystem::create_symlink("/etc/passwd", valuesFile());
    EXPECT_EQ(modReg::RegReadValue(HKLM, kKey, "root", where), Value());
}

TEST_F(ModReg, UsbStorStartIsTheRuleFile) {
    // No file: the drivers load.
    EXPECT_EQ(UsbLock::ReadStart(where), Value(std::uint32_t{3}));
    ASSERT_FALSE(UsbLock::SetLocked(true, where));
    EXPECT_EQ(readFile(ruleFile()), "# Kesto Virus Scanner USB storage lock: Start=4\n"
                                    "blacklist usb_storage\n"
                                    "install usb_storage /bin/false\n"
                                    "blacklist uas\n"
                                    "install uas /bin/false\n");
    EXPECT_EQ(UsbLock::ReadStart(where), Value(std::uint32_t{4}));
    ASSERT_FALSE(UsbLock::SetLocked(false, where));
    EXPECT_EQ(readFile(ruleFile()), "# Kesto Virus Scanner USB storage lock: Start=3\n");
    EXPECT_EQ(UsbLock::ReadStart(where), Value(std::uint32_t{3}));

    Value other = std::uint32_t{7};
    ASSERT_TRUE(modReg::RegWriteValue(HKLM, "system\\currentcontrolset\\services\\usbstor", "START",
                                      other, modReg::REG_DWORD, where));
    EXPECT_EQ(readFile(ruleFile()), "# Kesto Virus Scanner USB storage lock: Start=7\n");
    EXPECT_EQ(UsbLock::ReadStart(where), Value(std::uint32_t{7}));
    EXPECT_FALSE(UsbLock::StateOf(UsbLock::ReadStart(where)));

    // Only a number maps to the rule file, and nothing else lives there.
    Value text = std::string("4");
    EXPECT_FALSE(
        modReg::RegWriteValue(HKLM, modReg::kUsbStorKey, "Start", text, modReg::REG_SZ, where));
    EXPECT_FALSE(
        modReg::RegWriteValue(HKLM, modReg::kUsbStorKey, "Other", text, modReg::REG_DWORD, where));
    EXPECT_EQ(UsbLock::ReadStart(where), Value(std::uint32_t{7}));
    EXPECT_FALSE(std::filesystem::exists(where.storeRoot));
}

TEST_F(ModReg, RuleFilesWithoutTheHeaderAndHostileRuleFiles) {
    EXPECT_EQ(modReg::StartFromRuleText("install usb_storage /bin/false\n"), 4U);
    EXPECT_EQ(modReg::StartFromRuleText("blacklist usb_storage\n"), 3U);
    EXPECT_EQ(modReg::StartFromRuleText(""), 3U);
    EXPECT_EQ(modReg::StartFromRuleText("# Kesto Virus Scanner USB storage lock: Start=zz\n"), 3U);
    std::filesystem::create_directories(where.ruleFolder);
    std::filesystem::create_directory(ruleFile());
    EXPECT_EQ(UsbLock::ReadStart(where), Value());
    EXPECT_FALSE(UsbLock::StateOf(UsbLock::ReadStart(where)));
}

TEST_F(ModReg, AFailedLockReportsItsReasonAndKeepsTheOldRule) {
    ASSERT_FALSE(UsbLock::SetLocked(false, where));
    const std::string before = readFile(ruleFile());
    // A rule folder that is a file cannot be written, even by root.
    modReg::Locations broken{where.storeRoot, dir.file("notafolder")};
    writeFile(broken.ruleFolder, "plain file");
    const std::error_code error = UsbLock::SetLocked(true, broken);
    EXPECT_EQ(error, std::errc::not_a_directory);
    EXPECT_EQ(UsbLock::FailureText(true, error),
              " USB Port could not be locked.\r\nThe rule file could not be written: " +
                  error.message() + ".");
    EXPECT_EQ(UsbLock::FailureText(false, std::make_error_code(std::errc::permission_denied)),
              " USB Port could not be un-locked.\r\n"
              "Root rights are needed to change the USB storage rule.");
    EXPECT_EQ(readFile(broken.ruleFolder), "plain file");
    EXPECT_EQ(readFile(ruleFile()), before);
}

TEST_F(ModReg, TheWatcherRereadsOnlyWhenTheRuleFileChanged) {
    UsbLock::StartWatcher watcher(where);
    EXPECT_EQ(watcher.poll().start, Value(std::uint32_t{3}));
    EXPECT_EQ(watcher.poll().start, Value(std::uint32_t{3}));
    EXPECT_EQ(watcher.reads(), 1);
    ASSERT_FALSE(UsbLock::SetLocked(true, where));
    EXPECT_EQ(watcher.poll().start, Value(std::uint32_t{4}));
    EXPECT_EQ(watcher.poll().blockingLines, 4);
    EXPECT_EQ(watcher.reads(), 2);
}

TEST(UsbLockStatus, TheBlockingLinesDecideAndADisagreementIsNeither) {
    const auto status = [](const std::string& text) {
        return UsbLock::StatusText(
            {modReg::StartFromRuleText(text), modReg::BlockingLinesIn(text)});
    };
    EXPECT_EQ(status(modReg::RuleFileText(4)), "Locked");
    EXPECT_EQ(status(modReg::RuleFileText(3)), "Un-Locked");
    EXPECT_EQ(status(""), "Un-Locked");
    EXPECT_EQ(status(modReg::RuleFileText(2)), "Neither (Start=2)");
    EXPECT_EQ(status(modReg::RuleFileText(4).substr(0, 48)),
              "Neither (Start=4, no blocking lines)");
    EXPECT_EQ(status(modReg::RuleFileText(3) + modReg::RuleFileText(4).substr(48)),
              "Neither (Start=3, 4 of 4 blocking lines)");
    EXPECT_EQ(status(modReg::RuleFileText(4).substr(0, 48) + "blacklist usb_storage\n"
                                                             "install usb_storage /bin/false\n"),
              "Neither (Start=4, 2 of 4 blocking lines)");
    EXPECT_EQ(status(modReg::RuleFileText(7) + "install uas /bin/false\n"),
              "Neither (Start=7, 1 of 4 blocking lines)");
    // Without the header, the lines alone say it.
    EXPECT_EQ(status("blacklist usb_storage\ninstall usb_storage /bin/false\n"
                     "blacklist uas\ninstall uas /bin/false\n"),
              "Locked");
}

TEST(UsbLockStatus, BlockingLinesAreReadAsModprobeReadsThem) {
    EXPECT_EQ(modReg::BlockingLinesIn("  blacklist\tusb-storage \r\n"
                                      "install  usb_storage\t/bin/false\n"
                                      "blacklist uas\nblacklist uas\ninstall uas /bin/false"),
              4);
    EXPECT_EQ(modReg::BlockingLinesIn("# blacklist usb_storage\n"
                                      "#install uas /bin/false\n"
                                      "blacklist usb_storage now\n"
                                      "install usb_storage /bin/true\n"
                                      "install uas /bin/false --quiet\n"
                                      "blacklist usb_storage_x\nblacklist\n\n \n"),
              0);
    EXPECT_EQ(modReg::BlockingLinesIn(std::string(1024 * 1024, '\n')), 0);
}

TEST_F(ModReg, TheStatusReadsTheRuleFileOnce) {
    EXPECT_EQ(UsbLock::ReadStatus(where).start, Value(std::uint32_t{3}));
    EXPECT_EQ(UsbLock::ReadStatus(where).blockingLines, 0);
    std::filesystem::create_directories(where.ruleFolder);
    writeFile(ruleFile(), modReg::RuleFileText(4).substr(0, 48));
    const UsbLock::Status status = UsbLock::ReadStatus(where);
    EXPECT_EQ(status.start, Value(std::uint32_t{4}));
    EXPECT_EQ(status.blockingLines, 0);
    EXPECT_FALSE(UsbLock::StateOf(status));
    EXPECT_TRUE(UsbLock::LinesDisagree(status));
    std::filesystem::remove(ruleFile());
    std::filesystem::create_directory(ruleFile());
    EXPECT_EQ(UsbLock::ReadStatus(where).start, Value());
    EXPECT_FALSE(UsbLock::LinesDisagree(UsbLock::ReadStatus(where)));
}

TEST(UsbLockTexts, MessagesAreExact) {
    const std::string readMe = UsbLock::ReadMeText();
    EXPECT_NE(readMe.find("usage ofnewly plugged-in"), std::string::npos);
    EXPECT_NE(readMe.find("flash drives,devices"), std::string::npos);
    EXPECT_NE(readMe.find("normally.Also,"), std::string::npos);
    EXPECT_NE(readMe.find("option.\r\n\r\nNote: This tool"), std::string::npos);
    EXPECT_NE(readMe.find("disks,but will"), std::string::npos);
    EXPECT_EQ(readMe.size(), 728U);
    EXPECT_EQ(UsbLock::AboutText(), "Author          Kesto Team\r"
                                    "E-mail           team@kesto-scanner.example.org\r"
                                    "Web Site      https://kesto-scanner.example.org\r\r"
                                    "Thank you for using this program");
    EXPECT_EQ(UsbLock::StateOf(Value(std::string("4"))), 4U);
    EXPECT_FALSE(UsbLock::StateOf(Value()));
    EXPECT_FALSE(UsbLock::StateOf(Value(std::uint32_t{1})));
}

TEST(ModRegDefaults, TheSystemFoldersAreTheDefaults) {
    const modReg::Locations system;
    EXPECT_EQ(system.storeRoot, "/var/lib/kesto/registry");
    EXPECT_EQ(system.ruleFolder, "/etc/modprobe.d");
}

TEST_F(ModReg, ALockWithoutTheRightToMakeTheRuleFolderSaysSo) {
    // The rule folder is missing and its parent, which anyone may search, no one but root may
    // write: the folder cannot be made, and that is the reason given, not that it is missing.
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_TRUE(std::filesystem::create_directory(dir.file("etc")));
    ASSERT_EQ(::chmod(dir.file("etc").c_str(), 0555), 0);
    const modReg::Locations missing{where.storeRoot, dir.file("etc/modprobe.d")};
    const int status = testsupport::runUnprivileged([&missing] {
        const std::error_code error = UsbLock::SetLocked(true, missing);
        const bool saysRoot =
            UsbLock::FailureText(true, error).find("Root rights are needed") != std::string::npos;
        return error == std::errc::permission_denied && saysRoot ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(std::filesystem::exists(missing.ruleFolder));
}

TEST_F(ModReg, ALockWithoutRootRightsSaysSoAndChangesNothing) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "an ordinary user can write the temporary rule folder";
    }
    ASSERT_FALSE(UsbLock::SetLocked(false, where));
    const std::string before = readFile(ruleFile());
    const int status = testsupport::runUnprivileged([this] {
        const std::error_code error = UsbLock::SetLocked(true, where);
        const bool saysRoot =
            UsbLock::FailureText(true, error).find("Root rights are needed") != std::string::npos;
        return error == std::errc::permission_denied && saysRoot ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(readFile(ruleFile()), before);
}
