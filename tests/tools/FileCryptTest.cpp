#include "platform/FileCrypt.h"

#include "FreedBlocks.h"
#include "platform/AtomicFile.h"
#include "platform/ScopedSeam.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using platform::CryptError;
using platform::CryptStage;
using CryptHookSeam = platform::ScopedSeam<platform::CryptHook>;
using platform::decryptFile;
using platform::encryptFile;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

constexpr std::size_t kChunk = platform::kCryptChunk;
constexpr std::size_t kHeader = 8 + 1 + 8 + 24;
constexpr std::size_t kSealed = kChunk + 17;

/// While it lives, lets `budget` bytes of the rewrites through, then fails every write with
/// ENOSPC.
platform::ScopedSeam<platform::WriteCall> failWritesAfter(std::size_t budget) {
    auto written = std::make_shared<std::size_t>(0);
    return {platform::setWriteCall, [written, budget](int fd, const void* data, std::size_t size) {
                if (*written >= budget) {
                    errno = ENOSPC;
                    return ssize_t{-1};
                }
                const ssize_t n = ::write(fd, data, std::min(size, budget - *written));
                *written += static_cast<std::size_t>(std::max<ssize_t>(n, 0));
                return n;
            }};
}

class FileCrypt : public ::testing::Test {
protected:
    TempDir dir;
    std::string keys = dir.file("config/kesto");

    std::string file(const std::string& name, const std::string& content) const {
        const std::string path = dir.file(name);
        writeFile(path, content);
        return path;
    }
    std::string keyFile() const { return keys + "/" + platform::kKeyFileName; }
    std::size_t entries() const {
        std::size_t count = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            ++count;
        }
        return count;
    }
};

} // namespace

TEST_F(FileCrypt, RoundTripsEveryChunkShapeAndKeepsTheMode) {
    for (const std::size_t size :
         {std::size_t{0}, std::size_t{1}, kChunk - 1, kChunk, kChunk + 1, 3 * kChunk + 5}) {
        const std::string plain = testsupport::noise(size, static_cast<std::uint32_t>(size + 1));
        const std::string path = file("data.bin", plain);
        ASSERT_EQ(chmod(path.c_str(), 0640), 0);
        ASSERT_FALSE(encryptFile(path, keys)) << size;
        const std::string sealed = readFile(path);
        EXPECT_EQ(sealed.substr(0, 8), "KESTOENC");
        EXPECT_EQ(sealed.size(), kHeader + size + 17 * (size / kChunk + 1)) << size;
        if (size >= 64) {
            EXPECT_EQ(sealed.find(plain.substr(0, 64)), std::string::npos);
        }
        // Encrypting again changes nothing.
        ASSERT_FALSE(encryptFile(path, keys));
        EXPECT_EQ(readFile(path), sealed);
        ASSERT_FALSE(decryptFile(path, keys)) << size;
        EXPECT_EQ(readFile(path), plain) << size;
        // Decrypting a plain file changes nothing.
        ASSERT_FALSE(decryptFile(path, keys));
        EXPECT_EQ(readFile(path), plain);
        struct stat info {};
        ASSERT_EQ(stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0640U);
    }
    EXPECT_EQ(entries(), 2U); // the file and the config folder, no temporary
}

TEST_F(FileCrypt, TruncatedTamperedExtendedAndWrongKeyFilesFailAndStayAsTheyWere) {
    const std::string plain = testsupport::noise(3 * kChunk + 100);
    const std::string path = file("data.bin", plain);
    ASSERT_FALSE(encryptFile(path, keys));
    const std::string sealed = readFile(path);

    // Cut at every chunk boundary (the header alone included), a byte before each, and a byte
    // before the end.
    std::vector<std::string> damaged;
    for (std::size_t chunks = 0; chunks <= 3; ++chunks) {
        const std::size_t boundary = kHeader + chunks * kSealed;
        damaged.push_back(sealed.substr(0, boundary));
        damaged.push_back(sealed.substr(0, boundary - 1));
    }
    damaged.push_back(sealed.substr(0, sealed.size() - 1));
    for (const std::size_t at : {std::size_t{12}, kHeader - 1, kHeader + 5, sealed.size() - 1}) {
        std::string flipped = sealed;
        flipped[at] = static_cast<char>(flipped[at] ^ 0x01);
        damaged.push_back(flipped);
    }
    damaged.push_back(sealed + "x");
    for (const std::string& content : damaged) {
        writeFile(path, content);
        EXPECT_TRUE(decryptFile(path, keys)) << content.size();
        EXPECT_EQ(readFile(path), content);
    }
    writeFile(path, sealed);
    EXPECT_EQ(decryptFile(path, dir.file("other-keys")), CryptError::WrongKey);
    EXPECT_EQ(readFile(path), sealed);
    EXPECT_EQ(entries(), 3U);
}

TEST_F(FileCrypt, RefusesWhatWouldLoseData) {
    const std::string path = file("plain.txt", "secret");
    ASSERT_EQ(link(path.c_str(), dir.file("second").c_str()), 0);
    EXPECT_EQ(encryptFile(path, keys), CryptError::HardLinked);
    EXPECT_EQ(readFile(path), "secret");
    std::filesystem::remove(dir.file("second"));

    ASSERT_EQ(symlink("plain.txt", dir.file("link").c_str()), 0);
    EXPECT_EQ(encryptFile(dir.file("link"), keys), CryptError::NotRegularFile);
    std::filesystem::create_directory(dir.file("folder"));
    EXPECT_EQ(encryptFile(dir.file("folder"), keys), CryptError::NotRegularFile);
    testsupport::makeFifo(dir.file("fifo"));
    EXPECT_EQ(encryptFile(dir.file("fifo"), keys), CryptError::NotRegularFile);
    EXPECT_EQ(encryptFile("/dev/null", keys), CryptError::NotRegularFile);
    EXPECT_EQ(encryptFile("", keys), CryptError::EmptyPath);
    EXPECT_TRUE(encryptFile(dir.file("missing"), keys));

    ASSERT_FALSE(encryptFile(path, keys));
    const std::string key = keys + "/" + platform::kKeyFileName;
    const std::string keyBytes = readFile(key);
    EXPECT_EQ(encryptFile(key, keys), CryptError::KeyFile);
    EXPECT_EQ(readFile(key), keyBytes);
    struct stat info {};
    ASSERT_EQ(stat(key.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600U);
    ASSERT_EQ(stat(keys.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700U);
}

TEST_F(FileCrypt, AnUnusableKeyIsNeverReplaced) {
    const std::string path = file("plain.txt", "secret");
    std::filesystem::create_directories(keys);
    const std::string key = keys + "/" + platform::kKeyFileName;
    for (const std::string& bad : {std::string(31, 'k'), std::string(33, 'k'), std::string()}) {
        writeFile(key, bad);
        EXPECT_EQ(encryptFile(path, keys), CryptError::KeyUnusable);
        EXPECT_EQ(readFile(key), bad);
        EXPECT_EQ(readFile(path), "secret");
    }
    writeFile(key, std::string(32, 'k'));
    ASSERT_EQ(chown(key.c_str(), geteuid() + 1, static_cast<gid_t>(-1)), 0);
    EXPECT_EQ(encryptFile(path, keys), CryptError::KeyUnusable);
    std::filesystem::remove(key);
    std::filesystem::create_directory(key);
    EXPECT_EQ(encryptFile(path, keys), CryptError::KeyUnusable);
    EXPECT_EQ(readFile(path), "secret");
}

TEST_F(FileCrypt, AFailedWriteLeavesTheFileAndNoTemporary) {
    const std::string plain = testsupport::noise(2 * kChunk);
    const std::string path = file("data.bin", plain);
    ASSERT_FALSE(encryptFile(path, keys)); // makes the key before the writes fail
    const std::string sealed = readFile(path);
    for (const std::size_t budget : {std::size_t{0}, kHeader, kChunk + 3}) {
        {
            const auto full = failWritesAfter(budget);
            EXPECT_EQ(decryptFile(path, keys), std::errc::no_space_on_device);
        }
        EXPECT_EQ(readFile(path), sealed);
        EXPECT_EQ(entries(), 2U);
    }
}

TEST_F(FileCrypt, TwoProcessesMakingTheKeyAtOnceShareOneKey) {
    for (int round = 0; round < 10; ++round) {
        const std::string roundKeys = dir.file("keys" + std::to_string(round));
        std::array<std::string, 2> paths = {file("a" + std::to_string(round), "first"),
                                            file("b" + std::to_string(round), "second")};
        int gate[2];
        ASSERT_EQ(pipe(gate), 0);
        std::array<pid_t, 2> children{};
        for (std::size_t i = 0; i < 2; ++i) {
            children[i] = fork();
            ASSERT_GE(children[i], 0);
            if (children[i] == 0) {
                ::close(gate[1]);
                char byte = 0;
                // Both start when the parent closes the gate.
                [[maybe_unused]] const ssize_t got = read(gate[0], &byte, 1);
                _exit(encryptFile(paths[i], roundKeys) ? 1 : 0);
            }
        }
        ::close(gate[0]);
        ::close(gate[1]);
        for (const pid_t child : children) {
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        ASSERT_FALSE(decryptFile(paths[0], roundKeys));
        ASSERT_FALSE(decryptFile(paths[1], roundKeys));
        EXPECT_EQ(readFile(paths[0]), "first");
        EXPECT_EQ(readFile(paths[1]), "second");
    }
}

TEST_F(FileCrypt, AFileThatChangesDuringTheRewriteIsLeftAlone) {
    const std::string path = file("data.bin", testsupport::noise(kChunk + 10));
    bool touched = false;
    std::error_code error;
    {
        const platform::ScopedSeam changing(platform::setWriteCall,
                                            [&](int fd, const void* data, std::size_t size) {
                                                if (!touched) {
                                                    touched = true;
                                                    writeFile(path, "rewritten by someone else");
                                                }
                                                return ::write(fd, data, size);
                                            });
        error = encryptFile(path, keys);
    }
    EXPECT_EQ(error, CryptError::Changed);
    EXPECT_EQ(readFile(path), "rewritten by someone else");
    EXPECT_EQ(entries(), 2U);
}

TEST_F(FileCrypt, TheKeyFolderIsTheUsersOwnConfigFolder) {
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string before = saved != nullptr ? saved : "";
    std::filesystem::create_directories(dir.file("mine"));
    ASSERT_EQ(setenv("XDG_CONFIG_HOME", dir.file("mine").c_str(), 1), 0);
    EXPECT_EQ(platform::defaultKeyFolder(), dir.file("mine") + "/kesto");
    // Someone else's folder, or a relative one, is never used.
    std::filesystem::create_directories(dir.file("theirs"));
    ASSERT_EQ(chown(dir.file("theirs").c_str(), geteuid() + 1, static_cast<gid_t>(-1)), 0);
    ASSERT_EQ(setenv("XDG_CONFIG_HOME", dir.file("theirs").c_str(), 1), 0);
    const std::string fallback = platform::defaultKeyFolder();
    ASSERT_EQ(setenv("XDG_CONFIG_HOME", "relative", 1), 0);
    EXPECT_EQ(platform::defaultKeyFolder(), fallback);
    if (saved != nullptr) {
        setenv("XDG_CONFIG_HOME", before.c_str(), 1);
    } else {
        unsetenv("XDG_CONFIG_HOME");
    }
    EXPECT_EQ(fallback.rfind("/.config/kesto"), fallback.size() - 14);
    EXPECT_EQ(fallback.find(dir.path()), std::string::npos);
}

TEST_F(FileCrypt, AFileThatGrowsWhileItIsRewrittenIsLeftAloneWithWhatWasAdded) {
    // The bytes arrive after a chunk is written, or while the new content is flushed to the disk
    // (the slow step just before the rename).
    const std::string appended(65536, 'z');
    for (const std::size_t size : {std::size_t{10}, 2 * kChunk + 10}) {
        for (const CryptStage stage : {CryptStage::ChunkWritten, CryptStage::Flushed}) {
            const std::string plain = testsupport::noise(size);
            const std::string path = file("growing.log", plain);
            bool grown = false;
            std::error_code error;
            {
                const CryptHookSeam seam(platform::setCryptHook, [&](CryptStage reached) {
                    if (reached == stage && !grown) {
                        grown = true;
                        std::FILE* log = std::fopen(path.c_str(), "ab");
                        ASSERT_NE(log, nullptr);
                        std::fwrite(appended.data(), 1, appended.size(), log);
                        std::fclose(log);
                    }
                });
                error = encryptFile(path, keys);
            }
            EXPECT_TRUE(grown);
            EXPECT_EQ(error, CryptError::Changed) << size;
            EXPECT_TRUE(readFile(path) == plain + appended) << size;
            EXPECT_EQ(entries(), 2U);
        }
    }
    // The same for a file being decrypted.
    const std::string path = file("growing.log", "some words");
    ASSERT_FALSE(encryptFile(path, keys));
    const std::string sealed = readFile(path);
    {
        const CryptHookSeam seam(platform::setCryptHook, [&](CryptStage reached) {
            if (reached == CryptStage::Flushed) {
                std::FILE* log = std::fopen(path.c_str(), "ab");
                std::fwrite(appended.data(), 1, appended.size(), log);
                std::fclose(log);
            }
        });
        EXPECT_EQ(decryptFile(path, keys), CryptError::Changed);
    }
    EXPECT_EQ(readFile(path), sealed + appended);
    EXPECT_EQ(entries(), 2U);
}

TEST_F(FileCrypt, OnlyAFileEncryptedWithThisKeyCountsAsEncrypted) {
    // Plain files that merely start with the header's first bytes.
    const std::string header("KESTOENC\x01", 9);
    for (const std::string& plain :
         {header, header + " plain words", header + std::string(8, '\0') + "more plain words"}) {
        const std::string path = file("plain.txt", plain);
        EXPECT_EQ(encryptFile(path, keys), CryptError::ForeignHeader) << plain.size();
        EXPECT_EQ(readFile(path), plain);
    }
    // A file encrypted with another key is not encrypted again either.
    const std::string path = file("theirs.txt", "their words");
    ASSERT_FALSE(encryptFile(path, dir.file("other-keys")));
    const std::string theirs = readFile(path);
    EXPECT_EQ(encryptFile(path, keys), CryptError::ForeignHeader);
    EXPECT_EQ(readFile(path), theirs);
    // One that names this key but does not open with it is damaged.
    const std::string mine = file("mine.txt", "my words");
    ASSERT_FALSE(encryptFile(mine, keys));
    std::string forged = readFile(mine).substr(0, 17) + std::string(100, 'p');
    writeFile(mine, forged);
    EXPECT_EQ(encryptFile(mine, keys), CryptError::Damaged);
    EXPECT_EQ(readFile(mine), forged);
    EXPECT_EQ(entries(), 5U);
}

TEST_F(FileCrypt, AFileEncryptedByAnEarlierReleaseStillDecrypts) {
    // Written by the first release with the key 1, 8, 15, ... (the fuzz target's key).
    const std::string sealed(
        "\x4b\x45\x53\x54\x4f\x45\x4e\x43\x01\x0e\xc2\xc3\x64\x77\x73\xbb\x82\xfb\xf0\x9a\x1f\xf5"
        "\xdd\x25\xc2\x0b\x36\xc4\xf3\xf5\xd8\xe8\x6c\x6b\x58\xdd\x55\xaa\x8c\x8f\x0b\x52\x75\x38"
        "\x19\xcf\xe1\xc3\x24\xdb\xbd\xe0\x7c\x3f\x6e\x0a\xa6\x43\x79\xfc\x2c\x78\x71\xb6\xca\xc0"
        "\x92\xb2\x94",
        69);
    std::string key(32, '\0');
    for (std::size_t i = 0; i < key.size(); ++i) {
        key[i] = static_cast<char>(i * 7 + 1);
    }
    writeFile(keyFile(), key);
    ASSERT_EQ(chmod(keys.c_str(), 0700), 0);
    ASSERT_EQ(chmod(keyFile().c_str(), 0600), 0);
    const std::string path = file("old.bin", sealed);
    EXPECT_FALSE(encryptFile(path, keys)); // already encrypted with this key
    EXPECT_EQ(readFile(path), sealed);
    ASSERT_FALSE(decryptFile(path, keys));
    EXPECT_EQ(readFile(path), "Kesto seed\n");
}

TEST_F(FileCrypt, AKeyOrKeyFolderOthersCanReachIsRefused) {
    const std::string sealedPath = file("sealed.txt", "sealed words");
    ASSERT_FALSE(encryptFile(sealedPath, keys)); // makes the key
    const std::string sealed = readFile(sealedPath);
    const std::string path = file("plain.txt", "secret");
    for (const mode_t mode : {0644, 0640, 0604, 0660, 0602, 0620}) {
        ASSERT_EQ(chmod(keyFile().c_str(), mode), 0);
        EXPECT_EQ(encryptFile(path, keys), CryptError::KeyExposed) << std::oct << mode;
        EXPECT_EQ(decryptFile(sealedPath, keys), CryptError::KeyExposed) << std::oct << mode;
        EXPECT_EQ(readFile(path), "secret");
        EXPECT_EQ(readFile(sealedPath), sealed);
    }
    ASSERT_EQ(chmod(keyFile().c_str(), 0600), 0);
    for (const mode_t mode : {0777, 0770, 0707, 01777, 0720}) {
        ASSERT_EQ(chmod(keys.c_str(), mode), 0);
        EXPECT_EQ(encryptFile(path, keys), CryptError::KeyFolderExposed) << std::oct << mode;
        EXPECT_EQ(readFile(path), "secret");
    }
    ASSERT_EQ(chmod(keys.c_str(), 0755), 0);
    ASSERT_EQ(chown(keys.c_str(), geteuid() + 1, static_cast<gid_t>(-1)), 0);
    EXPECT_EQ(encryptFile(path, keys), CryptError::KeyFolderExposed);
    ASSERT_EQ(chown(keys.c_str(), geteuid(), static_cast<gid_t>(-1)), 0);
    // Made private again, the same key works.
    EXPECT_FALSE(encryptFile(path, keys));
    EXPECT_FALSE(decryptFile(path, keys));
    EXPECT_FALSE(decryptFile(sealedPath, keys));
    EXPECT_EQ(readFile(sealedPath), "sealed words");
}

TEST_F(FileCrypt, AKeyFolderThatCannotBeMadeIsNamedAsTheCause) {
    const std::string path = file("plain.txt", "secret");
    writeFile(dir.file("blocker"), "a file where the key folder's parent should be");
    const std::error_code error = encryptFile(path, dir.file("blocker/kesto"));
    EXPECT_EQ(&error.category(), &platform::keyFolderCategory()) << error.message();
    EXPECT_EQ(error.message().rfind("cannot make or use the key folder: ", 0), 0U);
    EXPECT_EQ(encryptFile(path, ""), CryptError::NoKeyFolder);
    EXPECT_EQ(readFile(path), "secret");
}

TEST_F(FileCrypt, PlainTextIsWipedOnEveryWayOut) {
    constexpr char kSecretMark[] = "UNWIPED-PLAIN-TEXT/";
    std::string plain;
    while (plain.size() < 3 * kChunk) {
        plain += kSecretMark;
    }
    const std::string path = file("secret.txt", plain);
    ASSERT_FALSE(encryptFile(file("other", "x"), keys)); // makes the key
    int unwiped = 0;
    const auto watched = [&](const std::function<std::error_code()>& work) {
        freedblocks::watch(kSecretMark);
        const std::error_code error = work();
        unwiped = freedblocks::stop();
        return error;
    };

    // Encrypting stops on a failed write, on a change and on a stop.
    {
        const auto full = failWritesAfter(kHeader + kSealed);
        EXPECT_EQ(watched([&] { return encryptFile(path, keys); }), std::errc::no_space_on_device);
    }
    EXPECT_EQ(unwiped, 0);
    EXPECT_EQ(watched([&] { return encryptFile(path, keys, {}, [] { return true; }); }),
              CryptError::Interrupted);
    EXPECT_EQ(unwiped, 0);
    EXPECT_TRUE(readFile(path) == plain);

    // Decrypting stops on a failed write and on a damaged chunk.
    ASSERT_FALSE(encryptFile(path, keys));
    const std::string sealed = readFile(path);
    {
        const auto full = failWritesAfter(kChunk);
        EXPECT_EQ(watched([&] { return decryptFile(path, keys); }), std::errc::no_space_on_device);
    }
    EXPECT_EQ(unwiped, 0);
    std::string damaged = sealed;
    damaged[kHeader + kSealed + 10] = static_cast<char>(damaged[kHeader + kSealed + 10] ^ 1);
    writeFile(path, damaged);
    EXPECT_EQ(watched([&] { return decryptFile(path, keys); }), CryptError::Damaged);
    EXPECT_EQ(unwiped, 0);
    EXPECT_TRUE(readFile(path) == damaged);
    EXPECT_EQ(entries(), 3U);
}

TEST_F(FileCrypt, AStopLeavesTheFileAndNoTemporary) {
    const std::string plain = testsupport::noise(3 * kChunk);
    const std::string path = file("data.bin", plain);
    for (const CryptStage stage : {CryptStage::ChunkWritten, CryptStage::Flushed}) {
        bool stopAsked = false;
        const auto askStop = [&](CryptStage reached) { stopAsked = stopAsked || reached == stage; };
        const platform::CryptStop stop = [&] { return stopAsked; };
        {
            const CryptHookSeam seam(platform::setCryptHook, askStop);
            EXPECT_EQ(encryptFile(path, keys, {}, stop), CryptError::Interrupted);
            EXPECT_TRUE(readFile(path) == plain);
            EXPECT_EQ(entries(), 2U);
        }
        ASSERT_FALSE(encryptFile(path, keys));
        const std::string sealed = readFile(path);
        stopAsked = false;
        {
            const CryptHookSeam seam(platform::setCryptHook, askStop);
            EXPECT_EQ(decryptFile(path, keys, {}, stop), CryptError::Interrupted);
        }
        EXPECT_TRUE(readFile(path) == sealed);
        EXPECT_EQ(entries(), 2U);
        ASSERT_FALSE(decryptFile(path, keys));
    }
}

TEST_F(FileCrypt, AFileSizeLimitFailsTheWriteAndLeavesNoTemporary) {
    const std::string plain = testsupport::noise(3 * kChunk);
    const std::string path = file("data.bin", plain);
    ASSERT_FALSE(encryptFile(file("other", "x"), keys)); // makes the key
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // As a shell's `ulimit -f 64` leaves it: the signal would end the program.
        signal(SIGXFSZ, SIG_DFL);
        const rlimit limit{kChunk, kChunk};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(encryptFile(path, keys) == std::errc::file_too_large ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(readFile(path) == plain);
    EXPECT_EQ(entries(), 3U);
}

TEST_F(FileCrypt, ATemporaryFileAKilledRunLeftIsRemovedAndNothingElse) {
    const std::string path = file("data.bin", "secret");
    const std::string stale = dir.file(".data.bin.abcdefghij12.tmp");
    const std::string staleWide = dir.file(".data.bin.0123456789zz.tmp");
    writeFile(stale, "left by a killed run");
    writeFile(staleWide, "left by a killed run");
    ASSERT_EQ(chmod(staleWide.c_str(), 0644), 0); // its mode was already set before the kill
    // Names of another form, or of another file.
    const std::vector<std::string> kept = {
        ".data.bin.abcdefghij1.tmp",  ".data.bin.ABCDEFGHIJ12.tmp", ".data.bin.abcdefghij12.tmp~",
        "data.bin.abcdefghij12.tmp",  ".data.bin.abcdefghij-2.tmp", ".other.abcdefghij12.tmp",
        ".data.bin.abcdefghij12.TMP", ".data.binabcdefghij12.tmp"};
    for (const std::string& name : kept) {
        writeFile(dir.file(name), "keep");
    }
    // The right name, but not plainly a temporary file of this user's.
    ASSERT_EQ(symlink("data.bin", dir.file(".data.bin.link00000000.tmp").c_str()), 0);
    std::filesystem::create_directory(dir.file(".data.bin.folder000000.tmp"));
    writeFile(dir.file(".data.bin.theirs000000.tmp"), "keep");
    ASSERT_EQ(chown(dir.file(".data.bin.theirs000000.tmp").c_str(), geteuid() + 1,
                    static_cast<gid_t>(-1)),
              0);
    writeFile(dir.file(".data.bin.linked000000.tmp"), "keep");
    ASSERT_EQ(link(dir.file(".data.bin.linked000000.tmp").c_str(), dir.file("second").c_str()), 0);
    // One a running replacement holds.
    writeFile(dir.file(".data.bin.live00000000.tmp"), "keep");
    const int live = open(dir.file(".data.bin.live00000000.tmp").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(live, 0);
    ASSERT_EQ(flock(live, LOCK_EX | LOCK_NB), 0);

    ASSERT_FALSE(encryptFile(path, keys));
    EXPECT_FALSE(std::filesystem::exists(stale));
    EXPECT_FALSE(std::filesystem::exists(staleWide));
    for (const std::string& name : kept) {
        EXPECT_EQ(readFile(dir.file(name)), "keep") << name;
    }
    for (const char* name : {".data.bin.folder000000.tmp", ".data.bin.theirs000000.tmp",
                             ".data.bin.linked000000.tmp", ".data.bin.live00000000.tmp"}) {
        EXPECT_TRUE(std::filesystem::exists(dir.file(name))) << name;
    }
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file(".data.bin.link00000000.tmp")));
    ::close(live);

    // Decrypting cleans up the same way; the lock is gone now.
    writeFile(stale, "left by a killed run");
    ASSERT_FALSE(decryptFile(path, keys));
    EXPECT_FALSE(std::filesystem::exists(stale));
    EXPECT_FALSE(std::filesystem::exists(dir.file(".data.bin.live00000000.tmp")));
    EXPECT_EQ(readFile(path), "secret");
}
