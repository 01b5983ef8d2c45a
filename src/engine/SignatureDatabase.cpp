#include "engine/SignatureDatabase.h"

#include "engine/TextLines.h"

#include <algorithm>
#include <functional>
#include <optional>

namespace {

// File times come from a coarse clock, and some file systems keep whole or even seconds. A file
// whose time lies this close to the moment it was read may change again without its stamp changing,
// so its content is compared once more before the index is trusted.
constexpr std::int64_t kRacyWindowNs = 3'000'000'000;

using Entry = std::pair<std::string_view, std::string_view>;

std::uint64_t keyHash(std::string_view key) {
    return std::hash<std::string_view>{}(key);
}

/// A table of the keys' fingerprints, open addressing at most half full. Most files are clean, and
/// a fingerprint missing from a slot or two of one small table tells so without the binary search
/// of the keys, whose comparisons wander through the whole database text.
class KeyFilter {
public:
    explicit KeyFilter(const std::vector<Entry>& entries) {
        std::size_t size = 16;
        while (size < 2 * entries.size()) {
            size *= 2;
        }
        m_slots.assign(size, 0);
        for (const Entry& entry : entries) {
            const std::uint64_t hash = keyHash(entry.first);
            std::size_t slot = hash & (size - 1);
            while (m_slots[slot] != 0 && m_slots[slot] != fingerprint(hash)) {
                slot = (slot + 1) & (size - 1);
            }
            m_slots[slot] = fingerprint(hash);
        }
    }

    /// False only when no key is `key`.
    bool mayHold(std::string_view key) const {
        const std::uint64_t hash = keyHash(key);
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t slot = hash & mask; m_slots[slot] != 0; slot = (slot + 1) & mask) {
            if (m_slots[slot] == fingerprint(hash)) {
                return true;
            }
        }
        return false;
    }

private:
    static std::uint32_t fingerprint(std::uint64_t hash) {
        return static_cast<std::uint32_t>(hash >> 32) | 1u; // never 0, the empty slot
    }

    std::vector<std::uint32_t> m_slots;
};

} // namespace

struct SignatureDatabase::Index {
    platform::FileStamp stamp;
    std::string content;
    std::vector<Entry> entries; // sorted by key, first line of each key only
    std::string problem;        // why keys not in `entries` cannot be answered; empty if they can
    std::uint64_t version = 0;  // counts up with every index read from the file
    std::optional<KeyFilter> filter; // of `entries`, once they are settled
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
    index->version = ++m_versions;
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
    index->filter.emplace(index->entries);
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
    return lookup(checksumText, 0, nullptr);
}

std::string SignatureDatabase::lookup(std::string_view checksumText, std::uint64_t round,
                                      std::uint64_t* version) const {
    const auto index = current(round);
    if (version != nullptr) {
        *version = index->version;
    }
    if (index->filter->mayHold(checksumText)) {
        const auto found = std::lower_bound(
            index->entries.begin(), index->entries.end(), checksumText,
            [](const Entry& entry, std::string_view key) { return entry.first < key; });
        if (found != index->entries.end() && found->first == checksumText) {
            return std::string(found->second);
        }
    }
    if (!index->problem.empty()) {
        throw DatabaseError(index->problem);
    }
    return {};
}

std::uint64_t SignatureDatabase::version(std::uint64_t round) const {
    return current(round)->version;
}

std::shared_ptr<const std::string> SignatureDatabase::content(std::uint64_t round) const {
    std::shared_ptr<const Index> index = current(round);
    // Shares the index's ownership: the bytes live as long as the caller holds them.
    return {index, &index->content};
}

std::string SignatureDatabase::problem() const {
    return current(0)->problem;
}
