// Fuzzes the reading of quarantine records, which lie in a folder others may have written to.
// Whatever the input, reading gives a record or a reason, never both; a record read back is one
// that writing and reading again keeps exactly, and its fields are in their documented ranges.
// The input also serves as the bytes of a location and a threat name, which must survive a
// write and a read: the location exactly, the threat as long as it is UTF-8.

#include "FuzzCheck.h"
#include "scanner/QuarantineRecord.h"

#include <string>
#include <string_view>

namespace {

void checkRead(std::string_view text) {
    std::string problem;
    const auto record = ParseRecord(text, problem);
    if (!record) {
        FUZZ_CHECK(!problem.empty());
        return;
    }
    FUZZ_CHECK(problem.empty());
    FUZZ_CHECK(record->location.size() >= 2 && record->location.front() == '/');
    FUZZ_CHECK(record->location.find('\0') == std::string::npos);
    FUZZ_CHECK(record->mode <= 07777u);
    FUZZ_CHECK_EQ(record->sha256.size(), 64u);
    // Texts read from JSON are UTF-8, so everything is written back exactly.
    const auto again = ParseRecord(RecordText(*record), problem);
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(*again == *record);
}

void checkWritten(std::string_view bytes) {
    QuarantineRecord record;
    record.location = "/" + std::string(bytes);
    if (record.location.back() == '/' || record.location.find('\0') != std::string::npos) {
        record.location += "x";
        std::erase(record.location, '\0');
        if (record.location.size() < 2) {
            return;
        }
    }
    record.threat = std::string(bytes);
    record.checksum = "0";
    record.sha256 = std::string(64, '0');
    record.quarantinedAt = "2026-01-01T00:00:00Z";
    std::string problem;
    const auto read = ParseRecord(RecordText(record), problem);
    FUZZ_CHECK(read.has_value());
    FUZZ_CHECK_EQ(read->location, record.location);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzzcheck::asText(data, size);
    checkRead(text);
    checkWritten(text);
    return 0;
}
