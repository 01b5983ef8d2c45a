// classic_scan: the folder scan done the way the first version of the program did it, kept as the
// yardstick of the whole-scan benchmark (run_scan_bench.sh). One thread, one file at a time:
//
// - a recursive walk; a folder's files (names in byte order) before its subfolders;
// - files of 4000 KB or more are skipped;
// - a program (".EXE", ".SCR", any case) is searched for the virus patterns in list order, each
//   search reading the whole file again into a string and calling std::string::find; the first
//   pattern found lists the file;
// - a file below 750 KB that was not just listed is read whole and checksummed one table step per
//   byte, and its checksum text is looked up by opening the database and reading it line by line
//   from the top, up to the key or the end line.
//
// It prints each detection as `kesto scan` does, then the totals. The quarantine folder rule is
// applied as the scanner applies it (the folder "Karantina" in the home folder). Running processes
// of detected files are not looked for.

#include "engine/Crc32.h"
#include "engine/StringSignature.h"
#include "scanner/DetectionList.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr double kExamineLimitKb = 4000.0;
constexpr double kChecksumLimitKb = 750.0;
constexpr std::string_view kEndLine = "Selesai:Selesai";

// ---------------------------------------------------------------------------------------------
// Patterns

/// True when the file holds `bytes`: the whole file is read into one string, every time. Throws
/// when the file cannot be opened or read.
bool fileContainsPattern(const std::string& path, const std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot open " + path);
    }
    in.seekg(0, std::ios::end);
    const std::streamoff length = in.tellg();
    if (length < 0) {
        throw std::runtime_error("cannot size " + path);
    }
    in.seekg(0, std::ios::beg);
    std::string content(static_cast<std::size_t>(length), '\0');
    in.read(content.data(), length);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    return content.find(bytes) != std::string::npos;
}

bool isProgram(std::string_view name) {
    std::string last(name.substr(name.size() > 4 ? name.size() - 4 : 0));
    for (char& c : last) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return last == ".EXE" || last == ".SCR";
}

// ---------------------------------------------------------------------------------------------
// Checksums

/// The CRC-32 of the whole file read in one read, or none for an empty or unreadable file.
std::optional<std::uint32_t> calculateFile(const std::string& path) {
    std::error_code ec;
    if (fs::file_size(path, ec) == 0 || ec) {
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff length = in.tellg();
    if (length <= 0) {
        return std::nullopt;
    }
    in.seekg(0, std::ios::beg);
    std::string buffer(static_cast<std::size_t>(length), '\0');
    if (!in.read(buffer.data(), length)) {
        return std::nullopt;
    }
    return crc32::updateBytewise(0xFFFFFFFFu, buffer) ^ 0xFFFFFFFFu;
}

std::string checksumText(std::optional<std::uint32_t> crc) {
    char text[9];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(crc.value_or(0)));
    return text;
}

/// Lines of the database; CR LF, LF and a lone CR each end a line.
class DatabaseLines {
public:
    explicit DatabaseLines(const std::string& path) : m_in(path) {}
    bool opened() const { return static_cast<bool>(m_in); }

    bool next(std::string& line) {
        if (!m_hasPending) {
            if (!std::getline(m_in, m_pending)) {
                return false;
            }
            if (!m_pending.empty() && m_pending.back() == '\r') {
                m_pending.pop_back();
            }
            m_hasPending = true;
        }
        const std::size_t cr = m_pending.find('\r');
        if (cr == std::string::npos) {
            line = std::move(m_pending);
            m_hasPending = false;
        } else {
            line = m_pending.substr(0, cr);
            m_pending.erase(0, cr + 1);
        }
        return true;
    }

private:
    std::ifstream m_in;
    std::string m_pending;
    bool m_hasPending = false;
};

/// The threat name of `key`, read from the top of the database on every call; empty for a clean
/// file, none when the database cannot answer (missing, a line without a colon, no end line).
std::optional<std::string> lookupChecksum(const std::string& database, const std::string& key) {
    DatabaseLines lines(database);
    if (!lines.opened()) {
        return std::nullopt;
    }
    std::string line;
    while (lines.next(line)) {
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) {
            return std::nullopt;
        }
        if (line.compare(0, colon, key) == 0 && colon == key.size()) {
            return line.substr(colon + 1);
        }
        if (line == kEndLine) {
            return std::string();
        }
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------------
// The scan

class ClassicScan {
public:
    ClassicScan(std::string database, std::string quarantineFolder)
        : m_database(std::move(database)), m_quarantineFolder(std::move(quarantineFolder)) {}

    void walk(std::string folder) {
        if (folder.empty() || folder.back() != '/') {
            folder += '/';
        }
        std::vector<std::string> files;
        std::vector<std::string> subfolders;
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code statusError;
            const fs::file_status status = it->symlink_status(statusError);
            if (statusError) {
                continue;
            }
            const std::string name = it->path().filename().string();
            if (fs::is_directory(status)) {
                subfolders.push_back(name);
            } else if (fs::is_regular_file(status)) {
                files.push_back(name);
            }
        }
        std::sort(files.begin(), files.end());
        std::sort(subfolders.begin(), subfolders.end());
        for (const std::string& name : files) {
            ++m_files;
            checkFile(folder, name);
        }
        for (const std::string& name : subfolders) {
            walk(folder + name);
        }
    }

    std::uint64_t files() const { return m_files; }
    std::uint64_t detections() const { return m_detections; }

private:
    void checkFile(const std::string& folder, const std::string& name) {
        const std::string path = folder + name;
        std::error_code ec;
        const std::uint64_t length = fs::file_size(path, ec);
        if (ec) {
            return;
        }
        const double kb = static_cast<double>(length) / 1024.0;
        if (inQuarantine(folder) || kb >= kExamineLimitKb) {
            return;
        }
        bool listed = false;
        if (isProgram(name)) {
            listed = checkPatterns(path, length);
        }
        if (kb >= kChecksumLimitKb || listed) {
            return;
        }
        const std::optional<std::string> threat =
            lookupChecksum(m_database, checksumText(calculateFile(path)));
        if (threat && !threat->empty()) {
            list(*threat, path, length, kChecksumAdvice);
        }
    }

    /// Walks the virus pattern list; lists the file under the first pattern it holds.
    bool checkPatterns(const std::string& path, std::uint64_t length) {
        try {
            for (std::uint16_t index = 1;; ++index) {
                const std::string entry = StringSignature::PatternEntry(index);
                if (entry == StringSignature::kVirusListEnd) {
                    return false;
                }
                const StringSignature::EntryFields fields = StringSignature::SplitEntry(entry);
                if (fileContainsPattern(path, StringSignature::HexToBytes(fields.pattern))) {
                    const bool larger =
                        static_cast<std::uint64_t>(std::max(fields.size, 0)) < length;
                    list(fields.name, path, length, larger ? kInfectedFileInformation : "");
                    return true;
                }
            }
        } catch (const std::exception&) {
            return false; // an unreadable file is clean as far as the patterns go
        }
    }

    bool inQuarantine(const std::string& folder) const {
        return !m_quarantineFolder.empty() &&
               folder.compare(0, m_quarantineFolder.size(), m_quarantineFolder) == 0;
    }

    void list(const std::string& threat, const std::string& path, std::uint64_t length,
              std::string_view information) {
        ++m_detections;
        std::cout << path << ": " << threat << " FOUND (" << length << " bytes)";
        if (!information.empty()) {
            std::cout << ' ' << information;
        }
        std::cout << '\n';
    }

    std::string m_database;
    std::string m_quarantineFolder;
    std::uint64_t m_files = 0;
    std::uint64_t m_detections = 0;
};

[[noreturn]] void usage(const std::string& problem) {
    std::cerr << "classic_scan: " << problem << "\n\n"
              << "Usage: classic_scan --database PATH FOLDER\n";
    std::exit(2);
}

} // namespace

int main(int argc, char** argv) {
    std::string database;
    std::string root;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--database" && i + 1 < argc) {
            database = argv[++i];
        } else if (!argument.empty() && argument[0] == '-') {
            usage("unknown option '" + argument + "'");
        } else if (root.empty()) {
            root = argument;
        } else {
            usage("only one FOLDER");
        }
    }
    if (database.empty() || root.empty()) {
        usage("--database and FOLDER are required");
    }
    std::error_code ec;
    const fs::path canonical = fs::canonical(root, ec);
    if (ec || !fs::is_directory(canonical)) {
        std::cerr << "classic_scan: cannot scan '" << root << "'\n";
        return 2;
    }
    const char* home = std::getenv("HOME");
    ClassicScan scan(database, home != nullptr ? std::string(home) + "/Karantina" : std::string());
    scan.walk(canonical.string());
    std::cout << "Total File    : " << scan.files() << '\n'
              << "Virus Detected: " << scan.detections() << '\n';
    return scan.detections() > 0 ? 1 : 0;
}
