#pragma once
// The registry's ".reg" text format ("Windows Registry Editor Version 5.00"),
// so that key trees move between machines, Windows ones included: reading it
// (UTF-16LE with a byte-order mark, as the Windows editor writes it, or
// UTF-8), writing it, and applying it to the store in one transaction.

#include "registry/Registry.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace wdx::tools {

struct TRegFileValue {
    bool Delete = false; // "Name"=-
    registry::TRegValue Value;
};

struct TRegFileKey {
    registry::TRegRoot Root = registry::TRegRoot::User;
    std::string Path;    // below the root
    bool Delete = false; // [-HKEY_...\Path]
    int Line = 0;
    std::vector<TRegFileValue> Values;
};

// "HKCU\A\B", "HKEY_LOCAL_MACHINE\A" ... into root and path (any case).
// False when it does not start with a root this store has.
bool SplitRootedPath(std::string_view Text, registry::TRegRoot& Root, std::string& Path);
std::string RootedPath(registry::TRegRoot Root, std::string_view Path);

// The file's bytes as UTF-8 text: UTF-16LE with BOM, UTF-8 with or without
// BOM. False (with Error) for UTF-16BE or bytes that are neither.
bool DecodeRegBytes(const std::string& Bytes, std::string& Text, std::string& Error);
// UTF-8 text as UTF-16LE with a BOM. False for invalid UTF-8.
bool EncodeUtf16Le(std::string_view Text, std::string& Bytes);

// Parses the text of a .reg file. Error names the line that is wrong.
bool ParseRegText(std::string_view Text, std::vector<TRegFileKey>& Keys, std::string& Error);

// One value as its .reg line(s), without the final line break.
std::string FormatRegValue(const registry::TRegValue& Value);

// Visits Start (whose path below the root is Path) and every key below it,
// each key before its sub-keys and those in the store's order, with the key's
// path and values. Keys are opened from their parent's handle and the walk
// keeps its own stack, so it takes time linear in the size of the tree and
// any depth an older store may hold. False when a read fails (the
// transaction's Error() tells why) or when Visit returns false.
using TKeyVisitor =
    std::function<bool(const std::string& Path, const std::vector<registry::TRegValue>& Values)>;
bool WalkKeyTree(const registry::TRegKey& Start, const std::string& Path, const TKeyVisitor& Visit);

// The key tree at Root\Path as .reg text (CRLF line ends), read in one
// transaction. Error tells why not (missing key, unreadable store ...).
bool ExportRegTree(registry::TRegRoot Root, std::string_view Path, std::string& Text, std::string& Error);

// Applies parsed keys to the store in one write transaction. All keys must be
// under one root. Keys and values marked Delete are removed when present.
// Every name is checked first: a refused name imports nothing. A store with
// transactions imports all or nothing; on one without (the Windows
// registry) a write refused part way keeps what was written before it, and
// Error says exactly what that was and what was not written.
bool ImportRegKeys(const std::vector<TRegFileKey>& Keys, std::string& Error);

} // namespace wdx::tools
