#pragma once
// Internal: where a root of the store lies in the Windows registry.

#include "registry/Registry.h"

#include <windows.h>

#include <string>

namespace wdx::registry::detail {

// Every key is opened in the registry's 32-bit view: the one the programs
// this tool set replaces (32-bit programs) and the client software read and
// write. Under HKEY_LOCAL_MACHINE\SOFTWARE a 64-bit program would otherwise
// see other keys than they do (the 64-bit view).
inline constexpr REGSAM StoreView = KEY_WOW64_32KEY;

struct TWin32Place {
    HKEY Root = nullptr; // HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE
    std::wstring SubKey; // empty: the root itself
    std::string Shown;   // "HKEY_CURRENT_USER\Software\..." for texts
};

// Reads a place as StorePath gives it: "HKEY_CURRENT_USER" or
// "HKEY_LOCAL_MACHINE" (or "HKCU", "HKLM", in any case), optionally followed
// by "\" and a key path below it. False for anything else.
bool ParsePlace(const std::string& Text, TWin32Place& Place);

} // namespace wdx::registry::detail
