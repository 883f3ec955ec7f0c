// A token file on Windows: the path is UTF-8 and opened wide; "no other user
// may read or write it" is read from the file's access list, where only its
// owner, SYSTEM and the Administrators may be granted reading or writing.

#include "statshost/transport/HttpTransport.h"
#include "statshost/transport/winhttp/WideText.h"

#include <windows.h>

#include <accctrl.h>
#include <aclapi.h>
#include <sddl.h>

#include <memory>

namespace wdx::statshost {

namespace {

struct TLocalFreer {
    void operator()(void* P) const { LocalFree(P); }
};

// The account Sid names, as "DOMAIN\name", or its S-1-... form.
std::string AccountName(PSID Sid) {
    wchar_t name[256];
    wchar_t domain[256];
    DWORD nameSize = 256;
    DWORD domainSize = 256;
    SID_NAME_USE use;
    if (LookupAccountSidW(nullptr, Sid, name, &nameSize, domain, &domainSize, &use))
        return NarrowUtf8(domainSize ? std::wstring(domain) + L"\\" + name : std::wstring(name));
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(Sid, &text))
        return "an unknown account";
    std::unique_ptr<void, TLocalFreer> owned(text);
    return NarrowUtf8(text);
}

bool IsWellKnown(PSID Sid, WELL_KNOWN_SID_TYPE Type) {
    return IsWellKnownSid(Sid, Type) != FALSE;
}

// Who other than Owner, SYSTEM and the Administrators the access list lets
// read or write the file's content; empty when nobody.
std::string OtherReader(PACL Dacl, PSID Owner) {
    constexpr ACCESS_MASK ReadOrWrite = FILE_READ_DATA | FILE_WRITE_DATA | FILE_APPEND_DATA | GENERIC_READ |
                                        GENERIC_WRITE | GENERIC_ALL | WRITE_DAC | WRITE_OWNER;
    for (DWORD i = 0; i < Dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(Dacl, i, &ace))
            return "an entry of its access list that cannot be read";
        auto* header = static_cast<ACE_HEADER*>(ace);
        if (header->AceFlags & INHERIT_ONLY_ACE)
            continue; // for what is made below a folder, not for the file
        // Only grants widen access; a denying entry is left aside, which can
        // only make the answer stricter.
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE)
            continue;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if ((allowed->Mask & ReadOrWrite) == 0)
            continue;
        PSID sid = &allowed->SidStart;
        if (EqualSid(sid, Owner) || IsWellKnown(sid, WinLocalSystemSid) ||
            IsWellKnown(sid, WinBuiltinAdministratorsSid) || IsWellKnown(sid, WinCreatorOwnerSid))
            continue;
        return AccountName(sid);
    }
    return {};
}

std::string ErrorText(DWORD Error) {
    std::string text = SystemText(Error);
    return text.empty() ? "error " + std::to_string(Error) : text;
}

struct THandleCloser {
    void operator()(HANDLE H) const { CloseHandle(H); }
};

} // namespace

std::optional<TStatsError> ReadPrivateFile(const std::string& Path, const std::string& File,
                                           std::size_t MaxBytes, std::string& Text) {
    auto Refused = [&](const std::string& Why) {
        return Failure(TStatsFailure::InvalidArgument, File + " " + Why);
    };
    const std::wstring wide = WidenUtf8(Path);
    if (wide.empty())
        return Refused("cannot be read: its name is not UTF-8.");
    WIN32_FILE_ATTRIBUTE_DATA attributes{};
    if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &attributes))
        return Refused("cannot be read: " + ErrorText(GetLastError()) + ".");
    if (attributes.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE))
        return Refused("is not a file.");

    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD error = GetNamedSecurityInfoW(wide.c_str(), SE_FILE_OBJECT,
                                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                        nullptr, &dacl, nullptr, &descriptor);
    if (error != ERROR_SUCCESS)
        return Refused("cannot be checked: its access list cannot be read (" + ErrorText(error) +
                       "); it is not used.");
    std::unique_ptr<void, TLocalFreer> ownedDescriptor(descriptor);
    const std::string fix =
        " Make it its owner's only: icacls \"" + Path + "\" /inheritance:r /grant:r \"%USERNAME%\":F";
    if (!dacl)
        return Refused("has no access list, so every user may read or write it; it is not used." + fix);
    if (std::string other = OtherReader(dacl, owner); !other.empty())
        return Refused("can be read or written by other users (" + other + " may); it is not used." + fix);

    std::unique_ptr<void, THandleCloser> file(CreateFileW(
        wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        file.release();
        return Refused("cannot be read: " + ErrorText(GetLastError()) + ".");
    }
    Text.assign(MaxBytes + 1, '\0');
    std::size_t got = 0;
    while (got < Text.size()) {
        DWORD n = 0;
        if (!ReadFile(file.get(), Text.data() + got, static_cast<DWORD>(Text.size() - got), &n, nullptr)) {
            std::fill(Text.begin(), Text.end(), '\0');
            return Refused("cannot be read: " + ErrorText(GetLastError()) + ".");
        }
        if (n == 0)
            break;
        got += n;
    }
    Text.resize(got);
    return std::nullopt;
}

} // namespace wdx::statshost
