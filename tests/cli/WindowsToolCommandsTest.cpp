// kesto usb-lock over the registry of the Wine prefix, and kesto encrypt/decrypt over a
// replaced encryption call (Wine's EncryptFileW and DecryptFileW do nothing but succeed).

#include "cli/Commands.h"
#include "platform/FileCrypt.h"
#include "platform/ProgramFolder.h"
#include "platform/Registry.h"
#include "platform/ScopedSeam.h"
#include "platform/windows/WideText.h"
#include "testsupport/CommandRun.h"
#include "testsupport/SampleFiles.h"
#include "testsupport/TempDir.h"

#include <gtest/gtest.h>
#include <optional>
#include <vector>
#include <windows.h>

using testsupport::CommandRun;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

// windows.h makes macros of the registry's names, which modReg also gives: the numbers here.
constexpr std::uint32_t HKLM = 0x80000002U;
constexpr std::uint32_t HKCU = 0x80000001U;
constexpr int kText = static_cast<int>(platform::kRegistryText);
constexpr int kNumber = static_cast<int>(platform::kRegistryNumber);

CommandRun usbLock(const std::string& action, const modReg::Locations& where = {}) {
    CommandLine line;
    line.operands = {action};
    return testsupport::runCommand(runUsbLockAt, line, where);
}

/// "Start" of a key below HKEY_LOCAL_MACHINE as the system's own call reads it: its type and
/// number (nothing when the key or value is missing).
std::optional<std::pair<DWORD, DWORD>> startOf(const std::string& key) {
    DWORD type = 0;
    DWORD number = 0;
    DWORD size = sizeof number;
    const LSTATUS status =
        RegGetValueW(HKEY_LOCAL_MACHINE, platform::windows::widen(key).c_str(), L"Start",
                     RRF_RT_ANY | RRF_SUBKEY_WOW6464KEY, &type, &number, &size);
    if (status != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::make_pair(type, number);
}

/// A key of the test's own below HKEY_LOCAL_MACHINE, removed at the end.
struct ScratchKey {
    std::string path = "SOFTWARE\\KestoTest\\USBSTOR-" + std::to_string(GetCurrentProcessId());
    modReg::Locations where{path};
    ~ScratchKey() {
        // A key that may not be listed is removed by the DELETE right alone (it has no keys).
        if (platform::removeRegistryKey(HKLM, path) != ERROR_SUCCESS) {
            RegDeleteKeyExW(HKEY_LOCAL_MACHINE, platform::windows::widen(path).c_str(),
                            KEY_WOW64_64KEY, 0);
        }
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KestoTest", KEY_WOW64_64KEY, 0);
    }
    void setStart(std::uint32_t type, const std::string& data) const {
        platform::RegistryKey key;
        ASSERT_EQ(key.open(HKLM, path, true), 0);
        ASSERT_EQ(key.set("Start", type, data), 0);
    }
};

/// What the prefix held under the driver's real key before a test changed it, put back after.
class SavedUsbStor {
public:
    SavedUsbStor() {
        m_keyExisted = m_key.open(HKLM, modReg::kUsbStorKey, false) == 0;
        m_valueExisted = m_keyExisted && m_key.query("Start", m_type, m_data) == 0;
    }
    ~SavedUsbStor() {
        if (!m_keyExisted) {
            platform::removeRegistryKey(HKLM, modReg::kUsbStorKey);
            return;
        }
        platform::RegistryKey key;
        key.open(HKLM, modReg::kUsbStorKey, false);
        if (m_valueExisted) {
            key.set("Start", m_type, m_data);
        } else {
            key.removeValue("Start");
        }
    }
    SavedUsbStor(const SavedUsbStor&) = delete;
    SavedUsbStor& operator=(const SavedUsbStor&) = delete;

private:
    platform::RegistryKey m_key;
    bool m_keyExisted = false;
    bool m_valueExisted = false;
    std::uint32_t m_type = 0;
    std::string m_data;
};

/// Gives the key below HKEY_LOCAL_MACHINE an access list that lets everyone do `rights` and
/// nothing else.
bool allowOnly(const std::string& path, DWORD rights) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, platform::windows::widen(path).c_str(), 0,
                      WRITE_DAC | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
        return false;
    }
    BYTE everyone[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof everyone;
    alignas(DWORD) BYTE aclBytes[256];
    auto* acl = reinterpret_cast<PACL>(aclBytes);
    SECURITY_DESCRIPTOR descriptor;
    const bool done =
        CreateWellKnownSid(WinWorldSid, nullptr, everyone, &sidSize) &&
        InitializeAcl(acl, sizeof aclBytes, ACL_REVISION) &&
        AddAccessAllowedAce(acl, ACL_REVISION, rights, everyone) &&
        InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) &&
        RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor) == ERROR_SUCCESS;
    RegCloseKey(key);
    return done;
}

} // namespace

TEST(WindowsUsbLock, LocksAndUnlocksTheDriversStartValue) {
    const SavedUsbStor saved;
    const CommandRun locked = usbLock("lock");
    EXPECT_EQ(locked.code, kExitClean) << locked.err;
    EXPECT_EQ(locked.out, "USB Port Has Been Locked...\n");
    EXPECT_EQ(startOf(modReg::kUsbStorKey), std::make_pair(DWORD{REG_DWORD}, DWORD{4}));
    EXPECT_EQ(usbLock("status").out, "Locked\n");

    const CommandRun unlocked = usbLock("unlock");
    EXPECT_EQ(unlocked.code, kExitClean) << unlocked.err;
    EXPECT_EQ(unlocked.out, "USB Port Has Been Un-Locked...\n");
    EXPECT_EQ(startOf(modReg::kUsbStorKey), std::make_pair(DWORD{REG_DWORD}, DWORD{3}));
    EXPECT_EQ(usbLock("status").out, "Un-Locked\n");
}

TEST(WindowsUsbLock, AnythingButThreeOrFourAsANumberIsNeither) {
    const ScratchKey scratch;
    const std::vector<std::pair<std::string, std::function<void()>>> cases = {
        {"Neither (no USBSTOR key)\n", [] {}},
        {"Neither (no Start value)\n",
         [&] {
             platform::RegistryKey key;
             ASSERT_EQ(key.open(HKLM, scratch.path, true), 0);
             ASSERT_EQ(key.set("Other", platform::kRegistryNumber, std::string("\4\0\0\0", 4)), 0);
         }},
        {"Neither (Start=4, not a 32-bit number)\n",
         [&] { scratch.setStart(platform::kRegistryText, "4"); }},
        {"Neither (Start is not a 32-bit number)\n",
         [&] { scratch.setStart(REG_BINARY, std::string("\4\0\0\0", 4)); }},
        {"Neither (Start=7)\n",
         [&] { scratch.setStart(platform::kRegistryNumber, std::string("\7\0\0\0", 4)); }},
    };
    for (const auto& [expected, prepare] : cases) {
        prepare();
        const CommandRun status = usbLock("status", scratch.where);
        EXPECT_EQ(status.code, kExitClean) << expected;
        EXPECT_EQ(status.out, expected);
    }
    // Locking replaces a value of another type with the number.
    scratch.setStart(platform::kRegistryText, "4");
    ASSERT_EQ(usbLock("lock", scratch.where).code, kExitClean);
    EXPECT_EQ(startOf(scratch.path), std::make_pair(DWORD{REG_DWORD}, DWORD{4}));
}

TEST(WindowsUsbLock, AWriteTheKeyDoesNotAllowFailsAndChangesNothing) {
    // A key that everyone may read but no one may write, as the driver's key is to a user
    // without administrator rights.
    const ScratchKey scratch;
    scratch.setStart(platform::kRegistryNumber, std::string("\3\0\0\0", 4));
    ASSERT_TRUE(allowOnly(scratch.path, KEY_READ | DELETE));
    HKEY probe = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, platform::windows::widen(scratch.path).c_str(), 0,
                      KEY_SET_VALUE | KEY_WOW64_64KEY, &probe) == ERROR_SUCCESS) {
        RegCloseKey(probe);
        GTEST_SKIP() << "this registry does not hold its keys to their access lists";
    }

    const CommandRun failed = usbLock("lock", scratch.where);
    EXPECT_EQ(failed.code, kExitError);
    EXPECT_EQ(failed.out, "");
    EXPECT_EQ(failed.err, "kesto: USB Port could not be locked. Administrator rights are needed "
                          "to change the USB storage driver's start value.\n");
    EXPECT_EQ(startOf(scratch.path), std::make_pair(DWORD{REG_DWORD}, DWORD{3}));
    // Reading needs no more than the right to read.
    EXPECT_EQ(usbLock("status", scratch.where).out, "Un-Locked\n");
}

TEST(WindowsRegistry, TextsAndNumbersRoundTripAsTheRegistryFunctionsDefine) {
    const std::string path = "Software\\KestoTest-" + std::to_string(GetCurrentProcessId());
    modReg::Value text = std::string("n\xC3\xA4me");
    ASSERT_TRUE(modReg::RegWriteValue(HKCU, path, "Name", text, kText));
    EXPECT_EQ(modReg::RegReadValue(HKCU, path, "name"), text);
    modReg::Value empty = std::string();
    ASSERT_TRUE(modReg::RegWriteValue(HKCU, path, "Empty", empty, kText));
    EXPECT_EQ(empty, modReg::Value(std::string(" ")));
    EXPECT_EQ(modReg::RegReadValue(HKCU, path, "Empty"), modReg::Value(std::string()));
    modReg::Value number = std::string(" -1 ");
    ASSERT_TRUE(modReg::RegWriteValue(HKCU, path, "Count", number, kNumber));
    EXPECT_EQ(modReg::RegReadValue(HKCU, path, "Count"), modReg::Value(0xFFFFFFFFU));
    // What the functions cannot write fails and stores nothing.
    modReg::Value word = std::string("four");
    EXPECT_FALSE(modReg::RegWriteValue(HKCU, path, "Bad", word, kNumber));
    EXPECT_FALSE(modReg::RegWriteValue(HKCU, path, "Bad", number, 3));
    EXPECT_EQ(modReg::RegReadValue(HKCU, path, "Bad"), modReg::Value());
    // A value of another type is no value to them.
    {
        platform::RegistryKey key;
        ASSERT_EQ(key.open(HKCU, path, false), 0);
        ASSERT_EQ(key.set("Blob", REG_BINARY, "xy"), 0);
    }
    EXPECT_EQ(modReg::RegReadValue(HKCU, path, "Blob"), modReg::Value());
    EXPECT_EQ(platform::removeRegistryKey(HKCU, path), 0);
    EXPECT_EQ(modReg::RegReadValue(HKCU, path, "Name"), modReg::Value());
}

namespace {

/// The calls the encryption commands made: the path and whether to encrypt.
struct CryptCalls {
    std::vector<std::pair<std::wstring, bool>> made;
    unsigned long answer = ERROR_SUCCESS;
    platform::ScopedSeam<platform::SystemCrypt> seam{
        platform::setSystemCrypt, [this](const std::wstring& path, bool encrypt) {
            made.emplace_back(path, encrypt);
            return answer;
        }};
};

CommandRun crypt(bool encrypt, const std::vector<std::string>& operands) {
    CommandLine line;
    line.operands = operands;
    return testsupport::runCommand(encrypt ? runEncrypt : runDecrypt, line);
}

std::wstring fullPath(const std::string& path) {
    wchar_t buffer[MAX_PATH];
    const DWORD length =
        GetFullPathNameW(platform::windows::widen(path).c_str(), MAX_PATH, buffer, nullptr);
    return std::wstring(buffer, length);
}

} // namespace

TEST(WindowsCrypt, AGoodFileIsHandedToTheFileSystemByItsFullPath) {
    TempDir dir;
    const std::string path = dir.file("n\xC3\xA4te.txt");
    writeFile(path, "hello");
    CryptCalls calls;
    const CommandRun encrypted = crypt(true, {path});
    EXPECT_EQ(encrypted.code, kExitClean) << encrypted.err;
    EXPECT_EQ(encrypted.out, "Success\n");
    EXPECT_EQ(crypt(false, {path}).out, "Success\n");
    ASSERT_EQ(calls.made.size(), 2U);
    EXPECT_EQ(calls.made[0], std::make_pair(fullPath(path), true));
    EXPECT_EQ(calls.made[1], std::make_pair(fullPath(path), false));

    calls.answer = ERROR_ACCESS_DENIED;
    const CommandRun denied = crypt(true, {path});
    EXPECT_EQ(denied.code, kExitError);
    EXPECT_EQ(denied.out, "");
    EXPECT_EQ(denied.err, "kesto: cannot encrypt '" + path +
                              "': " + std::system_category().message(ERROR_ACCESS_DENIED) + "\n");
    EXPECT_EQ(crypt(false, {}).err, "kesto: decrypt takes exactly one FILE\nTry 'kesto --help'.\n");
}

TEST(WindowsCrypt, SuccessIsSaidOnlyWhenTheFileSystemEncryptedTheFile) {
    // The system's own call: where it answers yes without encrypting (Wine), that is a failure.
    TempDir dir;
    const std::string path = dir.file("plain.txt");
    writeFile(path, "hello");
    const CommandRun encrypted = crypt(true, {path});
    const DWORD attributes = GetFileAttributesW(platform::windows::widen(path).c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    if ((attributes & FILE_ATTRIBUTE_ENCRYPTED) != 0) {
        EXPECT_EQ(encrypted.code, kExitClean) << encrypted.err;
        EXPECT_EQ(crypt(false, {path}).code, kExitClean);
    } else {
        EXPECT_EQ(encrypted.code, kExitError);
        EXPECT_EQ(encrypted.out, "");
        EXPECT_EQ(encrypted.err.rfind("kesto: cannot encrypt '" + path + "': ", 0), 0U)
            << encrypted.err;
        // Taking off an encryption that is not there leaves the file as it is, as asked.
        EXPECT_EQ(crypt(false, {path}).code, kExitClean);
    }
    EXPECT_EQ(readFile(path), "hello");
}

TEST(WindowsCrypt, FoldersLinksMissingFilesAndTheProgramsOwnFilesAreRefused) {
    TempDir dir;
    writeFile(dir.file("target.txt"), "hello");
    const std::string own = platform::programFolder() + "\\kesto-crypt-test.txt";
    writeFile(own, "the program's");
    std::vector<std::pair<std::string, std::string>> cases = {
        {dir.path(), "not a regular file"},
        {"", "no file given"},
        {own, "the program's own files are not encrypted"},
        {dir.file("missing.txt"), std::system_category().message(ERROR_FILE_NOT_FOUND)},
    };
    const std::string link = dir.file("link.txt");
    // A link the system shows as one (Wine may make links it cannot open).
    const std::wstring wideLink = platform::windows::widen(link);
    if (CreateSymbolicLinkW(wideLink.c_str(),
                            platform::windows::widen(dir.file("target.txt")).c_str(), 0) &&
        (GetFileAttributesW(wideLink.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
        GetFileAttributesW(wideLink.c_str()) != INVALID_FILE_ATTRIBUTES) {
        cases.emplace_back(link, "not a regular file");
    }
    CryptCalls calls;
    for (const auto& [path, reason] : cases) {
        for (const bool encrypt : {true, false}) {
            const CommandRun refused = crypt(encrypt, {path});
            EXPECT_EQ(refused.code, kExitError) << path;
            const std::string verb = encrypt ? "encrypt" : "decrypt";
            EXPECT_EQ(refused.err, "kesto: cannot " + verb + " '" + path + "': " + reason + "\n");
        }
    }
    EXPECT_TRUE(calls.made.empty());
    DeleteFileW(platform::windows::widen(own).c_str());
}
