// Linked into the tests that run whole scans through the command line or the main window: their
// verdict cache lives in a temporary folder of the test process, never in the user's or root's
// own cache folder, and is removed when the process ends.
#include "cache/CacheFolder.h"

#include <cstdlib>
#include <filesystem>
#ifndef _WIN32
#include <sys/stat.h>
#endif
#include <string>
#include <system_error>

namespace {

class PrivateCacheFolder {
public:
    PrivateCacheFolder() {
        std::error_code error;
        const std::filesystem::path base = std::filesystem::temp_directory_path(error);
        std::string pattern =
            (error ? std::filesystem::path("/tmp") : base).string() + "/kesto-test-cache-XXXXXX";
#ifdef _WIN32
        (void)pattern;
#else
        if (::mkdtemp(pattern.data()) != nullptr) {
            m_folder = pattern;
            // Open to all, as the temporary folder is: a test that scans as another user in a
            // child process makes its cache there too.
            ::chmod(m_folder.c_str(), 01777);
            ExchangeDefaultCacheFolder(m_folder + "/kesto");
        }
#endif
    }
    ~PrivateCacheFolder() {
        if (!m_folder.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_folder, ignored);
        }
    }
    PrivateCacheFolder(const PrivateCacheFolder&) = delete;
    PrivateCacheFolder& operator=(const PrivateCacheFolder&) = delete;

private:
    std::string m_folder;
};

const PrivateCacheFolder g_folder;

} // namespace
