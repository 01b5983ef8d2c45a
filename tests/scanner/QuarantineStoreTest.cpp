#include "scanner/QuarantineStore.h"

#include "WalkedFiles.h"
#include "platform/AtomicFile.h"
#include "platform/FileFacts.h"
#include "platform/ScopedSeam.h"
#include "scanner/DetectionActions.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::writeFile;

mode_t modeOf(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

/// A temporary folder by its path without links, with a quarantine folder in it.
class QuarantineStoreTest : public ::testing::Test {
protected:
    std::string file(const std::string& relative) const { return m_root + "/" + relative; }
    std::string quarantine() const { return file("Karantina"); }
    QuarantineStore store() const { return QuarantineStore(quarantine()); }

    /// Quarantines the file at `path` as the scan's action does; returns its quarantine name.
    ActionOutcome quarantineFile(const std::string& path) {
        DetectionList list = {testsupport::listedEntry(path, "Test.Threat")};
        ActionOptions options;
        options.quarantineFolder = quarantine();
        ActionObserver observer;
        const ActionResult result = tindakan(kActionQuarantine, list, options, observer);
        return result.outcomes.at(0);
    }

    std::vector<QuarantineItem> items() const {
        std::vector<QuarantineItem> listed;
        EXPECT_FALSE(store().list(listed));
        return listed;
    }

private:
    testsupport::TempDir m_dir;
    std::string m_root = fs::canonical(m_dir.path()).string();
};

TEST_F(QuarantineStoreTest, RestoreReturnsTheSameBytesModeAndPlace) {
    const std::string path = file("home/bin/tool.exe");
    const std::string content = testsupport::randomBytes(5000);
    writeFile(path, content);
    ::chmod(path.c_str(), 04751);
    if (platform::runningAsRoot()) {
        ASSERT_EQ(::chown(path.c_str(), 4321, 4322), 0);
        ::chmod(path.c_str(), 04751); // a change of owner clears set-user-id
    }

    const ActionOutcome moved = quarantineFile(path);
    ASSERT_TRUE(moved.done) << moved.reason;
    EXPECT_EQ(moved.note, "");
    const std::string quarantined = quarantine() + "/" + moved.target;
    EXPECT_FALSE(fs::exists(path));
    // In quarantine it can be read but not run, and it has no set-id bits.
    EXPECT_EQ(modeOf(quarantined), 0640u);
    EXPECT_EQ(readFile(quarantined), content);
    ASSERT_TRUE(fs::exists(quarantine() + "/tool.exe.rec"));

    const std::vector<QuarantineItem> listed = items();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].name, "tool.exe_vir");
    ASSERT_TRUE(listed[0].record.has_value()) << listed[0].problem;
    EXPECT_EQ(listed[0].record->location, path);
    EXPECT_EQ(listed[0].record->threat, "Test.Threat");
    EXPECT_EQ(listed[0].record->size, 5000u);
    EXPECT_EQ(listed[0].record->mode, 04751u);
    const QuarantineRowTexts row = QuarantineRow(listed[0]);
    EXPECT_EQ(row.size, "5000");
    EXPECT_EQ(row.threat, "Test.Threat");

    const QuarantineOutcome restored = store().restore("tool.exe_vir", std::nullopt);
    ASSERT_TRUE(restored.done) << restored.message;
    EXPECT_EQ(restored.message, "restored 'tool.exe_vir' to '" + path + "'");
    EXPECT_EQ(readFile(path), content);
    EXPECT_EQ(modeOf(path), 04751u);
    if (platform::runningAsRoot()) {
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, 4321u);
        EXPECT_EQ(info.st_gid, 4322u);
    }
    EXPECT_FALSE(fs::exists(quarantined));
    EXPECT_TRUE(items().empty());
}

TEST_F(QuarantineStoreTest, FolderOthersCanChangeIsRefusedForEveryAction) {
    writeFile(file("a.exe"), "first");
    ASSERT_TRUE(quarantineFile(file("a.exe")).done);
    // The folder the quarantine makes is the user's alone.
    EXPECT_EQ(modeOf(quarantine()), 0700u);

    // Anyone may rename records and files in it: nothing is restored, deleted or moved there.
    ASSERT_EQ(::chmod(quarantine().c_str(), 0777), 0);
    const QuarantineOutcome restored = store().restore("a.exe_vir", std::nullopt);
    EXPECT_FALSE(restored.done);
    EXPECT_TRUE(contains(restored.message, "is not trusted: others may change it"))
        << restored.message;
    EXPECT_FALSE(store().remove("a.exe_vir").done);
    writeFile(file("b.exe"), "second");
    const ActionOutcome refused = quarantineFile(file("b.exe"));
    EXPECT_FALSE(refused.done);
    EXPECT_TRUE(contains(refused.reason, "is not trusted")) << refused.reason;
    EXPECT_EQ(readFile(file("b.exe")), "second");
    EXPECT_TRUE(fs::exists(quarantine() + "/a.exe_vir"));
    EXPECT_FALSE(fs::exists(file("a.exe")));

    // A folder of another user's (root running with a user's HOME, say) is refused as well.
    if (platform::runningAsRoot()) {
        ASSERT_EQ(::chmod(quarantine().c_str(), 0700), 0);
        ASSERT_EQ(::chown(quarantine().c_str(), 4321, 4321), 0);
        const QuarantineOutcome foreign = store().restore("a.exe_vir", std::nullopt);
        EXPECT_FALSE(foreign.done);
        EXPECT_TRUE(contains(foreign.message, "belongs to another user")) << foreign.message;
        EXPECT_FALSE(store().remove("a.exe_vir").done);
        EXPECT_FALSE(fs::exists(file("a.exe")));
    }
}

TEST_F(QuarantineStoreTest, RestoredFileIsNewSoNoDescriptorHeldOnTheQuarantinedOneReachesIt) {
    const std::string path = file("bin/prog");
    writeFile(path, "program bytes");
    ::chmod(path.c_str(), 0755);
    const ActionOutcome moved = quarantineFile(path);
    ASSERT_TRUE(moved.done) << moved.reason;
    const std::string quarantined = quarantine() + "/" + moved.target;
    // Someone kept the quarantined file open for writing.
    const int held = ::open(quarantined.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    struct stat before {};
    ASSERT_EQ(::fstat(held, &before), 0);

    const QuarantineOutcome restored = store().restore(moved.target, std::nullopt);
    ASSERT_TRUE(restored.done) << restored.message;
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode & 07777, 0755u);
    ASSERT_EQ(::pwrite(held, "TAMPERED", 8, 0), 8);
    ::close(held);
    EXPECT_EQ(readFile(path), "program bytes");
    EXPECT_FALSE(fs::exists(quarantined));
}

TEST_F(QuarantineStoreTest, RestoreStoppedHalfwayLeavesOnlyATemporaryFileTheNextOneRemoves) {
    const std::string path = file("home/tool.exe");
    writeFile(path, "tool");
    ASSERT_TRUE(quarantineFile(path).done);
    const std::string temporary = file("home/.tool.exe_vir.kesto-restore");
    // A restore killed while it copies: the process ends at the hook.
    const auto killedRestore = [this] {
        const pid_t child = ::fork();
        if (child == 0) {
            QuarantineStore::testHooks().duringCopy = [] { ::_exit(0); };
            store().restore("tool.exe_vir", std::nullopt);
            ::_exit(1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    };

    killedRestore();
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(fs::exists(temporary));
    EXPECT_TRUE(fs::exists(quarantine() + "/tool.exe_vir"));
    EXPECT_EQ(items().size(), 1u);
    EXPECT_FALSE(fs::exists(temporary));

    killedRestore();
    ASSERT_TRUE(fs::exists(temporary));
    const QuarantineOutcome restored = store().restore("tool.exe_vir", std::nullopt);
    ASSERT_TRUE(restored.done) << restored.message;
    EXPECT_EQ(readFile(path), "tool");
    EXPECT_FALSE(fs::exists(temporary));
}

TEST_F(QuarantineStoreTest, NamesTooLongForAnEndingAreShortenedAtACharacterAndRestoredInFull) {
    // 2 + 125 * 2 bytes: no room for "_vir"; every cut that fits would split an "é".
    std::string name = "ab";
    for (int k = 0; k < 125; ++k) {
        name += "\xc3\xa9";
    }
    const std::string first = file("one/" + name);
    const std::string second = file("two/" + name);
    writeFile(first, "first");
    writeFile(second, "second");
    const ActionOutcome one = quarantineFile(first);
    const ActionOutcome two = quarantineFile(second);
    ASSERT_TRUE(one.done) << one.reason;
    ASSERT_TRUE(two.done) << two.reason;
    EXPECT_EQ(one.target, name.substr(0, 250) + "_vir");
    EXPECT_EQ(two.target, name.substr(0, 246) + " (2)_vir");

    ASSERT_TRUE(store().restore(two.target, std::nullopt).done);
    EXPECT_EQ(readFile(second), "second");
    ASSERT_TRUE(store().restore(one.target, std::nullopt).done);
    EXPECT_EQ(readFile(first), "first");
}

TEST_F(QuarantineStoreTest, NamesWithNewlinesAndStrayBytesRoundTrip) {
    const std::string folder = file("odd\nfolder \xff");
    const std::string path = folder + "/a\nb\xc3(.exe";
    writeFile(path, "odd");
    const ActionOutcome moved = quarantineFile(path);
    ASSERT_TRUE(moved.done) << moved.reason;
    ASSERT_EQ(moved.note, "");

    const std::vector<QuarantineItem> listed = items();
    ASSERT_EQ(listed.size(), 1u);
    ASSERT_TRUE(listed[0].record.has_value()) << listed[0].problem;
    EXPECT_EQ(listed[0].record->location, path);
    // Shown on one line.
    EXPECT_FALSE(contains(QuarantineRow(listed[0]).location, "\n"));

    const QuarantineOutcome restored = store().restore(listed[0].name, std::nullopt);
    ASSERT_TRUE(restored.done) << restored.message;
    EXPECT_EQ(restored.restoredTo, path);
    EXPECT_EQ(readFile(path), "odd");
}

TEST_F(QuarantineStoreTest, RestoreNeverReplacesFollowsLinksOrCreatesFolders) {
    writeFile(file("a/sub/x.exe"), "quarantined");
    ASSERT_TRUE(quarantineFile(file("a/sub/x.exe")).done);

    // An occupied place.
    writeFile(file("a/sub/x.exe"), "newer");
    QuarantineOutcome outcome = store().restore("x.exe_vir", std::nullopt);
    EXPECT_FALSE(outcome.done);
    EXPECT_TRUE(contains(outcome.message, "'" + file("a/sub/x.exe") + "' already exists"))
        << outcome.message;
    EXPECT_EQ(readFile(file("a/sub/x.exe")), "newer");

    // A folder on the way swapped for a link to a folder elsewhere.
    fs::rename(file("a/sub"), file("elsewhere"));
    fs::remove(file("elsewhere/x.exe"));
    fs::create_directory_symlink(file("elsewhere"), file("a/sub"));
    outcome = store().restore("x.exe_vir", std::nullopt);
    EXPECT_FALSE(outcome.done);
    EXPECT_TRUE(contains(outcome.message, "symbolic link")) << outcome.message;
    EXPECT_FALSE(fs::exists(file("elsewhere/x.exe")));

    // A folder that is gone.
    fs::remove(file("a/sub"));
    outcome = store().restore("x.exe_vir", std::nullopt);
    EXPECT_FALSE(outcome.done);
    EXPECT_TRUE(contains(outcome.message, "'" + file("a/sub") + "' does not exist"))
        << outcome.message;
    EXPECT_FALSE(fs::exists(file("a/sub")));

    // Each refusal left the file and its record in quarantine; a chosen folder takes it.
    EXPECT_EQ(readFile(quarantine() + "/x.exe_vir"), "quarantined");
    fs::create_directory(file("chosen"));
    outcome = store().restore("x.exe_vir", file("a/../chosen/"));
    ASSERT_TRUE(outcome.done) << outcome.message;
    EXPECT_EQ(readFile(file("chosen/x.exe")), "quarantined");
    EXPECT_FALSE(fs::exists(quarantine() + "/x.exe.rec"));
}

TEST_F(QuarantineStoreTest, DamagedOrForeignRecordsAndChangedFilesAreRefused) {
    writeFile(file("a/one.exe"), "one");
    writeFile(file("a/two.exe"), "two");
    ASSERT_TRUE(quarantineFile(file("a/one.exe")).done);
    ASSERT_TRUE(quarantineFile(file("a/two.exe")).done);
    writeFile(quarantine() + "/one.exe.rec", "{\"kesto-quarantine-record\": 1, \"size\": ");
    writeFile(quarantine() + "/orphan_vir", "no record");
    writeFile(quarantine() + "/notes.txt", "ignored");

    const std::vector<QuarantineItem> listed = items();
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0].name, "one.exe_vir");
    EXPECT_EQ(listed[0].problem, "damaged record: not valid JSON");
    EXPECT_EQ(QuarantineRow(listed[0]).location, "(damaged record: not valid JSON)");
    EXPECT_EQ(listed[1].name, "orphan_vir");
    EXPECT_EQ(listed[1].problem, "no record");
    EXPECT_EQ(listed[2].name, "two.exe_vir");
    EXPECT_EQ(listed[2].problem, "");

    QuarantineOutcome outcome = store().restore("one.exe_vir", std::nullopt);
    EXPECT_FALSE(outcome.done);
    EXPECT_TRUE(contains(outcome.message, "damaged record: not valid JSON")) << outcome.message;
    outcome = store().restore("orphan_vir", std::nullopt);
    EXPECT_FALSE(outcome.done);
    EXPECT_TRUE(contains(outcome.message, "has no record")) << outcome.message;

    writeFile(quarantine() + "/two.exe_vir", "TWO");
    outcome = store().restore("two.exe_vir", std::nullopt);
    EXPECT_FALSE(outcome.done);
    EXPECT_TRUE(contains(outcome.message, "is not the file its record describes"))
        << outcome.message;
    EXPECT_FALSE(fs::exists(file("a/two.exe")));

    for (const std::string name : {"../x_vir", "notes.txt", "_vir", "one.exe.rec"}) {
        EXPECT_FALSE(store().restore(name, file("a")).done) << name;
        EXPECT_FALSE(store().remove(name).done) << name;
    }
    EXPECT_TRUE(fs::exists(quarantine() + "/one.exe.rec"));
}

TEST_F(QuarantineStoreTest, DeleteRemovesFileAndRecord) {
    writeFile(file("a/x.exe"), "x");
    ASSERT_TRUE(quarantineFile(file("a/x.exe")).done);
    const QuarantineOutcome deleted = store().remove("x.exe_vir");
    EXPECT_TRUE(deleted.done);
    EXPECT_EQ(deleted.message, "deleted 'x.exe_vir' and its record");
    EXPECT_TRUE(items().empty());
    EXPECT_FALSE(store().remove("x.exe_vir").done);
    EXPECT_FALSE(fs::exists(file("a/x.exe")));
}

TEST_F(QuarantineStoreTest, RecordThatCannotBeWrittenIsReportedAndTheFileStaysQuarantined) {
    writeFile(file("a/x.exe"), "x");
    ActionOutcome moved;
    {
        const platform::ScopedSeam full(platform::setWriteCall,
                                        [](int, const void*, std::size_t) -> ssize_t {
                                            errno = ENOSPC;
                                            return -1;
                                        });
        moved = quarantineFile(file("a/x.exe"));
    }
    EXPECT_TRUE(moved.done);
    EXPECT_TRUE(contains(moved.note, "quarantined without a record")) << moved.note;
    EXPECT_FALSE(fs::exists(file("a/x.exe")));
    const std::vector<QuarantineItem> listed = items();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].problem, "no record");
    // Without a record it goes back only to a folder the user names, under its own name.
    const QuarantineOutcome restored = store().restore("x.exe_vir", file("a"));
    ASSERT_TRUE(restored.done) << restored.message;
    EXPECT_EQ(readFile(file("a/x.exe")), "x");
}

TEST(QuarantineRow, LocationsAndThreatsShowAsOneUnambiguousLine) {
    QuarantineItem item;
    item.name = "a_vir";
    item.record = QuarantineRecord{};
    item.record->location = "/home/u/bad\nname\xff.com";
    item.record->threat = "Threat\xe2\x80\xae";
    const QuarantineRowTexts row = QuarantineRow(item);
    EXPECT_EQ(row.location, "/home/u/bad\\x0aname\\xff.com");
    EXPECT_EQ(row.threat, "Threat\\u202E");
    // The store's messages name files the same way.
    EXPECT_EQ(QuarantineStore("/nonexistent").remove("inv\xff").message,
              "'inv\\xff' is not the name of a quarantined file (NAME_vir)");
}

TEST(QuarantineRecord, DocumentsRoundTripAndDamageIsNamed) {
    QuarantineRecord record;
    record.location = "/a\n\xff/b\"\\";
    record.threat = "Worm.X";
    record.checksum = "1A2B";
    record.sha256 = std::string(64, 'f');
    record.size = 18446744073709551615u;
    record.mode = 04755;
    record.uid = 4294967295u;
    record.gid = 7;
    record.quarantinedAt = UtcTimeText(1765297753);
    record.device = 1;
    record.inode = 2;
    EXPECT_EQ(record.quarantinedAt, "2025-12-09T16:29:13Z");
    std::string problem;
    const auto parsed = ParseRecord(RecordText(record), problem);
    ASSERT_TRUE(parsed.has_value()) << problem;
    EXPECT_EQ(*parsed, record);

    std::string text = RecordText(record);
    const auto replaced = [&text](const std::string& from, const std::string& to) {
        std::string changed = text;
        changed.replace(changed.find(from), from.size(), to);
        return changed;
    };
    const std::vector<std::pair<std::string, std::string>> damaged = {
        {"", "not valid JSON"},
        {"[1]", "not a quarantine record"},
        {"{\"kesto-quarantine-record\": 2}", "a quarantine record of an unknown version"},
        {replaced("\"size\": 18446744073709551615", "\"size\": -1"), "\"size\""},
        {replaced("\"uid\": 4294967295", "\"uid\": 4294967296"), "\"uid\""},
        {replaced("\"4755\"", "\"9\""), "\"mode\""},
        {replaced("\"Worm.X\"", "7"), "\"threat\""},
        {replaced("\"location-base64\": \"", "\"location-base64\": \"*"), "base64"},
        {replaced("\"location-base64\": \"", "\"location-base64\": \"AAAA"), "full path"},
        {replaced("\"1A2B\"", "\"1a2b\""), "\"checksum\""},
        {replaced("\"2025-12-09T16:29:13Z\"", "\"yesterday\""), "\"quarantined\""},
    };
    for (const auto& [document, expected] : damaged) {
        EXPECT_FALSE(ParseRecord(document, problem).has_value()) << document;
        EXPECT_TRUE(contains(problem, expected)) << problem << " for " << document;
    }
    EXPECT_EQ(RecordNameFor("setup.exe (2)_vir"), "setup.exe (2).rec");
    EXPECT_EQ(QuarantinedNameFor("setup.exe (2).rec"), "setup.exe (2)_vir");
    EXPECT_EQ(RecordNameFor("_vir"), "");
}

} // namespace
