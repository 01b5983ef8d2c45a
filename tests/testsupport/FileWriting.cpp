#include "testsupport/SampleFiles.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>

namespace testsupport {

void writeFile(const std::string& path, std::string_view content) {
    const auto parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) {
        std::filesystem::create_directories(parent);
    }
    std::ofstream stream(path, std::ios::binary | std::ios::trunc);
    stream.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!stream) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void makeFifo(const std::string& path) {
    if (::mkfifo(path.c_str(), 0600) != 0) {
        throw std::runtime_error("cannot create the pipe " + path);
    }
}

} // namespace testsupport
