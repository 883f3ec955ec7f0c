// Names, paths and the places of the store files.

#include "registry/Registry.h"

#include <pwd.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>
#include <unistd.h>

#include <cstdlib>

namespace wdx::registry {

bool FoldName(std::string_view Name, std::string& Fold) {
    Fold.clear();
    Fold.reserve(Name.size());
    bool Ascii = true;
    for (char C : Name)
        if (static_cast<unsigned char>(C) >= 0x80) {
            Ascii = false;
            break;
        }
    if (Ascii) {
        for (char C : Name)
            Fold.push_back(C >= 'a' && C <= 'z' ? static_cast<char>(C - 'a' + 'A') : C);
        return true;
    }
    // Simple (one character to one character) upper-case mapping, as the
    // platform registry compares names: "ß" stays itself, "σ" and "ς" meet.
    const auto* S = reinterpret_cast<const uint8_t*>(Name.data());
    int32_t Len = static_cast<int32_t>(Name.size());
    int32_t I = 0;
    while (I < Len) {
        UChar32 C;
        U8_NEXT(S, I, Len, C);
        if (C < 0)
            return false;
        UChar32 U = u_toupper(C);
        uint8_t Buf[4];
        int32_t N = 0;
        UBool Err = false;
        U8_APPEND(Buf, N, 4, U, Err);
        if (Err)
            return false;
        Fold.append(reinterpret_cast<const char*>(Buf), N);
    }
    return true;
}

std::size_t Utf16Length(std::string_view Utf8) {
    std::size_t N = 0;
    for (char C : Utf8) {
        auto B = static_cast<unsigned char>(C);
        if ((B & 0xC0) != 0x80) // not a continuation byte: a character starts
            N += B >= 0xF0 ? 2 : 1;
    }
    return N;
}

const char* RootName(TRegRoot Root) {
    return Root == TRegRoot::User ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

const char* ErrorName(TRegError Error) {
    switch (Error) {
    case TRegError::None:
        return "no error";
    case TRegError::NotFound:
        return "not found";
    case TRegError::WrongType:
        return "wrong value type";
    case TRegError::InvalidName:
        return "invalid name";
    case TRegError::TooLong:
        return "over a registry limit";
    case TRegError::AccessDenied:
        return "access denied";
    case TRegError::Busy:
        return "store busy";
    case TRegError::Damaged:
        return "damaged store file";
    case TRegError::IoError:
        return "input/output error";
    case TRegError::Closed:
        return "transaction closed";
    }
    return "unknown error";
}

namespace {
std::string EnvOr(const char* Name) {
    const char* V = std::getenv(Name);
    return V && *V ? std::string(V) : std::string();
}

std::string HomeDir() {
    std::string Home = EnvOr("HOME");
    if (!Home.empty())
        return Home;
    if (const passwd* Pw = getpwuid(getuid()); Pw && Pw->pw_dir)
        return Pw->pw_dir;
    return "/";
}
} // namespace

std::string DefaultStorePath(TRegRoot Root) {
    if (Root == TRegRoot::System)
        return "/var/lib/wdx/system-store.sqlite";
    std::string Config = EnvOr("XDG_CONFIG_HOME");
    // XDG base directories: a relative value is to be ignored.
    if (Config.empty() || Config.front() != '/')
        Config = HomeDir() + "/.config";
    return Config + "/wdx/user-store.sqlite";
}

std::string StorePath(TRegRoot Root) {
    std::string P = EnvOr(Root == TRegRoot::User ? "WDX_USER_STORE" : "WDX_SYSTEM_STORE");
    return P.empty() ? DefaultStorePath(Root) : P;
}

} // namespace wdx::registry
