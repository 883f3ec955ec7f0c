// What the store needs of Windows besides the registry calls: where the roots
// are, the registry's own upper-case mapping for names, and the settings that
// only the SQLite back-end has.

#include "registry/Backend.h"
#include "registry/win32/Win32Place.h"
#include "unicode/Utf.h"

#include <windows.h>

#include <cwchar>

namespace wdx::registry {

void SetBusyTimeout(std::chrono::milliseconds) {}
std::chrono::milliseconds BusyTimeout() {
    return std::chrono::milliseconds(0);
}
void SetConnectionReuse(bool) {}
void ReleaseCachedConnections() {}

namespace detail {

bool FoldNonAscii(std::string_view Name, std::string& Fold) {
    if (!unicode::IsValidUtf8(Name))
        return false;
    // Unit by unit, as the registry compares names: one character to one
    // (so "ß" stays itself), and a character beyond U+FFFF, two surrogate
    // units, is left as it is.
    std::u16string U = unicode::Utf8ToUtf16(Name);
    for (size_t Start = 0; Start < U.size();) {
        size_t End = Start;
        while (End < U.size() && (U[End] < 0xD800 || U[End] > 0xDFFF))
            ++End;
        if (End > Start) {
            auto* Run = reinterpret_cast<wchar_t*>(U.data() + Start);
            int N = static_cast<int>(End - Start);
            if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, Run, N, Run, N, nullptr, nullptr, 0) !=
                N)
                return false;
        }
        Start = End + (End < U.size() ? 1 : 0);
    }
    Fold += unicode::Utf16ToUtf8(U);
    return true;
}

bool ParsePlace(const std::string& Text, TWin32Place& Place) {
    size_t Sep = Text.find('\\');
    std::string Head = Text.substr(0, Sep);
    for (char& C : Head)
        if (C >= 'a' && C <= 'z')
            C = static_cast<char>(C - 'a' + 'A');
    if (Head == "HKEY_CURRENT_USER" || Head == "HKCU") {
        Place.Root = HKEY_CURRENT_USER;
        Place.Shown = "HKEY_CURRENT_USER";
    } else if (Head == "HKEY_LOCAL_MACHINE" || Head == "HKLM") {
        Place.Root = HKEY_LOCAL_MACHINE;
        Place.Shown = "HKEY_LOCAL_MACHINE";
    } else {
        return false;
    }
    std::string Sub = Sep == std::string::npos ? std::string() : Text.substr(Sep + 1);
    while (!Sub.empty() && Sub.back() == '\\')
        Sub.pop_back();
    if (Sub.find('\0') != std::string::npos || !unicode::IsValidUtf8(Sub) ||
        Sub.find("\\\\") != std::string::npos || (!Sub.empty() && Sub.front() == '\\'))
        return false;
    std::u16string U = unicode::Utf8ToUtf16(Sub);
    Place.SubKey.assign(U.begin(), U.end());
    if (!Sub.empty())
        Place.Shown += "\\" + Sub;
    return true;
}

} // namespace detail

namespace {
// The variable as UTF-8: the narrow getenv would give it in the system code page.
std::string EnvOr(const wchar_t* Name) {
    const wchar_t* V = _wgetenv(Name);
    if (!V || !*V)
        return std::string();
    return unicode::Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(V), std::wcslen(V)));
}
} // namespace

std::string DefaultStorePath(TRegRoot Root) {
    return RootName(Root);
}

std::string StorePath(TRegRoot Root) {
    std::string P = EnvOr(Root == TRegRoot::User ? L"WDX_USER_STORE" : L"WDX_SYSTEM_STORE");
    return P.empty() ? DefaultStorePath(Root) : P;
}

} // namespace wdx::registry
