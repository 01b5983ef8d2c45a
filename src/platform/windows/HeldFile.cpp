#include "platform/HeldFile.h"

#include "platform/windows/WinFile.h"

namespace platform {

using windows::HandleFacts;
using windows::OwnedHandle;

HeldFile::~HeldFile() {
    release();
}

std::error_code HeldFile::take(const FolderHandle& folder, const std::string& name,
                               const FileId& expected) {
    if (m_held) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    // One handle, opened without following a link, is checked and then used for every step, so
    // a file that takes the name meanwhile is never touched.
    OwnedHandle handle;
    HandleFacts facts;
    if (const auto ec = windows::openFileAt(
            folder.fd(), name, DELETE | GENERIC_READ | FILE_WRITE_ATTRIBUTES, handle, facts)) {
        return ec;
    }
    if (!windows::isDiskFile(handle.get(), facts) || facts.id != expected) {
        return FileError::Changed;
    }
    m_folder = &folder;
    m_name = name;
    m_facts.id = facts.id;
    m_facts.size = facts.stamp.size;
    m_facts.mode = (facts.attributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0644;
    m_handle = handle.release();
    m_held = true;
    return {};
}

std::error_code HeldFile::makeNormal() {
    if (!m_held) {
        return std::make_error_code(std::errc::bad_file_descriptor);
    }
    HandleFacts facts;
    if (const auto ec = windows::factsOfHandle(m_handle, facts)) {
        return ec;
    }
    if ((facts.attributes & windows::kNormalCleared) == 0) {
        return {};
    }
    return windows::setAttributes(m_handle, facts.attributes & ~windows::kNormalCleared);
}

std::error_code HeldFile::remove() {
    if (!m_held) {
        return std::make_error_code(std::errc::bad_file_descriptor);
    }
    if (const auto ec = windows::deleteOpenFile(m_handle)) {
        return ec;
    }
    release();
    return {};
}

std::error_code HeldFile::moveTo(const FolderHandle& to, const std::string& target) {
    if (!m_held) {
        return std::make_error_code(std::errc::bad_file_descriptor);
    }
    std::error_code ec = windows::renameRelative(m_handle, to.fd(), target, false);
    if (ec.value() == ERROR_NOT_SAME_DEVICE && ec.category() == std::system_category()) {
        ec = windows::copyThenRemove(m_handle, to, target);
    }
    if (ec) {
        return ec;
    }
    release();
    return {};
}

std::error_code HeldFile::putBack() {
    // The file never left its name.
    release();
    return {};
}

void HeldFile::release() {
    if (m_handle != kNoHandle) {
        CloseHandle(m_handle);
        m_handle = kNoHandle;
    }
    m_held = false;
}

} // namespace platform
