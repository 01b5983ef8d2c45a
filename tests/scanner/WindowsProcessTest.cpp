// Ending a running detected program on Windows, where the test's children are started with
// CreateProcessW and names are compared as Windows compares them.
#include "ChildPrograms.h"
#include "engine/SignatureDatabase.h"
#include "engine/clsCRC.h"
#include "platform/InputFile.h"
#include "platform/windows/WideText.h"
#include "scanner/ProcessTable.h"
#include "scanner/ScanSession.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <algorithm>
#include <cctype>
#include <gtest/gtest.h>
#include <windows.h>

using testsupport::ChildPrograms;
using testsupport::kChildEnded;
using testsupport::kChildKilled;
using testsupport::TempDir;

namespace {

/// Two copies of one program, and a program whose path starts with theirs.
struct CopiesAndNeighbour {
    TempDir dir;
    ChildPrograms children;
    std::string program = dir.file("worm.exe");
    std::string neighbourProgram = dir.file("worm.exe-helper.exe");
    std::vector<pid_t> copies;
    pid_t neighbour = 0;

    CopiesAndNeighbour() {
        ChildPrograms::copyProgram(program);
        ChildPrograms::copyProgram(neighbourProgram);
        copies = {children.start(program), children.start(program)};
        neighbour = children.start(neighbourProgram);
    }

    /// Ends every child; expects the copies gone already and the neighbour still running.
    void expectOnlyCopiesKilled() {
        EXPECT_EQ(children.end(copies[0]), kChildKilled);
        EXPECT_EQ(children.end(copies[1]), kChildKilled);
        EXPECT_EQ(children.end(neighbour), kChildEnded);
    }
};

TEST(WindowsProcesses, EveryCopyOfTheProgramEndsAndNothingElse) {
    CopiesAndNeighbour run;
    EXPECT_EQ(EndRunningProcess(run.program), 2u);
    run.expectOnlyCopiesKilled();
    EXPECT_EQ(EndRunningProcess(run.program), 0u);
}

// Windows names ignore case: a walk may spell the program's path otherwise than the process list.
TEST(WindowsProcesses, APathSpelledInAnotherCaseStillEndsTheProgram) {
    CopiesAndNeighbour run;
    std::string upper = run.program;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    ASSERT_NE(upper, run.program);
    EXPECT_EQ(EndRunningProcess(upper), 2u);
    run.expectOnlyCopiesKilled();
}

TEST(WindowsProcesses, OwnPathIsTheModulePath) {
    wchar_t own[4096];
    const DWORD length = ::GetModuleFileNameW(nullptr, own, 4096);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(PathByPID(static_cast<std::int32_t>(::GetCurrentProcessId())),
              platform::windows::narrow(std::wstring_view(own, length)));
}

TEST(WindowsProcesses, ScanEndsARunningDetectedProgramWhenListingIt) {
    TempDir root;
    TempDir databaseDir;
    ChildPrograms children;
    const std::string program = root.file("bin/evil.exe");
    testsupport::writeFile(root.file("bin/zz-after.txt"), "later file");
    ChildPrograms::copyProgram(program);
    std::string content;
    ASSERT_FALSE(platform::readWholeFile(program, content));
    testsupport::writeFile(
        databaseDir.file("db.dll"),
        testsupport::databaseText(
            {ChecksumText(clsCRC().CalculateBytes(content)) + ":Evil.Program", "Selesai:Selesai"}));
    const pid_t pid = children.start(program);

    SignatureDatabase database(databaseDir.file("db.dll"));
    ScanOptions options;
    options.root = root.path();
    options.database = &database;
    options.quarantineFolder = root.file("Karantina");
    ScanObserver quiet;
    const ScanSummary summary = RunScan(options, quiet, [] { return false; });
    ASSERT_EQ(summary.detections.size(), 1u);
    EXPECT_EQ(summary.detections[0].location, program);
    EXPECT_EQ(children.end(pid), kChildKilled);
}

} // namespace
