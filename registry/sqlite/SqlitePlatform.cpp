// What the store needs of Linux besides SQLite: the places of the files, and
// ICU's upper-case mapping for names beyond ASCII.

#include "registry/Backend.h"

#include <pwd.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>
#include <unistd.h>

#include <cstdlib>

namespace wdx::registry {

namespace detail {

bool FoldNonAscii(std::string_view Name, std::string& Fold) {
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

} // namespace detail

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
