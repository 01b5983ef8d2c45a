// Fuzzes the decoding of verdict store values, which are read back from a file on disk that may
// be damaged. Whatever the input, a value that decodes is one that encoding gives back byte for
// byte, with no field a written record cannot have; a record made from the input survives an
// encoding and a decoding exactly; keys keep the inode first and sort as (inode, volume).

#include "FuzzCheck.h"
#include "cache/VerdictRecord.h"

#include <cstdint>
#include <cstring>
#include <string_view>
#include <tuple>

namespace {

/// Big-endian numbers taken from the input one after another, zeros once it runs out.
class Numbers {
public:
    explicit Numbers(std::string_view data) : m_data(data) {}
    template <typename T> T next() {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i) {
            value = value << 8 |
                    (m_at < m_data.size() ? static_cast<unsigned char>(m_data[m_at++]) : 0u);
        }
        return static_cast<T>(value);
    }

private:
    std::string_view m_data;
    std::size_t m_at = 0;
};

void checkDecode(std::string_view bytes) {
    const auto record = VerdictRecord::Decode(bytes);
    if (!record) {
        return;
    }
    FUZZ_CHECK_EQ(bytes.size(), VerdictRecord::kValueSize);
    const VerdictRecord::Value value = record->encode();
    FUZZ_CHECK(std::string_view(value.data(), value.size()) == bytes);
    FUZZ_CHECK(record->facts.patternsSearched || record->facts.pattern == 0);
}

void checkEncode(std::string_view data) {
    Numbers in(data);
    VerdictRecord record;
    record.stamp.size = in.next<std::uint32_t>() % VerdictRecord::kMaxSize;
    record.stamp.changedNs = in.next<std::int64_t>();
    const auto flags = in.next<std::uint8_t>();
    if ((flags & 1) != 0) {
        record.facts.checksum = in.next<std::uint32_t>();
    }
    record.facts.patternsSearched = (flags & 2) != 0;
    record.facts.mayBeRunning = (flags & 4) != 0;
    const auto pattern = in.next<std::uint16_t>();
    record.facts.pattern = record.facts.patternsSearched ? pattern : 0;
    record.serial = in.next<std::uint32_t>();
    const VerdictRecord::Value value = record.encode();
    const auto decoded = VerdictRecord::Decode(std::string_view(value.data(), value.size()));
    FUZZ_CHECK(decoded.has_value());
    FUZZ_CHECK(*decoded == record);
}

void checkKeys(std::string_view data) {
    Numbers in(data);
    const auto volumeA = in.next<std::uint32_t>();
    const auto inodeA = in.next<std::uint64_t>();
    const auto volumeB = in.next<std::uint32_t>();
    const auto inodeB = in.next<std::uint64_t>();
    const VerdictRecord::Key a = VerdictRecord::EncodeKey(volumeA, inodeA);
    const VerdictRecord::Key b = VerdictRecord::EncodeKey(volumeB, inodeB);
    // The store compares keys as LMDB does: byte for byte.
    const int order = std::memcmp(a.data(), b.data(), a.size());
    const auto tupleA = std::tuple(inodeA, volumeA);
    const auto tupleB = std::tuple(inodeB, volumeB);
    FUZZ_CHECK_EQ(order < 0, tupleA < tupleB);
    FUZZ_CHECK_EQ(order == 0, tupleA == tupleB);
    Numbers key(std::string_view(a.data(), a.size()));
    FUZZ_CHECK_EQ(key.next<std::uint64_t>(), inodeA);
    FUZZ_CHECK_EQ(key.next<std::uint32_t>(), volumeA);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = fuzzcheck::asText(data, size);
    checkDecode(bytes);
    checkEncode(bytes);
    checkKeys(bytes);
    return 0;
}
