// Encrypts and decrypts one big file in place and copies it through the same temporary file and
// rename, each step in a child process, and prints each step's speed and peak memory.
// Usage: file_crypt_bench [MIB [FOLDER]]   (default 1024 MiB under /tmp; the file is removed)

#include "platform/AtomicFile.h"
#include "platform/FileCrypt.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kBlock = 64 * 1024;

bool writeInput(const std::string& path, std::size_t mib) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    std::vector<unsigned char> block(kBlock);
    std::uint64_t state = 0x9E3779B97F4A7C15ULL;
    bool ok = true;
    for (std::size_t i = 0; ok && i < mib * 16; ++i) {
        for (unsigned char& byte : block) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            byte = static_cast<unsigned char>(state);
        }
        ok = write(fd, block.data(), block.size()) == static_cast<ssize_t>(block.size());
    }
    return close(fd) == 0 && ok;
}

/// The plain way: the same bytes through the same temporary file, flush and rename.
std::error_code copyInPlace(const std::string& folder, const std::string& name) {
    platform::FolderHandle handle;
    if (const std::error_code error = handle.openPath(folder)) {
        return error;
    }
    const int fd = openat(handle.fd(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return {errno, std::generic_category()};
    }
    platform::AtomicReplacement replacement;
    std::error_code error = replacement.begin(handle, name, 0600);
    std::vector<unsigned char> block(kBlock);
    while (!error) {
        const ssize_t got = read(fd, block.data(), block.size());
        if (got <= 0) {
            error = got < 0 ? std::error_code(errno, std::generic_category()) : std::error_code();
            break;
        }
        error = replacement.write(block.data(), static_cast<std::size_t>(got));
    }
    close(fd);
    return error ? error : replacement.commit();
}

/// Runs a step in a child process; prints its time, speed and peak resident memory.
bool measure(const char* step, std::size_t mib, const std::function<std::error_code()>& work) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        _exit(work() ? 1 : 0);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        std::printf("%-8s failed\n", step);
        return false;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-8s %8.3f s %9.1f MiB/s  peak memory %6.1f MiB\n", step, seconds,
                static_cast<double>(mib) / seconds, static_cast<double>(usage.ru_maxrss) / 1024.0);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1024;
    const std::string folder = argc > 2 ? argv[2] : "/tmp";
    char keyTemplate[] = "/tmp/kesto-crypt-bench-XXXXXX";
    if (mib == 0 || mkdtemp(keyTemplate) == nullptr) {
        std::fprintf(stderr, "usage: file_crypt_bench [MIB [FOLDER]]\n");
        return 2;
    }
    const std::string keys = std::string(keyTemplate) + "/keys";
    const std::string name = "kesto-crypt-bench.bin";
    const std::string path = folder + "/" + name;
    if (!writeInput(path, mib)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 2;
    }
    // The input's own writing must not land on the first step's flush.
    sync();
    std::printf("%zu MiB file %s\n", mib, path.c_str());
    bool ok = measure("copy", mib, [&] { return copyInPlace(folder, name); });
    ok = measure("encrypt", mib, [&] { return platform::encryptFile(path, keys); }) && ok;
    ok = measure("decrypt", mib, [&] { return platform::decryptFile(path, keys); }) && ok;
    // Once more last, so that neither way gains from its place in the order.
    ok = measure("copy", mib, [&] { return copyInPlace(folder, name); }) && ok;
    unlink(path.c_str());
    unlink((keys + "/" + platform::kKeyFileName).c_str());
    rmdir(keys.c_str());
    rmdir(keyTemplate);
    return ok ? 0 : 1;
}
