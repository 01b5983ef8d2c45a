// Fuzzes the reading of the guard's status file, which `kesto guard status` and the About window
// read whoever wrote it. Whatever the input, a status read back keeps to its limits, writing and
// reading it again gives the same status, and the lines shown for it are each one line. The
// input also serves as the bytes of a watched path and a detection, which any status written
// must survive as a status.

#include "FuzzCheck.h"
#include "guard/GuardStatus.h"

#include <string>
#include <string_view>

namespace {

void checkShown(const GuardStatus& status) {
    for (const bool running : {false, true}) {
        for (const std::string& line : GuardStatusLines(&status, running)) {
            FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
        }
        const std::string summary = GuardSummaryLine(&status, running);
        FUZZ_CHECK(summary.find_first_of("\r\n") == std::string::npos);
    }
}

void checkRead(std::string_view text) {
    const std::optional<GuardStatus> status = ParseGuardStatus(text);
    if (!status) {
        return;
    }
    FUZZ_CHECK(status->pid > 0);
    FUZZ_CHECK(status->watched.size() <= 256);
    FUZZ_CHECK(status->recent.size() <= 10);
    const std::optional<GuardStatus> again = ParseGuardStatus(GuardStatusJson(*status));
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(*again == *status);
    checkShown(*status);
}

void checkWritten(std::string_view bytes) {
    GuardStatus status;
    status.pid = 1;
    status.watched = {std::string(bytes)};
    status.recent = {
        {1, std::string(bytes), std::string(bytes), std::string(bytes), 2, std::string(bytes)}};
    const std::optional<GuardStatus> read = ParseGuardStatus(GuardStatusJson(status));
    FUZZ_CHECK(read.has_value());
    FUZZ_CHECK_EQ(read->watched.size(), 1u);
    FUZZ_CHECK_EQ(read->recent.size(), 1u);
    checkShown(status);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzzcheck::asText(data, size);
    checkRead(text);
    checkWritten(text);
    return 0;
}
