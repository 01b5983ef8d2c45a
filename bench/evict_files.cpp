// evict_files: drops the page-cache pages of every regular file below the given folders, so that
// the next read of them comes from the disk (the cold runs of run_speed_bench.sh). Each file is
// opened and told POSIX_FADV_DONTNEED; only clean pages are dropped, so write the files out
// first (sync). Unlike dropping the whole cache, it touches nothing but these files and needs no
// privileges.

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "Usage: evict_files FOLDER...\n");
        return 2;
    }
    unsigned long files = 0;
    unsigned long failed = 0;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        for (fs::recursive_directory_iterator it(argv[i], ec), end; !ec && it != end;
             it.increment(ec)) {
            if (!it->is_regular_file(ec)) {
                continue;
            }
            const int fd = ::open(it->path().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
            if (fd < 0 || ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) != 0) {
                ++failed;
            } else {
                ++files;
            }
            if (fd >= 0) {
                ::close(fd);
            }
        }
        if (ec) {
            std::fprintf(stderr, "evict_files: %s: %s\n", argv[i], ec.message().c_str());
            return 1;
        }
    }
    std::printf("evict_files: %lu files evicted, %lu failed\n", files, failed);
    return failed == 0 ? 0 : 1;
}
