#pragma once

#include <string>

namespace testsupport {

/// Something at a path that exists but that no file read can get through, for as long as the
/// object lives: a named pipe without a writer on Linux (an open would wait forever, so the code
/// under test must refuse it without opening it), a file held open without sharing on Windows.
class UnreadableFile {
public:
    explicit UnreadableFile(const std::string& path);
    ~UnreadableFile();
    UnreadableFile(const UnreadableFile&) = delete;
    UnreadableFile& operator=(const UnreadableFile&) = delete;

private:
    void* m_handle = nullptr;
};

} // namespace testsupport
