// Moving key trees between the store and .reg text.

#include "tools/RegFile.h"

#include <functional>

namespace wdx::tools {

using registry::TRegAccess;
using registry::TRegError;
using registry::TRegKey;
using registry::TRegRoot;
using registry::TRegTransaction;
using registry::TRegValue;

namespace {

// The path with each name in the case the store keeps, so that an export
// says "SOFTWARE\Corvanta" however the user typed it.
bool StoredPath(TRegTransaction& Tx, std::string_view Path, std::string& Stored) {
    TRegKey Key;
    if (!Tx.OpenKey("", Key))
        return false;
    Stored.clear();
    while (!Path.empty() && Path.front() == '\\')
        Path.remove_prefix(1);
    while (!Path.empty() && Path.back() == '\\')
        Path.remove_suffix(1);
    std::string Fold, Other;
    for (size_t Pos = 0; Pos < Path.size();) {
        size_t End = std::min(Path.find('\\', Pos), Path.size());
        std::string_view Name = Path.substr(Pos, End - Pos);
        std::vector<std::string> Names;
        if (!Key.SubKeyNames(Names))
            return false;
        registry::FoldName(Name, Fold);
        std::string Found(Name);
        for (const auto& N : Names)
            if (registry::FoldName(N, Other) && Other == Fold)
                Found = N;
        if (!Key.OpenSubKey(Found, Key))
            return false;
        Stored += (Stored.empty() ? "" : "\\") + Found;
        Pos = End + 1;
    }
    return true;
}

} // namespace

bool ExportRegTree(TRegRoot Root, std::string_view Path, std::string& Text, std::string& Error) {
    TRegTransaction Tx(Root, TRegAccess::Read);
    std::string Stored;
    if (!Tx.Ok() || !StoredPath(Tx, Path, Stored)) {
        Error = Tx.Error() == TRegError::NotFound ? "key not found: " + RootedPath(Root, Path) : Tx.ErrorText();
        return false;
    }
    Text = "Windows Registry Editor Version 5.00\r\n\r\n";
    std::function<bool(const std::string&)> Walk = [&](const std::string& P) {
        TRegKey Key;
        std::vector<TRegValue> Values;
        std::vector<std::string> Subs;
        if (!Tx.OpenKey(P, Key) || !Key.Values(Values) || !Key.SubKeyNames(Subs))
            return false;
        Text += "[" + RootedPath(Root, P) + "]\r\n";
        for (const auto& V : Values)
            Text += FormatRegValue(V) + "\r\n";
        Text += "\r\n";
        for (const auto& S : Subs)
            if (!Walk(P.empty() ? S : P + "\\" + S))
                return false;
        return true;
    };
    if (!Walk(Stored)) {
        Error = Tx.ErrorText();
        return false;
    }
    return true;
}

bool ImportRegKeys(const std::vector<TRegFileKey>& Keys, std::string& Error) {
    if (Keys.empty())
        return true;
    TRegRoot Root = Keys.front().Root;
    for (const auto& K : Keys)
        if (K.Root != Root) {
            Error = "the file holds keys of both HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE; "
                    "import each root from a file of its own (nothing was imported)";
            return false;
        }
    TRegTransaction Tx(Root, TRegAccess::Write);
    if (!Tx.Ok()) {
        Error = Tx.ErrorText() + " (nothing was imported)";
        return false;
    }
    auto Fail = [&](const TRegFileKey& K) {
        Error = "line " + std::to_string(K.Line) + ": " + RootedPath(Root, K.Path) + ": " + Tx.ErrorText() +
                " (nothing was imported)";
        return false;
    };
    for (const auto& K : Keys) {
        if (K.Delete) {
            if (!Tx.DeleteKey(K.Path) && Tx.Error() != TRegError::NotFound)
                return Fail(K);
            continue;
        }
        TRegKey Key;
        if (!Tx.CreateKey(K.Path, Key))
            return Fail(K);
        for (const auto& V : K.Values) {
            bool Ok = V.Delete ? Key.DeleteValue(V.Value.Name) || Tx.Error() == TRegError::NotFound
                               : Key.WriteValue(V.Value);
            if (!Ok)
                return Fail(K);
        }
    }
    if (!Tx.Commit()) {
        Error = Tx.ErrorText() + " (nothing was imported)";
        return false;
    }
    return true;
}

} // namespace wdx::tools
