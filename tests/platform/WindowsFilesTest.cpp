#include "platform/AppendFile.h"
#include "platform/AtomicFile.h"
#include "platform/FileFacts.h"
#include "platform/FileOps.h"
#include "platform/FolderHandle.h"
#include "platform/ScopedSeam.h"
#include "platform/windows/WideText.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <windows.h>

using platform::FolderEntry;
using platform::FolderHandle;
using platform::windows::narrow;
using platform::windows::widen;

namespace {

std::vector<std::string> names(const std::vector<FolderEntry>& entries) {
    std::vector<std::string> result;
    for (const FolderEntry& entry : entries) {
        result.push_back(entry.name);
    }
    return result;
}

} // namespace

TEST(WideText, UnpairedSurrogatesRoundTripAndBadBytesBecomeReplacements) {
    const std::wstring odd = {
        L'a', wchar_t(0xD800), L'b', wchar_t(0xDC00), wchar_t(0xD83D), wchar_t(0xDE00)};
    const std::string bytes = narrow(odd);
    EXPECT_EQ(bytes, "a\xED\xA0\x80"
                     "b\xED\xB0\x80\xF0\x9F\x98\x80");
    EXPECT_EQ(widen(bytes), odd);
    EXPECT_EQ(widen("x\xFFy\xC0\xAF"), std::wstring(L"x\xFFFDy\xFFFD\xFFFD"));
    EXPECT_EQ(platform::windows::win32Path("C:/a/./b/../c"), L"\\\\?\\C:\\a\\c");
    EXPECT_EQ(platform::windows::win32Path("\\\\server\\share\\x"),
              L"\\\\?\\UNC\\server\\share\\x");
    EXPECT_TRUE(platform::windows::namesDevice("\\\\.\\COM1"));
    EXPECT_FALSE(platform::windows::namesDevice("C:\\a\\file.txt"));
}

TEST(WindowsFolders, NamesThatAreNoSingleNameAreRefusedAndListingsAreSorted) {
    const testsupport::TempDir dir;
    testsupport::writeFile(dir.file("b"), "bb");
    testsupport::writeFile(dir.file("C"), "C");
    testsupport::writeFile(dir.file("\xC3\xA9"), "e");
    ASSERT_TRUE(CreateDirectoryW(widen(dir.file("a")).c_str(), nullptr));
    FolderHandle folder;
    ASSERT_FALSE(folder.openPath(dir.path()));
    std::vector<FolderEntry> entries;
    ASSERT_FALSE(folder.list(true, entries));
    EXPECT_EQ(names(entries), (std::vector<std::string>{"C", "a", "b", "\xC3\xA9"}));
    EXPECT_EQ(entries[1].kind, FolderEntry::Kind::Folder);
    EXPECT_EQ(entries[2].kind, FolderEntry::Kind::RegularFile);
    EXPECT_EQ(entries[2].size, 2U);

    platform::InputFile input;
    EXPECT_EQ(input.openAt(folder.fd(), "a"), platform::FileError::NotRegularFile);

    FolderHandle child;
    for (const char* bad : {"", ".", "..", "a\\b", "a/b", "b:stream"}) {
        EXPECT_EQ(child.openChild(folder, bad), std::errc::invalid_argument) << bad;
    }
    ASSERT_FALSE(child.openChild(folder, "a"));
    FolderHandle parent;
    ASSERT_FALSE(parent.openParentOf(child));
    EXPECT_EQ(parent.id(), folder.id());
    platform::FileStamp stamp;
    EXPECT_EQ(folder.statFile("a", stamp), platform::FileError::NotRegularFile);
}

TEST(WindowsFolders, NamesThatAreNoValidUtf16AreListedOpenedAndRead) {
    // Such a name would otherwise be a way to hide a file from the scan.
    const testsupport::TempDir dir;
    const std::string odd = narrow(std::wstring{L'z', wchar_t(0xDC01)});
    const HANDLE created = CreateFileW(widen(dir.file(odd)).c_str(), GENERIC_WRITE, 0, nullptr,
                                       CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created == INVALID_HANDLE_VALUE) {
        // Wine keeps names as UTF-8 on the Unix file system, which cannot hold such a name.
        GTEST_SKIP() << "this file system cannot hold a name with an unpaired surrogate";
    }
    DWORD written = 0;
    WriteFile(created, "odd", 3, &written, nullptr);
    CloseHandle(created);
    FolderHandle folder;
    ASSERT_FALSE(folder.openPath(dir.path()));
    std::vector<FolderEntry> entries;
    ASSERT_FALSE(folder.list(false, entries));
    EXPECT_EQ(names(entries), std::vector<std::string>{odd});
    platform::InputFile input;
    ASSERT_FALSE(input.openAt(folder.fd(), odd));
    std::string content;
    ASSERT_FALSE(input.readToEnd(content));
    EXPECT_EQ(content, "odd");
}

TEST(WindowsFiles, DevicesAndFoldersAreNeverOpenedAsFiles) {
    const testsupport::TempDir dir;
    platform::InputFile input;
    EXPECT_EQ(input.open("\\\\.\\NUL"), platform::FileError::NotRegularFile);
    EXPECT_EQ(input.open(dir.path()), std::errc::is_a_directory);
    EXPECT_EQ(input.open(dir.file("missing")), std::errc::no_such_file_or_directory);
    platform::AppendFile log;
    EXPECT_EQ(log.open("\\\\.\\NUL"), platform::FileError::NotRegularFile);
    ASSERT_FALSE(log.open(dir.file("log.txt")));
    ASSERT_FALSE(log.write("one\n"));
    log.close();
    ASSERT_FALSE(log.open(dir.file("log.txt")));
    ASSERT_FALSE(log.write("two\n"));
    log.close();
    // Written as given: no CR is added before LF.
    EXPECT_EQ(testsupport::readFile(dir.file("log.txt")), "one\ntwo\n");
}

TEST(WindowsFiles, FoldersAreOpenedNameByNameFromTheDrive) {
    const testsupport::TempDir dir;
    ASSERT_TRUE(CreateDirectoryW(widen(dir.file("deep")).c_str(), nullptr));
    FolderHandle expected;
    ASSERT_FALSE(expected.openPath(dir.file("deep")));
    FolderHandle folder;
    std::string failedAt;
    ASSERT_FALSE(platform::openFolderWithoutLinks(dir.file("deep"), folder, failedAt));
    EXPECT_EQ(folder.id(), expected.id());
    EXPECT_EQ(platform::openFolderWithoutLinks(dir.file("deep/none/x"), folder, failedAt),
              std::errc::no_such_file_or_directory);
    EXPECT_EQ(failedAt, dir.file("deep/none"));
    EXPECT_EQ(platform::openFolderWithoutLinks("relative", folder, failedAt),
              std::errc::invalid_argument);
}

TEST(WindowsFileOps, MovesNeverReplaceAndDeletesTakeReadOnlyFilesButNoFolders) {
    const testsupport::TempDir dir;
    ASSERT_TRUE(CreateDirectoryW(widen(dir.file("to")).c_str(), nullptr));
    testsupport::writeFile(dir.file("one"), "first");
    testsupport::writeFile(dir.file("to/one_vir"), "occupant");
    FolderHandle from;
    FolderHandle to;
    ASSERT_FALSE(from.openPath(dir.path()));
    ASSERT_FALSE(to.openPath(dir.file("to")));

    EXPECT_TRUE(platform::moveFileNoReplace(from, "one", to, "one_vir"));
    EXPECT_EQ(testsupport::readFile(dir.file("one")), "first");
    EXPECT_EQ(testsupport::readFile(dir.file("to/one_vir")), "occupant");
    ASSERT_FALSE(platform::moveFileNoReplace(from, "one", to, "two_vir"));
    EXPECT_EQ(testsupport::readFile(dir.file("to/two_vir")), "first");
    EXPECT_EQ(GetFileAttributesW(widen(dir.file("one")).c_str()), INVALID_FILE_ATTRIBUTES);

    ASSERT_TRUE(SetFileAttributesW(widen(dir.file("to/two_vir")).c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_FALSE(platform::deleteFile(to, "two_vir"));
    EXPECT_EQ(GetFileAttributesW(widen(dir.file("to/two_vir")).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(platform::deleteFile(from, "to"));
    EXPECT_NE(GetFileAttributesW(widen(dir.file("to")).c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(WindowsAtomicFile, ReplacesWholeOrLeavesTheTargetAndNoTemporaryFile) {
    const testsupport::TempDir dir;
    testsupport::writeFile(dir.file("record"), "old");
    FolderHandle folder;
    ASSERT_FALSE(folder.openPath(dir.path()));

    {
        const platform::ScopedSeam full(
            platform::setWriteCall,
            [](platform::NativeHandle, const void*, std::size_t) -> ssize_t {
                errno = ENOSPC;
                return -1;
            });
        EXPECT_EQ(platform::replaceFileIn(folder, "record", "new", 0600),
                  std::errc::no_space_on_device);
    }
    std::vector<FolderEntry> entries;
    ASSERT_FALSE(folder.list(false, entries));
    EXPECT_EQ(names(entries), std::vector<std::string>{"record"});
    EXPECT_EQ(testsupport::readFile(dir.file("record")), "old");

    ASSERT_FALSE(platform::replaceFile(dir.file("record"), "new", 0600));
    EXPECT_EQ(testsupport::readFile(dir.file("record")), "new");
    ASSERT_FALSE(folder.list(false, entries));
    EXPECT_EQ(names(entries), std::vector<std::string>{"record"});
}
