#include "platform/windows/FolderAccess.h"

#include "platform/windows/WinFile.h"

#include <aclapi.h>
#include <sddl.h>
#include <vector>

namespace platform::windows {

namespace {

/// What lets someone change a folder or, through an inherited entry, what is in it.
constexpr ACCESS_MASK kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD |
                                      DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                      GENERIC_ALL;

/// The installer service, which owns the system's own folders.
constexpr const wchar_t* kInstallerSid =
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

/// Frees what the security functions allocate with LocalAlloc.
struct LocalMemory {
    void* pointer = nullptr;
    LocalMemory() = default;
    LocalMemory(const LocalMemory&) = delete;
    LocalMemory& operator=(const LocalMemory&) = delete;
    ~LocalMemory() { LocalFree(pointer); }
};

using Sid = std::vector<BYTE>;

std::error_code userSid(Sid& sid) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return lastError();
    }
    const OwnedHandle owned(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
        return lastError();
    }
    const PSID user = reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid;
    const auto* bytes = static_cast<const BYTE*>(user);
    sid.assign(bytes, bytes + GetLengthSid(user));
    return {};
}

Sid wellKnownSid(WELL_KNOWN_SID_TYPE type) {
    Sid sid(SECURITY_MAX_SID_SIZE);
    DWORD size = static_cast<DWORD>(sid.size());
    if (!CreateWellKnownSid(type, nullptr, sid.data(), &size)) {
        return {};
    }
    sid.resize(size);
    return sid;
}

Sid sidFromText(const wchar_t* text) {
    LocalMemory sid;
    if (!ConvertStringSidToSidW(text, &sid.pointer)) {
        return {};
    }
    const auto* bytes = static_cast<const BYTE*>(sid.pointer);
    return Sid(bytes, bytes + GetLengthSid(sid.pointer));
}

/// The running user, the system, the administrators and the installer service; and "the
/// creator", which an inherited entry turns into whoever makes a file, so the running user for
/// what it makes in a folder nobody else may add to.
std::error_code trustedSids(std::vector<Sid>& sids) {
    Sid user;
    if (const auto ec = userSid(user)) {
        return ec;
    }
    sids = {std::move(user), wellKnownSid(WinLocalSystemSid),
            wellKnownSid(WinBuiltinAdministratorsSid), wellKnownSid(WinCreatorOwnerSid),
            sidFromText(kInstallerSid)};
    return {};
}

bool isAmong(PSID sid, const std::vector<Sid>& sids) {
    for (const Sid& known : sids) {
        if (!known.empty() && EqualSid(sid, const_cast<BYTE*>(known.data()))) {
            return true;
        }
    }
    return false;
}

/// Whether an entry of `acl` lets someone not in `trusted` change the folder or what it holds.
/// Deny entries are not weighed: an allow entry for another user is enough.
bool othersMayChange(const ACL* acl, const std::vector<Sid>& trusted) {
    if (acl == nullptr) {
        return true;
    }
    for (DWORD index = 0; index < acl->AceCount; ++index) {
        void* entry = nullptr;
        if (!GetAce(const_cast<ACL*>(acl), index, &entry)) {
            return true;
        }
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE &&
            header->AceType != ACCESS_ALLOWED_CALLBACK_ACE_TYPE) {
            continue;
        }
        // Both kinds begin with the header, the mask and the SID.
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        if ((allowed->Mask & kChangeRights) != 0 && !isAmong(&allowed->SidStart, trusted)) {
            return true;
        }
    }
    return false;
}

} // namespace

std::error_code accessOf(PSECURITY_DESCRIPTOR descriptor, FolderAccess& access) {
    access = {};
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    BOOL present = FALSE;
    PACL acl = nullptr;
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
        !GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted)) {
        return lastError();
    }
    std::vector<Sid> trusted;
    if (const auto ec = trustedSids(trusted)) {
        return ec;
    }
    access.foreignOwner = owner == nullptr || !isAmong(owner, trusted);
    access.othersMayChange = othersMayChange(present ? acl : nullptr, trusted);
    return {};
}

std::error_code folderAccess(HANDLE folder, FolderAccess& access) {
    access = {};
    // A folder is opened for listing, not for its security; it is opened again for that by its
    // path, and read only when that is still the same folder.
    HandleFacts expected;
    if (const auto ec = factsOfHandle(folder, expected)) {
        return ec;
    }
    std::wstring path;
    if (const auto ec = finalPath(folder, path)) {
        return ec;
    }
    OwnedHandle again;
    FileId found;
    if (const auto ec = openFolderPath(path, again, found, READ_CONTROL)) {
        return ec;
    }
    if (!(found == expected.id)) {
        return std::make_error_code(std::errc::no_such_file_or_directory);
    }
    LocalMemory descriptor;
    const DWORD error = GetSecurityInfo(again.get(), SE_FILE_OBJECT,
                                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                        nullptr, nullptr, nullptr, nullptr, &descriptor.pointer);
    if (error != ERROR_SUCCESS) {
        return {static_cast<int>(error), std::system_category()};
    }
    return accessOf(descriptor.pointer, access);
}

std::error_code protectedFolderRules(std::wstring& rules) {
    Sid user;
    if (const auto ec = userSid(user)) {
        return ec;
    }
    LocalMemory userText;
    if (!ConvertSidToStringSidW(user.data(), reinterpret_cast<wchar_t**>(&userText.pointer))) {
        return lastError();
    }
    // "P": nothing is inherited from above; "OICI": files and folders made in it get the same.
    rules = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" +
            std::wstring(static_cast<const wchar_t*>(userText.pointer)) + L")";
    return {};
}

std::error_code createProtectedFolder(const std::wstring& path) {
    std::wstring rules;
    if (const auto ec = protectedFolderRules(rules)) {
        return ec;
    }
    LocalMemory descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(rules.c_str(), SDDL_REVISION_1,
                                                              &descriptor.pointer, nullptr)) {
        return lastError();
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.pointer, FALSE};
    if (!CreateDirectoryW(path.c_str(), &attributes)) {
        return lastError();
    }
    return {};
}

} // namespace platform::windows
