// Moving key trees between the store and .reg text.

#include "tools/RegFile.h"

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

bool WalkKeyTree(const TRegKey& Start, const std::string& Path, const TKeyVisitor& Visit) {
    struct TFrame {
        TRegKey Key;
        std::vector<std::string> Subs;
        size_t Next = 0;
        size_t PathLength = 0; // of this key's path in P
    };
    std::vector<TFrame> Stack;
    std::string P = Path;
    std::vector<TRegValue> Values;
    auto Enter = [&](const TRegKey& Key) {
        TFrame F{Key, {}, 0, P.size()};
        if (!Key.Values(Values) || !Visit(P, Values) || !Key.SubKeyNames(F.Subs))
            return false;
        Stack.push_back(std::move(F));
        return true;
    };
    if (!Enter(Start))
        return false;
    while (!Stack.empty()) {
        TFrame& F = Stack.back();
        if (F.Next == F.Subs.size()) {
            Stack.pop_back();
            continue;
        }
        const std::string& Name = F.Subs[F.Next++];
        P.resize(F.PathLength);
        if (!P.empty())
            P.push_back('\\');
        P += Name;
        TRegKey Child;
        if (!F.Key.OpenSubKey(Name, Child) || !Enter(Child))
            return false;
    }
    return true;
}

bool ExportRegTree(TRegRoot Root, std::string_view Path, std::string& Text, std::string& Error) {
    TRegTransaction Tx(Root, TRegAccess::Read);
    std::string Stored;
    if (!Tx.Ok() || !StoredPath(Tx, Path, Stored)) {
        Error =
            Tx.Error() == TRegError::NotFound ? "key not found: " + RootedPath(Root, Path) : Tx.ErrorText();
        return false;
    }
    TRegKey Key;
    if (!Tx.OpenKey(Stored, Key)) {
        Error = Tx.ErrorText();
        return false;
    }
    Text = "Windows Registry Editor Version 5.00\r\n\r\n";
    bool Ok = WalkKeyTree(Key, Stored, [&](const std::string& P, const std::vector<TRegValue>& Values) {
        Text += "[" + RootedPath(Root, P) + "]\r\n";
        for (const auto& V : Values)
            Text += FormatRegValue(V) + "\r\n";
        Text += "\r\n";
        return true;
    });
    if (!Ok) {
        Error = Tx.ErrorText();
        return false;
    }
    return true;
}

namespace {

// What a store without transactions kept of an import that failed at
// Keys[At]: what the lines before it hold, and of it the key and the first
// Values of its values (KeyMade); the rest was not written.
std::string PartlyImported(const std::vector<TRegFileKey>& Keys, size_t At, bool KeyMade, size_t Values) {
    const TRegFileKey& K = Keys[At];
    const std::string Line = std::to_string(K.Line);
    if (At == 0 && !KeyMade)
        return " (nothing was imported)";
    std::string Done = At > 0 ? "everything before line " + Line : std::string();
    if (KeyMade)
        Done += (At > 0 ? ", and " : "") + std::string("the key of line ") + Line + " with " +
                std::to_string(Values) + " of its " + std::to_string(K.Values.size()) + " value(s)";
    return " (the store has no transactions: imported is " + Done + "; the rest was not imported)";
}

} // namespace

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
    // Every name is checked before the first write: a store without
    // transactions could not undo the writes before a refused one.
    for (const auto& K : Keys) {
        TRegError Why = TRegError::None;
        std::string Text;
        bool Ok = registry::CheckKeyPath(K.Path, !K.Delete, Why, Text);
        for (size_t I = 0; Ok && I < K.Values.size(); ++I)
            Ok = registry::CheckValueName(K.Values[I].Value.Name, Why, Text);
        if (!Ok) {
            std::string Where = Why == TRegError::TooLong ? "" : RootedPath(Root, K.Path) + ": ";
            Error = "line " + std::to_string(K.Line) + ": " + Where + Text + " (nothing was imported)";
            return false;
        }
    }
    TRegTransaction Tx(Root, TRegAccess::Write);
    if (!Tx.Ok()) {
        Error = Tx.ErrorText() + " (nothing was imported)";
        return false;
    }
    const bool Undone = registry::StoreFeatures().Transactions;
    size_t At = 0;         // the key being imported
    bool KeyMade = false;  // its key was created
    size_t ValuesDone = 0; // and this many of its values written
    auto Fail = [&](const TRegFileKey& K) {
        // A path past the depth limit would fill the screen; the text names the name at fault.
        std::string Where = Tx.Error() == TRegError::TooLong ? "" : RootedPath(Root, K.Path) + ": ";
        Error = "line " + std::to_string(K.Line) + ": " + Where + Tx.ErrorText() +
                (Undone ? " (nothing was imported)" : PartlyImported(Keys, At, KeyMade, ValuesDone));
        return false;
    };
    // The key before, for a file that goes down a branch key by key (as an
    // export does): its sub-keys are created from its handle instead of from
    // the root, so a deep file imports in time linear in its size.
    TRegKey Last;
    for (; At < Keys.size(); ++At) {
        const TRegFileKey& K = Keys[At];
        KeyMade = false;
        ValuesDone = 0;
        if (K.Delete) {
            Last.Close(); // it may be gone now
            if (!Tx.DeleteKey(K.Path) && Tx.Error() != TRegError::NotFound)
                return Fail(K);
            continue;
        }
        TRegKey Key;
        const std::string& Above = Last.Path();
        if (Last.IsOpen() && !Above.empty() && K.Path.size() > Above.size() + 1 &&
            K.Path.compare(0, Above.size(), Above) == 0 && K.Path[Above.size()] == '\\' &&
            K.Path.back() != '\\') {
            Key = Last;
            std::string_view Rest = std::string_view(K.Path).substr(Above.size() + 1);
            while (!Rest.empty()) {
                size_t End = std::min(Rest.find('\\'), Rest.size());
                if (!Key.CreateSubKey(Rest.substr(0, End), Key))
                    return Fail(K);
                Rest.remove_prefix(std::min(End + 1, Rest.size()));
            }
        } else if (!Tx.CreateKey(K.Path, Key)) {
            return Fail(K);
        }
        KeyMade = true;
        Last = Key;
        for (const auto& V : K.Values) {
            bool Ok = V.Delete ? Key.DeleteValue(V.Value.Name) || Tx.Error() == TRegError::NotFound
                               : Key.WriteValue(V.Value);
            if (!Ok)
                return Fail(K);
            ++ValuesDone;
        }
    }
    if (!Tx.Commit()) {
        Error = Tx.ErrorText() + " (nothing was imported)";
        return false;
    }
    return true;
}

} // namespace wdx::tools
