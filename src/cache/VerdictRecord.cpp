#include "cache/VerdictRecord.h"

#include "engine/Crc32.h"

namespace {

// Bits of the flags byte.
constexpr std::uint8_t kChecksummed = 1;
constexpr std::uint8_t kPatternsSearched = 2;
constexpr std::uint8_t kMayBeRunning = 4;
constexpr std::uint8_t kExtraChecked = 8;
constexpr std::uint8_t kKnownFlags =
    kChecksummed | kPatternsSearched | kMayBeRunning | kExtraChecked;

// Where the check starts: everything before it is covered by it.
constexpr std::size_t kCheckOffset = VerdictRecord::kValueSize - 4;

/// Writes and reads unsigned numbers in big-endian order at a moving position.
template <std::size_t N> class Bytes {
public:
    explicit Bytes(std::array<char, N>& bytes) : m_bytes(bytes) {}
    template <class T> void put(T value) {
        for (std::size_t i = sizeof(T); i-- > 0;) {
            m_bytes[m_at++] = static_cast<char>(static_cast<std::uint64_t>(value) >> (8 * i));
        }
    }

private:
    std::array<char, N>& m_bytes;
    std::size_t m_at = 0;
};

class Reader {
public:
    explicit Reader(std::string_view bytes) : m_bytes(bytes) {}
    template <class T> T get() {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i) {
            value = value << 8 | static_cast<unsigned char>(m_bytes[m_at++]);
        }
        return static_cast<T>(value);
    }

private:
    std::string_view m_bytes;
    std::size_t m_at = 0;
};

std::uint32_t checkOf(std::string_view covered) {
    return ~crc32::update(0xFFFFFFFFu, covered);
}

} // namespace

VerdictRecord::Key VerdictRecord::EncodeKey(std::uint32_t volume, std::uint64_t inode) {
    Key key{};
    Bytes<kKeySize> out(key);
    out.put(inode);
    out.put(volume);
    return key;
}

VerdictRecord::Value VerdictRecord::encode() const {
    Value value{};
    Bytes<kValueSize> out(value);
    out.put(static_cast<std::uint32_t>(stamp.size));
    out.put(static_cast<std::uint64_t>(stamp.changedNs));
    out.put(facts.checksum.value_or(0));
    std::uint8_t flags = 0;
    flags |= facts.checksum ? kChecksummed : 0;
    flags |= facts.patternsSearched ? kPatternsSearched : 0;
    flags |= facts.mayBeRunning ? kMayBeRunning : 0;
    flags |= facts.extraChecked ? kExtraChecked : 0;
    out.put(flags);
    out.put(facts.pattern);
    out.put(facts.extraSource);
    out.put(facts.extraItem);
    out.put(serial);
    out.put(checkOf(std::string_view(value.data(), kCheckOffset)));
    return value;
}

std::optional<VerdictRecord> VerdictRecord::Decode(std::string_view bytes) {
    if (bytes.size() != kValueSize) {
        return std::nullopt;
    }
    Reader in(bytes);
    VerdictRecord record;
    record.stamp.size = in.get<std::uint32_t>();
    record.stamp.changedNs = in.get<std::int64_t>();
    const auto checksum = in.get<std::uint32_t>();
    const auto flags = in.get<std::uint8_t>();
    record.facts.pattern = in.get<std::uint16_t>();
    record.facts.extraSource = in.get<std::uint16_t>();
    record.facts.extraItem = in.get<std::uint32_t>();
    record.serial = in.get<std::uint32_t>();
    const auto check = in.get<std::uint32_t>();
    if (check != checkOf(bytes.substr(0, kCheckOffset)) || (flags & ~kKnownFlags) != 0) {
        return std::nullopt;
    }
    // A checksum that was not made is written as 0; a pattern is found only where one was sought.
    const bool checksummed = (flags & kChecksummed) != 0;
    record.facts.patternsSearched = (flags & kPatternsSearched) != 0;
    // What the other sources found is there only where they were asked, and an item belongs to a
    // source.
    record.facts.extraChecked = (flags & kExtraChecked) != 0;
    if ((!checksummed && checksum != 0) ||
        (!record.facts.patternsSearched && record.facts.pattern != 0) ||
        (!record.facts.extraChecked && record.facts.extraSource != 0) ||
        (record.facts.extraSource == 0 && record.facts.extraItem != 0)) {
        return std::nullopt;
    }
    if (checksummed) {
        record.facts.checksum = checksum;
    }
    record.facts.mayBeRunning = (flags & kMayBeRunning) != 0;
    return record;
}
