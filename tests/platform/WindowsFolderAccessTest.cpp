#include "platform/FileFacts.h"
#include "platform/FileOps.h"
#include "platform/FolderHandle.h"
#include "platform/windows/FolderAccess.h"
#include "platform/windows/WideText.h"
#include "scanner/QuarantineStore.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>
#include <sddl.h>
#include <windows.h>

using platform::windows::FolderAccess;
using platform::windows::widen;

namespace {

/// The running user's SID in the security descriptor language.
std::wstring userSidText() {
    HANDLE token = nullptr;
    EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    EXPECT_TRUE(GetTokenInformation(token, TokenUser, buffer.data(), size, &size));
    CloseHandle(token);
    wchar_t* text = nullptr;
    EXPECT_TRUE(
        ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text));
    std::wstring result = text != nullptr ? text : L"";
    LocalFree(text);
    return result;
}

FolderAccess accessOf(const std::wstring& sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                     &descriptor, nullptr));
    FolderAccess access;
    EXPECT_FALSE(platform::windows::accessOf(descriptor, access));
    LocalFree(descriptor);
    return access;
}

/// Gives the folder `path` the ACL in `sddl`, inheriting nothing.
void setAcl(const std::string& path, const std::wstring& sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                     &descriptor, nullptr));
    EXPECT_TRUE(SetFileSecurityW(widen(path).c_str(),
                                 DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                 descriptor));
    LocalFree(descriptor);
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace

TEST(WindowsFolderAccess, OwnersAndAclEntriesOfOthersThatMayChangeAFolderAreFound) {
    const std::wstring user = userSidText();
    const std::wstring mine = L"(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + user + L")";

    std::wstring rules;
    ASSERT_FALSE(platform::windows::protectedFolderRules(rules));
    EXPECT_EQ(rules.rfind(L"D:P", 0), 0U) << "a quarantine folder inherits nothing";
    const FolderAccess made = accessOf(L"O:" + user + rules);
    EXPECT_FALSE(made.foreignOwner);
    EXPECT_FALSE(made.othersMayChange);

    // Reading and running is no change, and the creator's entry becomes the user's own.
    const FolderAccess readers =
        accessOf(L"O:BAD:P" + mine + L"(A;OICI;0x1200a9;;;WD)(A;OICIIO;FA;;;CO)");
    EXPECT_FALSE(readers.foreignOwner);
    EXPECT_FALSE(readers.othersMayChange);
    // An entry that only denies is no permission.
    EXPECT_FALSE(accessOf(L"O:SYD:P" + mine + L"(D;OICI;FA;;;WD)").othersMayChange);

    struct Case {
        const wchar_t* entries;
        const char* what;
    };
    for (const Case& each :
         {Case{L"(A;OICIIO;0x1301bf;;;AU)(A;;0x4;;;AU)",
               "inherited from the root of the system drive: signed-in users may modify it"},
          Case{L"(A;;0x2;;;BU)", "users may add files"},
          Case{L"(A;;0x40;;;WD)", "everyone may remove what it holds"},
          Case{L"(A;OICIIO;FA;;;BU)", "what is made in it is the users'"},
          Case{L"(A;;WD;;;WD)", "everyone may change its ACL"},
          Case{L"(A;;GA;;;S-1-5-21-1-2-3-1001)", "another user has full control"}}) {
        SCOPED_TRACE(each.what);
        const FolderAccess access = accessOf(L"O:" + user + L"D:P" + mine + each.entries);
        EXPECT_TRUE(access.othersMayChange);
        EXPECT_FALSE(access.foreignOwner);
    }
    // A folder without any ACL is open to everyone.
    SECURITY_DESCRIPTOR open{};
    ASSERT_TRUE(InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE));
    FolderAccess unguarded;
    ASSERT_FALSE(platform::windows::accessOf(&open, unguarded));
    EXPECT_TRUE(unguarded.othersMayChange);
    EXPECT_TRUE(unguarded.foreignOwner) << "it names no owner either";
    EXPECT_TRUE(accessOf(L"O:BUD:P" + mine).foreignOwner);
    EXPECT_TRUE(accessOf(L"O:S-1-5-21-1-2-3-1001D:P" + mine).foreignOwner);
}

TEST(WindowsFolderAccess, TheQuarantineTrustsTheFolderItMakesAndNoneOthersMayChange) {
    const testsupport::TempDir dir;
    const std::string quarantine = dir.file("deeper/Karantina");
    ASSERT_FALSE(platform::createPrivateFolder(quarantine));
    platform::FolderHandle folder;
    ASSERT_FALSE(folder.openPath(quarantine));
    platform::FileFacts facts;
    ASSERT_FALSE(platform::folderFacts(folder, facts));
    EXPECT_EQ(facts.mode & 022, 0U);
    EXPECT_EQ(facts.uid, platform::effectiveUser());
    EXPECT_EQ(QuarantineFolderProblem(quarantine), "");

    // A folder that is there keeps its ACL and is judged by it; a file there is no folder.
    setAcl(quarantine, L"D:P(A;OICI;FA;;;" + userSidText() + L")(A;OICI;0x1301bf;;;WD)");
    ASSERT_FALSE(platform::createPrivateFolder(quarantine));
    const std::string problem = QuarantineFolderProblem(quarantine);
    EXPECT_TRUE(contains(problem, "is not trusted: others may change it; take their write "
                                  "permission away on the Security tab of its Properties"))
        << problem;
    testsupport::writeFile(dir.file("file"), "x");
    EXPECT_TRUE(platform::createPrivateFolder(dir.file("file")));
}
