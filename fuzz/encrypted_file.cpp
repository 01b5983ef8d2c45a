// Fuzzes the encrypted-file reader. Whatever the bytes, decrypting a file either fails and leaves
// it byte-identical, or (for a file without the encrypted header) succeeds and changes nothing;
// a file that starts with the header but does not decrypt is never encrypted again; a file that
// did decrypt encrypts and decrypts back to the same plain text; and every plain file survives an
// encrypt and decrypt round trip unchanged.

#include "FuzzCheck.h"
#include "platform/FileCrypt.h"

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

/// A private folder with a fixed key, so that the seed files decrypt.
struct Place {
    std::string folder;
    std::string keys;
    std::string file;
};

const Place& place() {
    // Never destroyed: the exit handler below still needs the names.
    static const Place& made = *[] {
        char pattern[] = "/tmp/kesto-fuzz-crypt-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            std::abort();
        }
        auto* result =
            new Place{pattern, std::string(pattern) + "/keys", std::string(pattern) + "/input"};
        mkdir(result->keys.c_str(), 0700);
        const int fd = open((result->keys + "/" + platform::kKeyFileName).c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        std::string key(32, '\0');
        for (std::size_t i = 0; i < key.size(); ++i) {
            key[i] = static_cast<char>(i * 7 + 1);
        }
        if (fd < 0 || write(fd, key.data(), key.size()) != static_cast<ssize_t>(key.size())) {
            std::abort();
        }
        close(fd);
        std::atexit([] {
            const Place& done = place();
            unlink(done.file.c_str());
            unlink((done.keys + "/" + platform::kKeyFileName).c_str());
            rmdir(done.keys.c_str());
            rmdir(done.folder.c_str());
        });
        return result;
    }();
    return made;
}

void store(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Place& where = place();
    const std::string_view input = fuzzcheck::asText(data, size);
    store(where.file, input);
    const std::error_code error = platform::decryptFile(where.file, where.keys);
    const std::string after = load(where.file);
    const bool encrypted = platform::looksEncrypted(data, size);
    if (error || !encrypted) {
        FUZZ_CHECK_EQ(after, std::string(input));
    }
    if (error && encrypted) {
        static_cast<void>(platform::encryptFile(where.file, where.keys));
        FUZZ_CHECK_EQ(load(where.file), std::string(input));
    } else if (encrypted) {
        FUZZ_CHECK(!platform::encryptFile(where.file, where.keys));
        FUZZ_CHECK(!platform::decryptFile(where.file, where.keys));
        FUZZ_CHECK_EQ(load(where.file), after);
    }
    if (!encrypted) {
        store(where.file, input);
        FUZZ_CHECK(!platform::encryptFile(where.file, where.keys));
        const std::string sealed = load(where.file);
        FUZZ_CHECK(platform::looksEncrypted(sealed.data(), sealed.size()));
        FUZZ_CHECK(!platform::decryptFile(where.file, where.keys));
        FUZZ_CHECK_EQ(load(where.file), std::string(input));
    }
    return 0;
}
