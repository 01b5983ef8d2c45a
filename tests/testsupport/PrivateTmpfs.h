#pragma once

#include <string>
#include <string_view>

namespace testsupport {

/// A tmpfs of the test's own, mounted in a mount namespace of its own, for the tests that watch
/// file accesses.
///
/// The rule for those tests: mark only this tmpfs. A whole-file-system mark on it covers this
/// tmpfs and nothing else (a tmpfs mount is a file system of its own), which no other program
/// uses, so a test that fails to answer a program start holds only its own children, never the
/// machine.
///
/// The constructor moves the calling thread into a new mount namespace in which every mount is
/// private, so that nothing mounted there reaches the rest of the system. It moves that thread
/// only: construct this first, in the test body or in SetUp, before the test starts threads, so
/// that the test's threads and children see the tmpfs too. The process stays in the namespace
/// afterwards; gtest_discover_tests runs every test case in a process of its own anyway.
class PrivateTmpfs {
public:
    /// `size` as the tmpfs mount option takes it ("256m", "64k").
    explicit PrivateTmpfs(std::string_view size = "256m");
    ~PrivateTmpfs();
    PrivateTmpfs(const PrivateTmpfs&) = delete;
    PrivateTmpfs& operator=(const PrivateTmpfs&) = delete;

    /// Empty when the tmpfs is mounted; else why it is not (not root, the kernel refused), for
    /// GTEST_SKIP().
    const std::string& skipReason() const { return m_skipReason; }
    /// The folder the tmpfs is mounted on, without links, as the system names files in it.
    const std::string& path() const { return m_path; }
    std::string file(std::string_view relative) const;

private:
    std::string m_path;
    std::string m_skipReason;
};

} // namespace testsupport
