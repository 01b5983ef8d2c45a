#include "cli/Commands.h"
#include "platform/AtomicFile.h"
#include "platform/FileCrypt.h"
#include "testsupport/CommandRun.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"
#include "testsupport/Unprivileged.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using testsupport::CommandRun;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

template <class Runner, class Where>
CommandRun run(Runner runner, const std::vector<std::string>& operands, const Where& where) {
    CommandLine line;
    line.operands = operands;
    return testsupport::runCommand(runner, line, where);
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
        EXPECT_EQ(wrong.err,
                  "kesto: usb-lock takes one of: status, lock, unlock\nTry 'kesto --help'.\n");
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
    EXPECT_EQ(run(runDecryptWith, {}, keys).err,
              "kesto: decrypt takes exactly one FILE\nTry 'kesto --help'.\n");
}

TEST(CryptCommands, APlainFileThatStartsWithTheHeaderIsRefused) {
    TempDir dir;
    const std::string path = dir.file("note.txt");
    const std::string plain = std::string("KESTOENC\x01", 9).append(" plain words");
    writeFile(path, plain);
    const CommandRun refused = run(runEncryptWith, {path}, dir.file("keys"));
    EXPECT_EQ(refused.code, kExitError);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err, "kesto: cannot encrypt '" + path +
                               "': the file starts like a file encrypted with another key, so it "
                               "is not encrypted again\n");
    EXPECT_EQ(readFile(path), plain);
}

TEST(CryptCommands, AKeyOthersCanReadIsRefusedWithTheRepair) {
    TempDir dir;
    const std::string keys = dir.file("keys");
    const std::string key = keys + "/file-encryption.key";
    const std::string path = dir.file("note.txt");
    writeFile(path, "hello");
    ASSERT_EQ(run(runEncryptWith, {path}, keys).code, kExitClean);
    const std::string sealed = readFile(path);
    ASSERT_EQ(::chmod(key.c_str(), 0644), 0);
    const CommandRun exposed = run(runDecryptWith, {path}, keys);
    EXPECT_EQ(exposed.code, kExitError);
    EXPECT_EQ(exposed.err, "kesto: cannot decrypt '" + path + "': the key file '" + key +
                               "' can be read or changed by other users, so it is not used; make "
                               "it private with: chmod 600 '" +
                               key + "'\n");
    EXPECT_EQ(readFile(path), sealed);
    ASSERT_EQ(::chmod(key.c_str(), 0600), 0);
    ASSERT_EQ(::chmod(keys.c_str(), 0777), 0);
    const CommandRun open = run(runDecryptWith, {path}, keys);
    EXPECT_EQ(open.code, kExitError);
    EXPECT_EQ(open.err, "kesto: cannot decrypt '" + path + "': the key folder '" + keys +
                            "' is not yours or can be changed by other users, so it is not used; "
                            "make it private with: chmod 700 '" +
                            keys + "'\n");
    ASSERT_EQ(::chmod(keys.c_str(), 0700), 0);
    EXPECT_EQ(run(runDecryptWith, {path}, keys).code, kExitClean);
    EXPECT_EQ(readFile(path), "hello");
}

TEST(CryptCommands, AKeyFolderThatCannotBeMadeIsNamed) {
    TempDir dir;
    // As for an account whose home folder cannot be written: the key folder's parent is
    // read-only, while the file's own folder is the user's.
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(dir.file("home").c_str(), 0555), 0);
    ASSERT_EQ(::mkdir(dir.file("mine").c_str(), 0700), 0);
    const std::string path = dir.file("mine/note.txt");
    writeFile(path, "hello");
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(dir.file("mine").c_str(), 65534, 65534), 0);
        ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    }
    const std::string keys = dir.file("home/.config/kesto");
    const std::string expected = "kesto: cannot encrypt '" + path +
                                 "': cannot make or use the key folder '" + keys +
                                 "': Permission denied (to keep the key elsewhere, set "
                                 "XDG_CONFIG_HOME to a folder of your own)\n";
    EXPECT_EQ(testsupport::runUnprivileged([&] {
                  const CommandRun failed = run(runEncryptWith, {path}, keys);
                  return failed.code == kExitError && failed.err == expected ? 0 : 1;
              }),
              0);
    EXPECT_EQ(readFile(path), "hello");
}

namespace {

/// Runs the command in a child process that sends itself `signal` while the second piece of the
/// temporary file is written; the child's exit status (-1 when a signal ended it) and messages.
CommandRun runSignalled(bool encrypt, const std::string& path, const std::string& keys,
                        const std::string& messages, int signal) {
    const pid_t child = ::fork();
    if (child == 0) {
        int writes = 0;
        platform::setWriteCall([&writes, signal](int fd, const void* data, std::size_t size) {
            if (++writes == 2) {
                ::kill(::getpid(), signal);
            }
            return ::write(fd, data, size);
        });
        const CommandRun result = run(encrypt ? runEncryptWith : runDecryptWith, {path}, keys);
        writeFile(messages, result.err);
        ::_exit(result.code);
    }
    int status = 0;
    CommandRun result;
    if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status)) {
        result.code = WEXITSTATUS(status);
        result.err = readFile(messages);
    }
    return result;
}

std::size_t entryCount(const std::string& folder) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++count;
    }
    return count;
}

} // namespace

TEST(CryptCommands, CtrlCStopsTheRewriteAndLeavesNoTemporary) {
    TempDir dir;
    const std::string keys = dir.file("keys");
    const std::string path = dir.file("files/big.bin");
    const std::string plain = testsupport::noise(4 * platform::kCryptChunk);
    writeFile(path, plain);
    for (const int signal : {SIGINT, SIGTERM}) {
        const CommandRun stopped = runSignalled(true, path, keys, dir.file("messages"), signal);
        EXPECT_EQ(stopped.code, kExitInterrupted) << "ended by a signal when -1";
        EXPECT_EQ(stopped.err, "kesto: cannot encrypt '" + path +
                                   "': interrupted; the file was left as it was\n");
        EXPECT_EQ(readFile(path), plain);
        EXPECT_EQ(entryCount(dir.file("files")), 1U);
    }
    ASSERT_EQ(run(runEncryptWith, {path}, keys).code, kExitClean);
    const std::string sealed = readFile(path);
    EXPECT_EQ(runSignalled(false, path, keys, dir.file("messages"), SIGINT).code, kExitInterrupted);
    EXPECT_EQ(readFile(path), sealed);
    EXPECT_EQ(entryCount(dir.file("files")), 1U);
}
