#include "platform/FolderHandle.h"
#include "platform/InputFile.h"
#include "update/UpdateSource.h"

#include <array>

namespace {

/// A set offered in a local folder (a mounted medium, a copy made by hand).
class FolderSource final : public UpdateSource {
public:
    FolderSource(platform::FolderHandle folder, std::string path)
        : m_folder(std::move(folder)), m_path(std::move(path)) {}

    std::string fetch(const std::string& name, std::uint64_t limit,
                      const std::function<bool(std::string_view piece)>& sink) override {
        // Only a plain name of the folder itself is ever opened, whatever the caller passes.
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
            return "\"" + name + "\" is not a plain file name";
        }
        platform::InputFile file;
        if (const std::error_code ec = file.openAt(m_folder.fd(), name)) {
            return name + " cannot be opened in " + m_path + ": " + ec.message();
        }
        if (file.size() > limit) {
            return name + " in " + m_path + " is larger than " + std::to_string(limit) + " bytes";
        }
        std::array<char, 65536> buffer{};
        std::uint64_t total = 0;
        for (;;) {
            std::error_code ec;
            const std::size_t count = file.read(buffer.data(), buffer.size(), ec);
            if (ec) {
                return name + " cannot be read in " + m_path + ": " + ec.message();
            }
            if (count == 0) {
                return {};
            }
            // The file may grow while it is read: the limit holds for what arrives.
            total += count;
            if (total > limit) {
                return name + " in " + m_path + " is larger than " + std::to_string(limit) +
                       " bytes";
            }
            if (!sink(std::string_view(buffer.data(), count))) {
                return name + " was refused while it arrived";
            }
        }
    }

    std::string describe() const override { return m_path; }

private:
    platform::FolderHandle m_folder;
    std::string m_path;
};

} // namespace

std::unique_ptr<UpdateSource> OpenFolderSource(const std::string& path, std::string& error) {
    error.clear();
    platform::FolderHandle folder;
    if (const std::error_code ec = folder.openPath(path)) {
        error = "the folder " + path + " cannot be opened: " + ec.message();
        return nullptr;
    }
    return std::make_unique<FolderSource>(std::move(folder), path);
}
