#include "cli/Commands.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"
#include "testsupport/Unprivileged.h"

#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>

using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

struct CommandRun {
    int code = -1;
    std::string out;
    std::string err;
};

template <class Runner, class Where>
CommandRun run(Runner runner, const std::vector<std::string>& operands, const Where& where) {
    CommandLine line;
    line.operands = operands;
    std::ostringstream out;
    std::ostringstream err;
    CommandRun result;
    result.code = runner(line, {out, err}, where);
    result.out = out.str();
    result.err = err.str();
    return result;
}

} // namespace

TEST(UsbLockCommand, ShowsLocksAndUnlocks) {
    TempDir dir;
    const modReg::Locations where{dir.file("store"), dir.file("modprobe.d")};
    EXPECT_EQ(run(runUsbLockAt, {"status"}, where).out, "Un-Locked\n");
    const CommandRun locked = run(runUsbLockAt, {"lock"}, where);
    EXPECT_EQ(locked.code, kExitClean);
    EXPECT_EQ(locked.out, "USB Port Has Been Locked...\n");
    EXPECT_EQ(run(runUsbLockAt, {"status"}, where).out, "Locked\n");
    EXPECT_EQ(run(runUsbLockAt, {"unlock"}, where).code, kExitClean);
    EXPECT_EQ(run(runUsbLockAt, {"status"}, where).out, "Un-Locked\n");
    writeFile(where.ruleFolder + "/kesto-usb-storage.conf",
              "# Kesto Virus Scanner USB storage lock: Start=2\n");
    EXPECT_EQ(run(runUsbLockAt, {"status"}, where).out, "Neither (Start=2)\n");

    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{}, {"Lock"}, {"lock", "now"}}) {
        const CommandRun wrong = run(runUsbLockAt, bad, where);
        EXPECT_EQ(wrong.code, kExitError);
        EXPECT_EQ(wrong.err, "kesto: usb-lock takes one of: status, lock, unlock\n");
    }
}

/// A rule folder holding the rule file `text`.
struct RuleFolder {
    TempDir dir;
    modReg::Locations where{dir.file("store"), dir.file("modprobe.d")};

    explicit RuleFolder(const std::string& text) {
        writeFile(where.ruleFolder + "/kesto-usb-storage.conf", text);
    }
};

constexpr char kBlockingLines[] = "blacklist usb_storage\ninstall usb_storage /bin/false\n"
                                  "blacklist uas\ninstall uas /bin/false\n";

TEST(UsbLockCommand, TheNumberFourWithoutTheBlockingLinesIsNotLocked) {
    const RuleFolder rules("# Kesto Virus Scanner USB storage lock: Start=4\n");
    const CommandRun status = run(runUsbLockAt, {"status"}, rules.where);
    EXPECT_EQ(status.code, kExitClean);
    EXPECT_EQ(status.out, "Neither (Start=4, no blocking lines)\n");
    const RuleFolder some(
        "# Kesto Virus Scanner USB storage lock: Start=4\nblacklist usb_storage\n");
    EXPECT_EQ(run(runUsbLockAt, {"status"}, some.where).out,
              "Neither (Start=4, 1 of 4 blocking lines)\n");
    // Locking writes the rule whole again.
    ASSERT_EQ(run(runUsbLockAt, {"lock"}, rules.where).code, kExitClean);
    EXPECT_EQ(run(runUsbLockAt, {"status"}, rules.where).out, "Locked\n");
}

TEST(UsbLockCommand, TheNumberThreeUnderTheBlockingLinesIsNotUnLocked) {
    const RuleFolder rules(std::string("# Kesto Virus Scanner USB storage lock: Start=3\n") +
                           kBlockingLines);
    const CommandRun status = run(runUsbLockAt, {"status"}, rules.where);
    EXPECT_EQ(status.code, kExitClean);
    EXPECT_EQ(status.out, "Neither (Start=3, 4 of 4 blocking lines)\n");
    ASSERT_EQ(run(runUsbLockAt, {"unlock"}, rules.where).code, kExitClean);
    EXPECT_EQ(run(runUsbLockAt, {"status"}, rules.where).out, "Un-Locked\n");
}

TEST(UsbLockCommand, AnUnprivilegedLockNamesTheMissingRight) {
    TempDir dir;
    // A rule folder that does not exist, in a folder only root may write.
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(dir.file("etc").c_str(), 0555), 0);
    const modReg::Locations where{dir.file("store"), dir.file("etc/modprobe.d")};
    const int status = testsupport::runUnprivileged([&where] {
        const CommandRun failed = run(runUsbLockAt, {"lock"}, where);
        if (failed.code != kExitError || !failed.out.empty()) {
            return 1;
        }
        return failed.err == "kesto: USB Port could not be locked. Root rights are needed to "
                             "change the USB storage rule.\n"
                   ? 0
                   : 2;
    });
    EXPECT_EQ(status, 0);
    // Reading needs no rights.
    EXPECT_EQ(testsupport::runUnprivileged([&where] {
                  return run(runUsbLockAt, {"status"}, where).out == "Un-Locked\n" ? 0 : 1;
              }),
              0);
}

TEST(UsbLockCommand, AFailedLockSaysWhyAndExitsTwo) {
    TempDir dir;
    const modReg::Locations where{dir.file("store"), dir.file("rules")};
    writeFile(where.ruleFolder, "a file, not a folder");
    const CommandRun failed = run(runUsbLockAt, {"lock"}, where);
    EXPECT_EQ(failed.code, kExitError);
    EXPECT_EQ(failed.out, "");
    EXPECT_EQ(failed.err.rfind("kesto: USB Port could not be locked. The rule file could not", 0),
              0U);
    EXPECT_EQ(run(runUsbLockAt, {"status"}, where).code, kExitError);
    EXPECT_EQ(readFile(where.ruleFolder), "a file, not a folder");
}

TEST(CryptCommands, EncryptAndDecryptInPlace) {
    TempDir dir;
    const std::string keys = dir.file("keys");
    writeFile(dir.file("note.txt"), "hello");
    const CommandRun encrypted = run(runEncryptWith, {dir.file("note.txt")}, keys);
    EXPECT_EQ(encrypted.code, kExitClean);
    EXPECT_EQ(encrypted.out, "Success\n");
    EXPECT_NE(readFile(dir.file("note.txt")), "hello");
    EXPECT_EQ(run(runDecryptWith, {dir.file("note.txt")}, keys).code, kExitClean);
    EXPECT_EQ(readFile(dir.file("note.txt")), "hello");

    const CommandRun missing = run(runEncryptWith, {dir.file("missing")}, keys);
    EXPECT_EQ(missing.code, kExitError);
    EXPECT_EQ(missing.err,
              "kesto: cannot encrypt '" + dir.file("missing") + "': No such file or directory\n");
    EXPECT_EQ(run(runDecryptWith, {}, keys).err, "kesto: decrypt takes exactly one FILE\n");
}
