#include "scanner/DetectionActions.h"

#include "ChildPrograms.h"
#include "WalkedFiles.h"
#include "engine/SignatureDatabase.h"
#include "engine/clsCRC.h"
#include "platform/FileOps.h"
#include "platform/ProgramFolder.h"
#include "scanner/ScanSession.h"
#include "testsupport/LinkSupport.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <utility>

namespace {

namespace fs = std::filesystem;
using testsupport::listedEntry;
using testsupport::TempDir;
using testsupport::writeFile;

class Recorder final : public ActionObserver {
public:
    void entryRemoved(std::size_t position) override { removed.push_back(position); }
    void entryKept(std::size_t position, const DetectionEntry&,
                   const std::string& reason) override {
        kept.emplace_back(position, reason);
    }
    void progressChanged(int percent, const std::string& text) override {
        progress.emplace_back(percent, text);
    }
    std::vector<std::size_t> removed;
    std::vector<std::pair<std::size_t, std::string>> kept;
    std::vector<std::pair<int, std::string>> progress;
};

/// The folder as the quarantine message shows it: with a separator at its end.
std::string shownFolder(const std::string& folder) {
    return folder + platform::kPathSeparator;
}

/// How the system words "no such file" (its texts differ between systems).
std::string missingFileText(const TempDir& dir) {
    platform::FolderHandle folder;
    folder.openPath(dir.path());
    return platform::deleteFile(folder, "never-there").message();
}

ActionOptions optionsWith(const std::string& quarantine) {
    ActionOptions options;
    options.quarantineFolder = quarantine;
    return options;
}

TEST(DetectionActions, EmptyListOnlyReportsThatNothingIsSelected) {
    TempDir dir;
    const std::string quarantine = dir.file("Karantina");
    DetectionList list;
    Recorder recorder;

    const ActionResult deleted = tindakan(kActionDelete, list, optionsWith(quarantine), recorder);
    EXPECT_EQ(deleted.status, "There is no virus that deleted...");
    EXPECT_EQ(deleted.messageTitle, "No Selected");
    EXPECT_EQ(deleted.messageStyle, 64);
    const ActionResult moved = tindakan(kActionQuarantine, list, optionsWith(quarantine), recorder);
    EXPECT_EQ(moved.status, "There are no viruses are quaranted...");
    EXPECT_EQ(moved.messageTitle, "No Selected");
    EXPECT_EQ(moved.handled, 0u);
    EXPECT_FALSE(fs::exists(quarantine));
    EXPECT_TRUE(recorder.removed.empty());
    EXPECT_TRUE(recorder.progress.empty());
}

TEST(DetectionActions, UnknownActionChangesNothing) {
    TempDir dir;
    writeFile(dir.file("a"), "x");
    DetectionList list = {listedEntry(dir.file("a"))};
    Recorder recorder;
    EXPECT_THROW(tindakan("Hapus", list, optionsWith(dir.file("q")), recorder),
                 std::invalid_argument);
    EXPECT_EQ(list.size(), 1u);
    EXPECT_TRUE(fs::exists(dir.file("a")));
}

TEST(DetectionActions, DeleteCountsOnlyWhatItRemovedAndKeepsTheRestListed) {
    TempDir dir;
    const std::string hidden = dir.file(".x");
    writeFile(hidden, "x");
    ::chmod(hidden.c_str(), 0444);
    writeFile(dir.file("gone.exe"), "g");
    writeFile(dir.file("b.exe"), "b");
    DetectionList list = {listedEntry(hidden), listedEntry(dir.file("gone.exe")),
                          listedEntry(dir.file("b.exe"))};
    fs::remove(dir.file("gone.exe"));
    Recorder recorder;

    const ActionResult result = tindakan(kActionDelete, list, optionsWith(dir.file("q")), recorder);
    EXPECT_FALSE(fs::exists(hidden));
    EXPECT_FALSE(fs::exists(dir.file("b.exe")));
    EXPECT_EQ(recorder.removed, (std::vector<std::size_t>{3, 1}));
    ASSERT_EQ(recorder.kept.size(), 1u);
    EXPECT_EQ(recorder.kept[0].first, 2u);
    const std::vector<std::pair<int, std::string>> progress = {
        {33, "33 % Complete..."}, {67, "67 % Complete..."}, {100, "100 % Complete..."}};
    EXPECT_EQ(recorder.progress, progress);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].location, dir.file("gone.exe"));
    EXPECT_EQ(list[0].information, "Not removed: " + missingFileText(dir));
    EXPECT_EQ(result.handled, 2u);
    EXPECT_EQ(result.failed, 1u);
    EXPECT_EQ(result.status, "2 Virus has been removed...");
    EXPECT_NE(result.message.find("1 file(s) could not be removed"), std::string::npos);
    EXPECT_EQ(result.messageStyle, 48);
    ASSERT_EQ(result.outcomes.size(), 3u);
    EXPECT_TRUE(result.outcomes[0].done);
    EXPECT_FALSE(result.outcomes[1].done);
    EXPECT_FALSE(fs::exists(dir.file("q")));
}

TEST(DetectionActions, DeleteEndsTheRunningProgramFirst) {
    TempDir dir;
    testsupport::ChildPrograms children;
    const std::string program = dir.file("worm");
    testsupport::ChildPrograms::copyProgram(program);
    const pid_t pid = children.start(program);
    DetectionList list = {listedEntry(program)};
    Recorder recorder;

    const ActionResult result = tindakan(kActionDelete, list, optionsWith(dir.file("q")), recorder);
    EXPECT_EQ(children.end(pid), testsupport::kChildKilled);
    EXPECT_FALSE(fs::exists(program));
    EXPECT_EQ(result.status, "1 Virus has been removed...");
    EXPECT_EQ(result.messageTitle, "Success");
    EXPECT_EQ(result.messageStyle, 64);
}

TEST(DetectionActions, QuarantineGivesEveryFileAFreeNameAndNeverReplaces) {
    TempDir dir;
    const std::string quarantine = dir.file("home/Karantina");
    writeFile(dir.file("a/setup.exe"), "first");
    writeFile(dir.file("b/setup.exe"), "second");
    writeFile(dir.file("c/tool.exe"), "third");
    writeFile(dir.file("home/Karantina/tool.exe_vir"), "earlier");
    DetectionList list = {listedEntry(dir.file("a/setup.exe")),
                          listedEntry(dir.file("b/setup.exe")),
                          listedEntry(dir.file("c/tool.exe"))};
    Recorder recorder;

    const ActionResult result =
        tindakan(kActionQuarantine, list, optionsWith(quarantine), recorder);
    // The entry listed last is moved first and takes the plain name.
    EXPECT_EQ(testsupport::readFile(dir.file("home/Karantina/setup.exe_vir")), "second");
    EXPECT_EQ(testsupport::readFile(dir.file("home/Karantina/setup.exe (2)_vir")), "first");
    EXPECT_EQ(testsupport::readFile(dir.file("home/Karantina/tool.exe_vir")), "earlier");
    EXPECT_EQ(testsupport::readFile(dir.file("home/Karantina/tool.exe (2)_vir")), "third");
    EXPECT_FALSE(fs::exists(dir.file("a/setup.exe")));
    EXPECT_FALSE(fs::exists(dir.file("b/setup.exe")));
    EXPECT_FALSE(fs::exists(dir.file("c/tool.exe")));
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(result.handled, 3u);
    EXPECT_EQ(result.status,
              "3 Virus has been removed to a folder '" + shownFolder(quarantine) + "' ...");
    EXPECT_EQ(result.outcomes[0].target, "tool.exe (2)_vir");
}

TEST(DetectionActions, QuarantineFolderThatIsAFileMovesNothing) {
    TempDir dir;
    writeFile(dir.file("Karantina"), "a file, not a folder");
    writeFile(dir.file("x.exe"), "x");
    DetectionList list = {listedEntry(dir.file("x.exe"))};
    Recorder recorder;

    const ActionResult result =
        tindakan(kActionQuarantine, list, optionsWith(dir.file("Karantina")), recorder);
    EXPECT_TRUE(fs::exists(dir.file("x.exe")));
    EXPECT_EQ(result.handled, 0u);
    EXPECT_EQ(result.failed, 1u);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_NE(list[0].information.find("quarantine folder"), std::string::npos);
    EXPECT_EQ(result.status, "0 Virus has been removed to a folder '" +
                                 shownFolder(dir.file("Karantina")) + "' ...");
}

/// Scans a tree where every file holding the test pattern is listed, then acts on the rows.
class ActionsAfterScan : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile(databasePath,
                  testsupport::databaseText(
                      {ChecksumText(clsCRC().CalculateBytes(testsupport::eicar())) + ":Eicar",
                       "Selesai:Selesai"}));
    }
    /// Swaps the folder `name` of the scanned tree for a link to its folder `target`.
    void swapForLink(const std::string& name, const std::string& target) {
        fs::rename(root.file(name), root.file(name + ".orig"));
        fs::create_directory_symlink(root.file(target), root.file(name));
    }
    DetectionList scan() {
        ScanOptions options;
        options.root = root.path();
        options.database = &database;
        options.endProcesses = false;
        ScanObserver quiet;
        return RunScan(options, quiet, [] { return false; }).detections;
    }
    ActionResult act(std::string_view aksi, DetectionList& list,
                     std::function<void(const DetectionEntry&)> beforeAct = {}) {
        ActionOptions options = ActionOptionsFor(database, quarantine.file("Karantina"));
        options.beforeAct = std::move(beforeAct);
        Recorder recorder;
        return tindakan(aksi, list, options, recorder);
    }

    TempDir root;
    TempDir quarantine;
    TempDir databaseDir;
    std::string databasePath = databaseDir.file("db.dll");
    SignatureDatabase database{databasePath};
};

TEST_F(ActionsAfterScan, FolderSwappedForALinkAfterTheScanLeavesBothFilesAlone) {
    if (!testsupport::linksAreVisible()) {
        GTEST_SKIP() << "links cannot be told from folders here";
    }
    writeFile(root.file("a/evil.com"), testsupport::eicar());
    writeFile(root.file("victim/evil.com"), "harmless text");
    DetectionList list = scan();
    ASSERT_EQ(list.size(), 1u);
    swapForLink("a", "victim");

    for (const std::string_view aksi : {kActionDelete, kActionQuarantine}) {
        const ActionResult result = act(aksi, list);
        EXPECT_EQ(result.handled, 0u);
        ASSERT_EQ(result.outcomes.size(), 1u);
        EXPECT_EQ(result.outcomes[0].reason, "changed since the scan");
        EXPECT_EQ(testsupport::readFile(root.file("victim/evil.com")), "harmless text");
        EXPECT_EQ(testsupport::readFile(root.file("a.orig/evil.com")), testsupport::eicar());
        EXPECT_EQ(list.size(), 1u);
    }
}

TEST_F(ActionsAfterScan, FolderSwappedWhileActingStillRemovesOnlyTheCheckedFile) {
    if (!testsupport::linksAreVisible()) {
        GTEST_SKIP() << "links cannot be told from folders here";
    }
    writeFile(root.file("a/evil.com"), testsupport::eicar());
    writeFile(root.file("victim/evil.com"), "harmless text");
    DetectionList list = scan();
    ASSERT_EQ(list.size(), 1u);
    const ActionResult result =
        act(kActionDelete, list, [&](const DetectionEntry&) { swapForLink("a", "victim"); });
    EXPECT_EQ(result.handled, 1u);
    EXPECT_EQ(testsupport::readFile(root.file("victim/evil.com")), "harmless text");
    EXPECT_FALSE(fs::exists(root.file("a.orig/evil.com")));
}

TEST_F(ActionsAfterScan, FileSwappedJustBeforeTheActionIsPutBackAndLeftAlone) {
    for (const std::string_view aksi : {kActionDelete, kActionQuarantine}) {
        writeFile(root.file("evil.com"), testsupport::eicar());
        DetectionList list = scan();
        ASSERT_EQ(list.size(), 1u);
        // Another user's file takes the name between the check and the action.
        writeFile(root.file("other"), "someone else's file");
        const ActionResult result = act(aksi, list, [&](const DetectionEntry&) {
            fs::rename(root.file("other"), root.file("evil.com"));
        });
        EXPECT_EQ(result.handled, 0u) << aksi;
        ASSERT_EQ(result.outcomes.size(), 1u);
        EXPECT_EQ(result.outcomes[0].reason, "changed since the scan");
        EXPECT_EQ(testsupport::readFile(root.file("evil.com")), "someone else's file");
        EXPECT_EQ(list.size(), 1u);
        // Nothing is left behind in the folder but the file itself.
        std::size_t entries = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(root.path())) {
            ++entries;
        }
        EXPECT_EQ(entries, 1u) << aksi;
        EXPECT_FALSE(fs::exists(quarantine.file("Karantina/evil.com_vir")));
        fs::remove(root.file("evil.com"));
    }
}

TEST_F(ActionsAfterScan, ReplacedOrRewrittenFilesAreCheckedAgain) {
    writeFile(root.file("replaced.com"), testsupport::eicar());
    writeFile(root.file("rewritten.com"), testsupport::eicar());
    writeFile(root.file("touched.com"), testsupport::eicar());
    DetectionList list = scan();
    ASSERT_EQ(list.size(), 3u);
    // Another file under the same name; the same file with harmless content; the same content
    // with a new time.
    // (Written beside it and renamed over it, so that it cannot reuse the old inode number.)
    writeFile(root.file("replacement"), testsupport::eicar());
    fs::rename(root.file("replacement"), root.file("replaced.com"));
    {
        std::ofstream out(root.file("rewritten.com"), std::ios::binary | std::ios::trunc);
        out << "now harmless";
    }
    fs::last_write_time(root.file("touched.com"),
                        fs::last_write_time(root.file("touched.com")) + std::chrono::hours(1));

    const ActionResult result = act(kActionDelete, list);
    EXPECT_EQ(result.handled, 1u);
    EXPECT_FALSE(fs::exists(root.file("touched.com")));
    EXPECT_TRUE(fs::exists(root.file("replaced.com")));
    EXPECT_EQ(testsupport::readFile(root.file("rewritten.com")), "now harmless");
    ASSERT_EQ(list.size(), 2u);
    for (const DetectionEntry& entry : list) {
        EXPECT_EQ(entry.information, "Not removed: changed since the scan");
    }
}

TEST_F(ActionsAfterScan, DeepFilesAreReachedAndRemoved) {
    std::string relative;
    for (int depth = 0; depth < 300; ++depth) {
        relative += "d/";
    }
    writeFile(root.file(relative + "eicar.com"), testsupport::eicar());
    DetectionList list = scan();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(act(kActionQuarantine, list).handled, 1u);
    EXPECT_FALSE(fs::exists(root.file(relative + "eicar.com")));
    EXPECT_TRUE(fs::exists(quarantine.file("Karantina/eicar.com_vir")));
}

} // namespace
