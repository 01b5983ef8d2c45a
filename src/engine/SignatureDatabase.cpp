#include "engine/SignatureDatabase.h"

#include "engine/TextLines.h"

#include <algorithm>

namespace {

// File times come from a coarse clock, and some file systems keep whole or even seconds. A file
// whose time lies this close to the moment it was read may change again without its stamp changing,
// so its content is compared once more before the index is trusted.
constexpr std::int64_t kRacyWindowNs = 3'000'000'000;

using Entry = std::pair<std::string_view, std::string_view>;

} // namespace

struct SignatureDatabase::Index {
    platform::FileStamp stamp;
    std::string content;
    std::vector<Entry> entries; // sorted by key, first line of each key only
    std::string problem;        // why keys not in `entries` cannot be answered; empty if they can
};

SignatureDatabase::SignatureDatabase(std::string path) : m_path(std::move(path)) {}

SignatureDatabase::~SignatureDatabase() = default;

std::string SignatureDatabase::NoColonProblem(const std::string& path, std::size_t lineNumber) {
    return "line " + std::to_string(lineNumber) + " of the database '" + path + "' has no colon";
}

std::string SignatureDatabase::NoEndLineProblem(const std::string& path) {
    return "the database '" + path + "' has no end line \"" + std::string(kEndLine) + "\"";
}

std::string SignatureDatabase::ReadFile(const std::string& path) {
    std::string content;
    if (const auto ec =
            platform::readWholeFile(path, content, platform::Follow::Symlinks, kMaxBytes)) {
        if (ec == std::errc::file_too_large) {
            throw DatabaseError("the database '" + path + "' is larger than " +
                                std::to_string(kMaxBytes >> 20) + " MiB");
        }
        throw DatabaseError("cannot read the database '" + path + "': " + ec.message());
    }
    return content;
}

std::shared_ptr<const SignatureDatabase::Index>
SignatureDatabase::parse(const platform::FileStamp& stamp, std::string content) const {
    auto index = std::make_shared<Index>();
    index->stamp = stamp;
    index->content = std::move(content);
    TextLines lines(index->content);
    std::string_view line;
    std::size_t number = 0;
    bool ended = false;
    while (lines.next(line)) {
        ++number;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            index->problem = NoColonProblem(m_path, number);
            break;
        }
        index->entries.emplace_back(line.substr(0, colon), line.substr(colon + 1));
        if (line == kEndLine) {
            ended = true;
            break;
        }
    }
    if (!ended && index->problem.empty()) {
        index->problem = NoEndLineProblem(m_path);
    }
    // First line of each key wins: a stable sort keeps file order among equal keys.
    std::stable_sort(index->entries.begin(), index->entries.end(),
                     [](const Entry& a, const Entry& b) { return a.first < b.first; });
    const auto last =
        std::unique(index->entries.begin(), index->entries.end(),
                    [](const Entry& a, const Entry& b) { return a.first == b.first; });
    index->entries.erase(last, index->entries.end());
    index->entries.shrink_to_fit();
    return index;
}

std::shared_ptr<const SignatureDatabase::Index>
SignatureDatabase::current(std::uint64_t round) const {
    if (round != 0) {
        const std::lock_guard lock(m_mutex);
        if (m_index && round <= m_lookedInRound) {
            return m_index;
        }
    }
    // Rounds are handed out in order, so a look now is also after every earlier round started.
    platform::FileStamp stamp;
    if (const auto ec = platform::statFile(m_path, stamp)) {
        throw DatabaseError("cannot open the database '" + m_path + "': " + ec.message());
    }
    const std::lock_guard lock(m_mutex);
    const std::int64_t now = platform::wallClockNs();
    if (m_index && m_index->stamp == stamp) {
        const std::int64_t newest = std::max(stamp.modifiedNs, stamp.changedNs);
        if (m_verifiedAtNs - newest >= kRacyWindowNs) {
            m_lookedInRound = std::max(m_lookedInRound, round);
            return m_index;
        }
        std::string content = ReadFile(m_path);
        if (content != m_index->content) {
            m_index = parse(stamp, std::move(content));
        }
    } else {
        m_index = parse(stamp, ReadFile(m_path));
    }
    m_verifiedAtNs = now;
    // Only a look that succeeded spares the rest of its round one: a failed read fails again.
    m_lookedInRound = std::max(m_lookedInRound, round);
    return m_index;
}

std::uint64_t SignatureDatabase::startRound() const {
    return ++m_rounds;
}

std::string SignatureDatabase::lookup(std::string_view checksumText) const {
    return lookup(checksumText, 0);
}

std::string SignatureDatabase::lookup(std::string_view checksumText, std::uint64_t round) const {
    const auto index = current(round);
    const auto found = std::lower_bound(
        index->entries.begin(), index->entries.end(), checksumText,
        [](const Entry& entry, std::string_view key) { return entry.first < key; });
    if (found != index->entries.end() && found->first == checksumText) {
        return std::string(found->second);
    }
    if (!index->problem.empty()) {
        throw DatabaseError(index->problem);
    }
    return {};
}

std::string SignatureDatabase::problem() const {
    return current(0)->problem;
}
