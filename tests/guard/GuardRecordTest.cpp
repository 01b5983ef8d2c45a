#include "guard/GuardRecord.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

using Json = nlohmann::json;

GuardRecord deniedRecord() {
    GuardRecord record;
    record.timeNs = 1'796'901'839'123'456'789; // 2026-12-10 11:23:59.123456789 UTC
    record.event = GuardEvent::Denied;
    record.path = "/home/a/x.exe";
    record.threat = "Trojan.Foo";
    record.pid = 123;
    record.program = "bash";
    return record;
}

TEST(GuardRecord, JsonHoldsTheUtcTimeAndOnlyTheFieldsSet) {
    EXPECT_EQ(GuardRecordJson(deniedRecord()),
              R"({"time":"2026-12-10T11:23:59.123456Z","event":"denied","path":"/home/a/x.exe",)"
              R"("threat":"Trojan.Foo","pid":123,"program":"bash"})");
    GuardRecord failed;
    failed.event = GuardEvent::ActionFailed;
    failed.detail = "Permission denied";
    EXPECT_EQ(GuardRecordJson(failed), R"({"time":"1970-01-01T00:00:00.000000Z",)"
                                       R"("event":"action-failed","detail":"Permission denied"})");
}

TEST(GuardRecord, JsonStaysOneValidLineWhateverThePathHolds) {
    GuardRecord record = deniedRecord();
    record.path = "/tmp/bad\xff name\nwith\x1b[31m \"\\";
    const std::string line = GuardRecordJson(record);
    EXPECT_EQ(line.find_first_of("\n\x1b"), std::string::npos);
    // A stray byte becomes U+FFFD; everything else stays as it was.
    EXPECT_EQ(Json::parse(line)["path"], "/tmp/bad\xef\xbf\xbd name\nwith\x1b[31m \"\\");
}

TEST(GuardRecord, TextEscapesNamesThatCouldForgeALine) {
    EXPECT_EQ(GuardRecordText(deniedRecord()),
              "denied: /home/a/x.exe (Trojan.Foo) run by pid 123 (bash)");
    GuardRecord forged = deniedRecord();
    forged.event = GuardEvent::Quarantined;
    forged.path = "/tmp/a\ndenied: /bin/ls";
    forged.program = "sh\r";
    EXPECT_EQ(GuardRecordText(forged),
              "quarantined: /tmp/a\\x0adenied: /bin/ls (Trojan.Foo) written by pid 123 (sh\\x0d)");
    GuardRecord error;
    error.detail = "cannot watch /mnt";
    EXPECT_EQ(GuardRecordText(error), "error: cannot watch /mnt");
}

} // namespace
