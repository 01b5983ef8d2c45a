// The Windows program end to end: kesto.exe started with a UTF-16 command line, its output read
// from pipes, over a tree with names in several scripts and a path longer than MAX_PATH.
#include "cli/Commands.h"
#include "cli/JsonText.h"
#include "engine/clsCRC.h"
#include "platform/ProgramFolder.h"
#include "platform/windows/WideText.h"
#include "scanner/DetectionList.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>
#include <windows.h>

using platform::windows::widen;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

struct ProgramRun {
    DWORD code = 0xFFFFFFFF;
    std::string out;
    std::string err;
};

/// `argument` quoted for a command line as CommandLineToArgvW and the C runtime split it.
std::wstring quoted(const std::wstring& argument) {
    std::wstring text = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes are literal unless a quote follows; then each is doubled and the quote
        // escaped.
        text.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        text += c;
    }
    text.append(2 * backslashes, L'\\');
    return text + L"\"";
}

/// Everything that comes out of a pipe until its writer closes it.
std::string readAll(HANDLE pipe) {
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        text.append(buffer, got);
    }
    return text;
}

/// Runs the program at `program` with `arguments` (UTF-8) and collects its exit code and output.
ProgramRun run(const std::string& program, const std::vector<std::string>& arguments) {
    std::wstring commandLine = quoted(widen(program));
    for (const std::string& argument : arguments) {
        commandLine += L" " + quoted(widen(argument));
    }
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE outRead = nullptr;
    HANDLE outWrite = nullptr;
    HANDLE errRead = nullptr;
    HANDLE errWrite = nullptr;
    ProgramRun result;
    if (!::CreatePipe(&outRead, &outWrite, &inherit, 0) ||
        !::CreatePipe(&errRead, &errWrite, &inherit, 0)) {
        ADD_FAILURE() << "cannot create pipes";
        return result;
    }
    ::SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION process{};
    const std::wstring application = platform::windows::win32Path(program);
    const bool started =
        ::CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                         DETACHED_PROCESS, nullptr, nullptr, &startup, &process);
    ::CloseHandle(outWrite);
    ::CloseHandle(errWrite);
    if (started) {
        std::thread errReader([&] { result.err = readAll(errRead); });
        result.out = readAll(outRead);
        errReader.join();
        ::WaitForSingleObject(process.hProcess, INFINITE);
        ::GetExitCodeProcess(process.hProcess, &result.code);
        ::CloseHandle(process.hProcess);
        ::CloseHandle(process.hThread);
    } else {
        ADD_FAILURE() << "cannot start " << program;
    }
    ::CloseHandle(outRead);
    ::CloseHandle(errRead);
    return result;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> all;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        all.push_back(line);
    }
    return all;
}

/// The detection rows of a scan's output (the lines with " FOUND ("), sorted.
std::vector<std::string> rows(const std::string& out) {
    std::vector<std::string> found;
    for (const std::string& line : lines(out)) {
        if (line.find(" FOUND (") != std::string::npos) {
            found.push_back(line);
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

class WindowsScanTest : public ::testing::Test {
protected:
    WindowsScanTest() {
        writeFile(
            database,
            testsupport::databaseText(
                {ChecksumText(clsCRC().CalculateBytes(testsupport::eicar())) + ":EICAR-Test-File",
                 ChecksumText(clsCRC().CalculateBytes(kOtherContent)) + ":Test.Other",
                 "Selesai:Selesai"}));
        // A name of 60 letters, five folders deep: well past MAX_PATH (260) in all.
        const std::string longName(60, 'l');
        for (int depth = 0; depth < 5; ++depth) {
            longFolders += longName + std::to_string(depth) + "/";
        }
        for (const std::string& relative : detected()) {
            writeFile(tree.file(relative),
                      relative == kOtherFile ? std::string(kOtherContent) : testsupport::eicar());
        }
        writeFile(tree.file("Café/clean.txt"), "harmless");
        writeFile(tree.file("日本語/読んで.txt"), "harmless too");
        // The quarantine folder lies in the scanned tree: what is in it is counted and checked,
        // as on Linux, but never listed.
        writeFile(tree.file("Karantina/earlier.com_vir"), testsupport::eicar());
    }

    /// Every file of the tree that the database names, relative to the tree.
    std::vector<std::string> detected() const {
        return {"Café/résumé.com", "Кириллица/вирус.com",
                "日本語/名前.exe", "emoji 😀/🦠 sample.com",
                kOtherFile,        longFolders + "deep.com"};
    }

    /// The rows the scan of the tree lists, as a Linux scan of the same tree gives them but with
    /// '\' as the separator.
    std::vector<std::string> expectedRows() const {
        std::vector<std::string> expected;
        for (const std::string& relative : detected()) {
            const bool other = relative == kOtherFile;
            expected.push_back(
                tree.file(relative) + ": " +
                (other ? "Test.Other FOUND (11 bytes) " : "EICAR-Test-File FOUND (68 bytes) ") +
                kChecksumAdvice);
        }
        std::sort(expected.begin(), expected.end());
        return expected;
    }

    ProgramRun kesto(std::vector<std::string> arguments) {
        std::vector<std::string> full{"scan", "--database", database, "--quarantine-dir",
                                      quarantine};
        full.insert(full.end(), arguments.begin(), arguments.end());
        return run(platform::programFolder() + "\\..\\bin\\kesto.exe", full);
    }

    static constexpr const char* kOtherFile = "Ελληνικά/ünïcödé.bin";
    static constexpr std::string_view kOtherContent = "other bytes";

    TempDir tree;
    TempDir home;
    std::string database = home.file("db.dll");
    std::string quarantine = tree.file("Karantina");
    std::string longFolders;
};

} // namespace

TEST_F(WindowsScanTest, ListsTheSameRowsAsLinuxWithWindowsPaths) {
    ASSERT_GT(tree.file(longFolders + "deep.com").size(), 300u);
    const ProgramRun scan = kesto({tree.path()});
    EXPECT_EQ(scan.code, static_cast<DWORD>(kExitDetected)) << scan.err;
    EXPECT_EQ(rows(scan.out), expectedRows()) << scan.out;
    // Output is binary: one "\n" per line, never "\r\n".
    EXPECT_EQ(scan.out.find('\r'), std::string::npos);
    EXPECT_NE(scan.out.find("Total File    : 9\nFile Scanning : 9\nVirus Detected: 6\n"),
              std::string::npos)
        << scan.out;
    EXPECT_NE(scan.out.find("\nScanning is finished, 6 virus detected...\n"), std::string::npos);
    EXPECT_EQ(scan.out.find("earlier.com_vir"), std::string::npos);
    EXPECT_EQ(scan.err, "");
    for (const std::string& row : rows(scan.out)) {
        const std::string path = row.substr(0, row.find(": "));
        EXPECT_EQ(path.find('/'), std::string::npos) << row;
    }
}

TEST_F(WindowsScanTest, NamedFilesAndJsonKeepTheNamesIntact) {
    const std::string named = tree.file("Кириллица/вирус.com");
    const ProgramRun scan = kesto({"--json", named, tree.file("日本語")});
    EXPECT_EQ(scan.code, static_cast<DWORD>(kExitDetected)) << scan.err;
    EXPECT_NE(scan.out.find("\"location\": " + JsonString(named)), std::string::npos) << scan.out;
    EXPECT_NE(scan.out.find("\"total\": 3,"), std::string::npos) << scan.out;
    EXPECT_NE(scan.out.find("\"detected\": 2,"), std::string::npos) << scan.out;
}

TEST_F(WindowsScanTest, QuarantinedFilesAreNotFoundAgain) {
    const ProgramRun moved = kesto({"--quarantine", tree.path()});
    EXPECT_EQ(moved.code, static_cast<DWORD>(kExitDetected)) << moved.err;
    EXPECT_NE(moved.out.find("6 Virus has been removed to a folder '" + quarantine + "\\' ...\n"),
              std::string::npos)
        << moved.out << moved.err;
    for (const std::string& relative : detected()) {
        EXPECT_EQ(testsupport::readFile(tree.file(relative)), "") << relative;
    }
    const std::string base = "🦠 sample.com_vir";
    EXPECT_EQ(testsupport::readFile(tree.file("Karantina/" + base)), testsupport::eicar());

    const ProgramRun again = kesto({tree.path()});
    EXPECT_EQ(again.code, static_cast<DWORD>(kExitClean)) << again.out << again.err;
    // Two clean files, the earlier file, and six quarantined files with their records.
    EXPECT_NE(again.out.find("Total File    : 15\nFile Scanning : 15\nVirus Detected: 0\n"),
              std::string::npos)
        << again.out;
}
