#include "signatures/SignatureFile.h"

#include "platform/FileFacts.h"
#include "signatures/SourceTrust.h"

#include <vector>

bool SignatureFile::open(const platform::FolderHandle& folder, const std::string& name,
                         std::string path, std::string& problem) {
    m_path = std::move(path);
    if (const std::error_code error = m_file.openAt(folder.fd(), name)) {
        problem = "cannot be read: " + error.message();
        return false;
    }
    platform::FileFacts facts;
    if (const std::error_code error = platform::factsOfOpenFile(m_file, facts)) {
        problem = "cannot be read: " + error.message();
        m_file.close();
        return false;
    }
    if (std::string refusal = SourceRefusal(facts, platform::effectiveUser()); !refusal.empty()) {
        problem = "refused: " + refusal;
        m_file.close();
        return false;
    }
    return true;
}

std::string SignatureFile::stem() const {
    const std::size_t slash = m_path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? m_path : m_path.substr(slash + 1);
    if (const std::size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0) {
        name.resize(dot);
    }
    return name;
}

std::error_code
SignatureFile::readAll(std::size_t piece, std::uint64_t limit,
                       const std::function<void(std::string_view bytes)>& visit) const {
    std::vector<char> buffer(piece);
    std::uint64_t offset = 0;
    for (;;) {
        std::error_code error;
        const std::size_t got = m_file.readAt(offset, buffer.data(), buffer.size(), error);
        if (error) {
            return error;
        }
        if (got == 0) {
            return {};
        }
        offset += got;
        if (offset > limit) {
            return std::make_error_code(std::errc::file_too_large);
        }
        visit(std::string_view(buffer.data(), got));
    }
}

std::string SignatureFile::readAt(std::uint64_t offset, std::size_t count) const {
    std::string bytes(count, '\0');
    std::error_code error;
    bytes.resize(m_file.readAt(offset, bytes.data(), count, error));
    return bytes;
}
