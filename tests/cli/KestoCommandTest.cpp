#include "cli/Commands.h"
#include "testsupport/CommandRun.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>

using testsupport::CommandRun;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

CommandRun kesto(const std::vector<std::string>& arguments) {
    return testsupport::runCommand(runKesto, arguments);
}

std::string threeEntryDatabase(const TempDir& dir) {
    const std::string path = dir.file("db.dll");
    writeFile(path, testsupport::databaseText({"AAAA1111:First.A", "BBBB2222:Second:with:colons",
                                               "CCCC3333:Third", "Selesai:Selesai"}));
    return path;
}

} // namespace

TEST(KestoCommand, UsageErrorsNameTheProblemInOneLineAndPointToTheHelp) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "no command given"},
        {{"frobnicate"}, "unknown command 'frobnicate'"},
        {{"fro\nbnicate\x1b[2J"}, "unknown command 'fro\\x0abnicate\\x1b[2J'"},
        {{"--nope"}, "unknown option '--nope'"},
        {{"--nope\a"}, "unknown option '--nope\\x07'"},
        {{"scan", "--log"}, "option '--log' needs a value"},
        {{"inspect"}, "inspect needs at least one FILE"},
        {{"signatures", "extra"}, "signatures takes no arguments"},
        {{"info", "now"}, "info takes no arguments"},
        {{"smart", "/dev/sda", "/dev/sdb"}, "smart takes at most one DEVICE"},
    };
    for (const auto& [arguments, problem] : cases) {
        const CommandRun run = kesto(arguments);
        EXPECT_EQ(run.code, kExitError) << ::testing::PrintToString(arguments);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "kesto: " + problem + "\nTry 'kesto --help'.\n");
    }
}

TEST(KestoCommand, HelpAndVersion) {
    const CommandRun help = kesto({"--help"});
    EXPECT_EQ(help.code, kExitClean);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out, usageText());
    for (const char* item :
         {"scan [--clean | --quarantine] [--json] [--quiet] ", "inspect FILE...", "signatures",
          "--clean", "--quarantine ", "--quarantine-dir DIR", "--json", "-q, --quiet",
          "--database PATH", "-h, --help", "-V, --version", "\n  --  ", "\n  0  ", "\n  1  ",
          "\n  2  ", "\n  130  "}) {
        EXPECT_NE(help.out.find(item), std::string::npos) << item;
    }
    const CommandRun version = kesto({"inspect", "--version"});
    EXPECT_EQ(version.code, kExitClean);
    EXPECT_EQ(version.out.rfind("kesto 1.1.0 (Zedodu)\n", 0), 0u);
}

TEST(KestoCommand, InspectShowsReadableFilesAndReportsTheOthers) {
    TempDir dir;
    const std::string program = dir.file("setup.exe");
    writeFile(program, std::string("MZ") + "UPX!\x0c\x09" + std::string("\0\0\0MEW", 6));
    const std::string empty = dir.file("empty.txt");
    writeFile(empty, "");

    const CommandRun run = kesto({"inspect", program, dir.file("missing"), empty});
    EXPECT_EQ(run.code, kExitError);
    EXPECT_NE(run.err.find("missing"), std::string::npos);
    EXPECT_EQ(
        run.out,
        program + "\n  Checksum : " + "35763E46" +
            "\n  Type     : Application\n  Compiler : Unknown\n"
            "  Packer   : MEW\n"
            "  SHA-256  : e81c12244e1992da65c2f0f859024427ae8eb89dc4f978884ca8c12e643d750e\n" +
            empty +
            "\n  Checksum : 0\n  Type     : Text Document\n"
            "  Compiler : Unknown\n  Packer   : Unknown\n"
            "  SHA-256  : e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855\n");
}

TEST(KestoCommand, SignaturesListsDatabaseNamesThenBuiltInNames) {
    TempDir dir;
    const CommandRun run = kesto({"signatures", "--database", threeEntryDatabase(dir)});
    EXPECT_EQ(run.code, kExitClean);
    EXPECT_EQ(run.out.rfind("1. First.A\n2. Second:with:colons\n3. Third\n4. w32.service\n", 0),
              0u);
    EXPECT_NE(run.out.find("\n17. Suspect level (6)\nTotal Signatures : 17\n"), std::string::npos);
}

TEST(KestoCommand, OutputThatCannotBeWrittenIsAnError) {
    // A stream whose every write fails, as standard output on a full disk.
    struct FullBuffer : std::streambuf {
        int overflow(int) override { return traits_type::eof(); }
    } full;
    std::ostream out(&full);
    TempDir dir;
    const std::string database = threeEntryDatabase(dir);
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"--help"}, {"signatures", "--database", database}, {"inspect", database}}) {
        std::ostringstream err;
        EXPECT_EQ(runKesto(arguments, {out, err}), kExitError)
            << ::testing::PrintToString(arguments);
        EXPECT_NE(err.str().find("cannot write the output"), std::string::npos);
        out.clear();
    }
    // A scan that listed something still says so; one that listed nothing fails.
    const std::string eicarDatabase = dir.file("eicar.dll");
    writeFile(eicarDatabase, testsupport::databaseText({"6851CF3C:Eicar", "Selesai:Selesai"}));
    writeFile(dir.file("tree/eicar.com"), testsupport::eicar());
    std::ostringstream err;
    EXPECT_EQ(runKesto({"scan", "--database", eicarDatabase, dir.file("tree")}, {out, err}),
              kExitDetected);
    out.clear();
    std::filesystem::remove(dir.file("tree/eicar.com"));
    EXPECT_EQ(runKesto({"scan", "--database", eicarDatabase, dir.file("tree")}, {out, err}),
              kExitError);
}

TEST(KestoCommand, SignaturesOfABrokenDatabaseListWhatItCanAndFail) {
    TempDir dir;
    const std::string noEnd = dir.file("noend.dll");
    writeFile(noEnd, testsupport::databaseText({"AAAA1111:First.A", "no colon here"}));
    const CommandRun run = kesto({"signatures", "--database", noEnd});
    EXPECT_EQ(run.code, kExitError);
    EXPECT_EQ(run.out.rfind("1. First.A\n2. no colon here\n3. w32.service\n", 0), 0u);
    EXPECT_NE(run.err.find("no colon"), std::string::npos);
    writeFile(noEnd, testsupport::databaseText({"AAAA1111:First.A"}));
    EXPECT_NE(kesto({"signatures", "--database", noEnd}).err.find("end line"), std::string::npos);

    const CommandRun missing = kesto({"signatures", "--database", dir.file("absent.dll")});
    EXPECT_EQ(missing.code, kExitError);
    EXPECT_NE(missing.out.find("Total Signatures : 14"), std::string::npos);

    // A line without a colon is listed whole, yet a scan could not look past it.
    const std::string noColon = dir.file("nocolon.dll");
    writeFile(noColon, testsupport::databaseText({"AAAA1111:First.A", "no colon here",
                                                  "CCCC3333:Third", "Selesai:Selesai"}));
    const CommandRun broken = kesto({"signatures", "--database", noColon});
    EXPECT_EQ(broken.code, kExitError);
    EXPECT_EQ(broken.out.rfind("1. First.A\n2. no colon here\n3. Third\n4. w32.service\n", 0), 0u);
    EXPECT_NE(broken.err.find("line 2 of the database '" + noColon + "' has no colon"),
              std::string::npos)
        << broken.err;

    const std::string huge = dir.file("huge.dll");
    writeFile(huge, "");
    std::filesystem::resize_file(huge, 1ull << 32);
    const CommandRun tooLarge = kesto({"signatures", "--database", huge});
    EXPECT_EQ(tooLarge.code, kExitError);
    EXPECT_NE(tooLarge.err.find("larger than 64 MiB"), std::string::npos);
}

TEST(KestoCommand, ProgramFindsTheShippedDatabaseBesideIt) {
    const std::string command = std::string("'") + KESTO_BIN_DIR + "/kesto' signatures 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    std::array<char, 4096> buffer{};
    while (const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), pipe)) {
        output.append(buffer.data(), got);
    }
    const int status = ::pclose(pipe);
    EXPECT_EQ(WEXITSTATUS(status), 0) << output;
    EXPECT_EQ(output.rfind("1. EICAR-Test-File (not a virus)\n", 0), 0u) << output;
    EXPECT_NE(output.find("Total Signatures : 17\n"), std::string::npos);
}

TEST(KestoCommand, InfoShowsMountPointsAndDevicesAsPrintableNames) {
    // A mount point may hold a line break and the text of a drive line, or escape bytes for the
    // terminal; the kernel writes them into the mounts table as octal escapes.
    TempDir dir;
    platform::DriveSources sources;
    sources.mountsFile = dir.file("mounts");
    sources.sysClassBlock = dir.file("class-block");
    sources.isBlockDevice = [](const std::string&) { return true; };
    writeFile(
        sources.mountsFile,
        "/dev/kesto-a / ext4 rw 0 0\n"
        "/dev/kesto-b /media/new\\012->\\040Drive\\040Size\\040:\\04031337\\040MB ext4 rw 0 0\n"
        "/dev/kesto\\033]0;title\\007 /media/back\\134slash\\033[2J vfat rw 0 0\n");
    std::vector<std::string> asked;
    const auto query = [&asked](const std::string& mountPoint) {
        asked.push_back(mountPoint);
        return std::optional<platform::Space>(platform::Space{1 << 30, 1 << 29, 1 << 29});
    };
    const CommandRun info = testsupport::runCommand(runInfoWith, CommandLine{}, sources, query);
    EXPECT_EQ(info.code, kExitClean);
    const std::string& text = info.out;
    const std::string drives = text.substr(text.find("\nDrives\n"));
    EXPECT_EQ(drives,
              "\nDrives\n"
              "/\n-> Drive Size : 1024 MB\n-> Space Used : 512 MB\n"
              "-> Free Space : 512 MB\n\n"
              "/media/back\\\\slash\\x1b[2J/\n-> Drive Size : 1024 MB\n"
              "-> Space Used : 512 MB\n-> Free Space : 512 MB\n\n"
              "/media/new\\x0a-> Drive Size : 31337 MB/\n-> Drive Size : 1024 MB\n"
              "-> Space Used : 512 MB\n-> Free Space : 512 MB\n\n"
              "/ - /dev/kesto-a, ext4, 50% used\n"
              "/media/back\\\\slash\\x1b[2J/ - /dev/kesto\\x1b]0;title\\x07, vfat, 50% used\n"
              "/media/new\\x0a-> Drive Size : 31337 MB/ - /dev/kesto-b, ext4, 50% used\n");
    // The space is asked for under the real mount points.
    EXPECT_EQ(asked, (std::vector<std::string>{"/", "/media/back\\slash\x1b[2J",
                                               "/media/new\n-> Drive Size : 31337 MB"}));
}

TEST(KestoCommand, InfoPrintsSystemMemoryAndDrivesForATerminal) {
    const CommandRun run = kesto({"info"});
    EXPECT_EQ(run.code, kExitClean) << run.err;
    EXPECT_TRUE(run.err.empty());
    EXPECT_EQ(run.out.find('\r'), std::string::npos);
    for (const char* part : {"System\n  Username          : ", "  Windows Directory : /usr/\n",
                             "  System Directory  : /usr/bin/\n",
                             "\nMemory\n  Total Physical Memory (RAM) : ", "  Residual RAM  ",
                             "  Residual Virtual Memory     : ", "\nDrives\n"}) {
        EXPECT_NE(run.out.find(part), std::string::npos) << part;
    }
    EXPECT_NE(kesto({"--help"}).out.find("\n  info  "), std::string::npos);
}
