#include "platform/windows/WideText.h"
#include "testsupport/UnreadableFile.h"

#include <stdexcept>
#include <windows.h>

namespace testsupport {

UnreadableFile::UnreadableFile(const std::string& path) {
    // Share mode 0: every other open of the file fails with a sharing violation until it closes.
    const HANDLE file =
        ::CreateFileW(platform::windows::win32Path(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        throw std::runtime_error("cannot create the locked file " + path);
    }
    DWORD written = 0;
    ::WriteFile(file, "locked", 6, &written, nullptr);
    m_handle = file;
}

UnreadableFile::~UnreadableFile() {
    ::CloseHandle(m_handle);
}

} // namespace testsupport
