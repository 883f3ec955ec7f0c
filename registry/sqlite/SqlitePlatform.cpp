// What the store needs of Linux besides SQLite: the places of the files, and
// the upper-case mapping for names beyond ASCII.

#include "registry/Backend.h"
#include "unicode/CharProps.h"
#include "unicode/Utf.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace wdx::registry {

namespace detail {

bool FoldNonAscii(std::string_view Name, std::string& Fold) {
    // Simple (one character to one character) upper-case mapping, as the
    // platform registry compares names: "ß" stays itself, "σ" and "ς" meet.
    // The tables are ICU's mapping (a test compares them for every code
    // point), so names stored before fold as they did.
    if (!unicode::IsValidUtf8(Name))
        return false;
    for (std::size_t At = 0; At < Name.size();)
        unicode::AppendUtf8(Fold, unicode::ToUpper(unicode::NextCodePoint(Name, At)));
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
