#include "testsupport/PrivateTmpfs.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace testsupport {

namespace {

std::string failure(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

} // namespace

PrivateTmpfs::PrivateTmpfs(std::string_view size) {
    if (::geteuid() != 0) {
        m_skipReason = "needs root to mount a private tmpfs";
        return;
    }
    if (::unshare(CLONE_NEWNS) != 0) {
        m_skipReason = failure("cannot make a mount namespace");
        return;
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        m_skipReason = failure("cannot make the mounts private");
        return;
    }
    std::error_code error;
    std::string folder =
        (std::filesystem::temp_directory_path(error) / "kesto-tmpfs-XXXXXX").string();
    if (error || ::mkdtemp(folder.data()) == nullptr) {
        m_skipReason = "cannot make a temporary folder";
        return;
    }
    const std::string options = "size=" + std::string(size) + ",mode=0755";
    if (::mount("kesto-test", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) !=
        0) {
        m_skipReason = failure("cannot mount a tmpfs");
        ::rmdir(folder.c_str());
        return;
    }
    m_path = std::filesystem::canonical(folder, error).string();
    if (error) {
        m_path = folder;
    }
}

PrivateTmpfs::~PrivateTmpfs() {
    if (!m_path.empty()) {
        ::umount2(m_path.c_str(), MNT_DETACH);
        ::rmdir(m_path.c_str());
    }
}

std::string PrivateTmpfs::file(std::string_view relative) const {
    return m_path + "/" + std::string(relative);
}

} // namespace testsupport
