#include "scanner/DetectionActions.h"

#include "ChildPrograms.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <utility>

namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::writeFile;

class Recorder final : public ActionObserver {
public:
    void entryRemoved(std::size_t position) override { removed.push_back(position); }
    void progressChanged(int percent, const std::string& text) override {
        progress.emplace_back(percent, text);
    }
    std::vector<std::size_t> removed;
    std::vector<std::pair<int, std::string>> progress;
};

DetectionEntry detected(const std::string& location) {
    return {"Test.Virus", location, "4", kChecksumAdvice};
}

std::string contentOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

TEST(DetectionActions, EmptyListOnlyReportsThatNothingIsSelected) {
    TempDir dir;
    const std::string quarantine = dir.file("Karantina");
    DetectionList list;
    Recorder recorder;

    const ActionResult deleted = tindakan(kActionDelete, list, quarantine, recorder);
    EXPECT_EQ(deleted.status, "There is no virus that deleted...");
    EXPECT_EQ(deleted.messageTitle, "No Selected");
    EXPECT_EQ(deleted.messageStyle, 64);
    const ActionResult moved = tindakan(kActionQuarantine, list, quarantine, recorder);
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
    DetectionList list = {detected(dir.file("a"))};
    Recorder recorder;
    EXPECT_THROW(tindakan("Hapus", list, dir.file("q"), recorder), std::invalid_argument);
    EXPECT_EQ(list.size(), 1u);
    EXPECT_TRUE(fs::exists(dir.file("a")));
}

TEST(DetectionActions, DeleteHandlesEveryEntryLastFirstAndCountsVanishedFiles) {
    TempDir dir;
    const std::string hidden = dir.file(".x");
    writeFile(hidden, "x");
    ::chmod(hidden.c_str(), 0444);
    writeFile(dir.file("b.exe"), "b");
    DetectionList list = {detected(hidden), detected(dir.file("gone.exe")),
                          detected(dir.file("b.exe"))};
    Recorder recorder;

    const ActionResult result = tindakan(kActionDelete, list, dir.file("q"), recorder);
    EXPECT_TRUE(list.empty());
    EXPECT_FALSE(fs::exists(hidden));
    EXPECT_FALSE(fs::exists(dir.file("b.exe")));
    EXPECT_EQ(recorder.removed, (std::vector<std::size_t>{3, 2, 1}));
    const std::vector<std::pair<int, std::string>> progress = {
        {33, "33 % Complete..."}, {67, "67 % Complete..."}, {100, "100 % Complete..."}};
    EXPECT_EQ(recorder.progress, progress);
    EXPECT_EQ(result.handled, 3u);
    EXPECT_EQ(result.status, "3 Virus has been removed...");
    EXPECT_EQ(result.messageTitle, "Success");
    EXPECT_EQ(result.messageStyle, 64);
    EXPECT_FALSE(fs::exists(dir.file("q")));
}

TEST(DetectionActions, DeleteEndsTheRunningProgramFirst) {
    TempDir dir;
    testsupport::ChildPrograms children;
    const std::string program = dir.file("worm");
    testsupport::ChildPrograms::copyProgram(program);
    const pid_t pid = children.start(program);
    DetectionList list = {detected(program)};
    Recorder recorder;

    tindakan(kActionDelete, list, dir.file("q"), recorder);
    EXPECT_EQ(children.end(pid), SIGKILL);
    EXPECT_FALSE(fs::exists(program));
}

TEST(DetectionActions, QuarantineNeverReplacesAQuarantinedFile) {
    TempDir dir;
    const std::string quarantine = dir.file("home/Karantina");
    writeFile(dir.file("a/setup.exe"), "first");
    writeFile(dir.file("b/setup.exe"), "second");
    writeFile(dir.file("c/tool.exe"), "third");
    writeFile(quarantine + "/tool.exe_vir", "earlier");
    DetectionList list = {detected(dir.file("a/setup.exe")), detected(dir.file("b/setup.exe")),
                          detected(dir.file("c/tool.exe"))};
    Recorder recorder;

    const ActionResult result = tindakan(kActionQuarantine, list, quarantine, recorder);
    // The entry listed last is moved first and takes the name; the other stays where it was.
    EXPECT_EQ(contentOf(quarantine + "/setup.exe_vir"), "second");
    EXPECT_FALSE(fs::exists(dir.file("b/setup.exe")));
    EXPECT_EQ(contentOf(dir.file("a/setup.exe")), "first");
    EXPECT_EQ(contentOf(quarantine + "/tool.exe_vir"), "earlier");
    EXPECT_EQ(contentOf(dir.file("c/tool.exe")), "third");
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(result.status, "3 Virus has been removed to a folder '" + quarantine + "/' ...");
    EXPECT_EQ(result.messageTitle, "Success");
}

} // namespace
