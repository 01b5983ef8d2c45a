#include "platform/FileCrypt.h"

#include "platform/AtomicFile.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using platform::CryptError;
using platform::decryptFile;
using platform::encryptFile;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

constexpr std::size_t kChunk = platform::kCryptChunk;
constexpr std::size_t kHeader = 8 + 1 + 8 + 24;
constexpr std::size_t kSealed = kChunk + 17;

class FileCrypt : public ::testing::Test {
protected:
    TempDir dir;
    std::string keys = dir.file("config/kesto");

    std::string file(const std::string& name, const std::string& content) const {
        const std::string path = dir.file(name);
        writeFile(path, content);
        return path;
    }
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
        std::size_t written = 0;
        platform::setWriteCall([&](int fd, const void* data, std::size_t size) {
            if (written >= budget) {
                errno = ENOSPC;
                return ssize_t{-1};
            }
            const ssize_t n = ::write(fd, data, std::min(size, budget - written));
            written += static_cast<std::size_t>(std::max<ssize_t>(n, 0));
            return n;
        });
        EXPECT_EQ(decryptFile(path, keys), std::errc::no_space_on_device);
        platform::setWriteCall(nullptr);
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
    platform::setWriteCall([&](int fd, const void* data, std::size_t size) {
        if (!touched) {
            touched = true;
            writeFile(path, "rewritten by someone else");
        }
        return ::write(fd, data, size);
    });
    const std::error_code error = encryptFile(path, keys);
    platform::setWriteCall(nullptr);
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
