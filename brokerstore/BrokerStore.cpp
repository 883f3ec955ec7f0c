#include "brokerstore/BrokerStore.h"

#include "registry/Registry.h"

#include <charconv>
#include <cstdint>
#include <iterator>
#include <unordered_set>
#include <utility>

namespace wdx::brokerstore {

using registry::TRegAccess;
using registry::TRegKey;
using registry::TRegTransaction;
using registry::TRegValue;
using registry::TRegValueType;

registry::TRegRoot RootOf(TBrokerScope Scope) {
    return Scope == scSystem ? registry::TRegRoot::System : registry::TRegRoot::User;
}

const char* ScopeName(TBrokerScope Scope) {
    return Scope == scSystem ? "System" : "User";
}

namespace {

std::string BrokerKey(const std::string& Name) {
    return std::string(ProductKey) + "\\" + Name;
}

// Broker values are texts; one that another tool stored as a 32-bit integer
// is read as its decimal text, any other type as missing.
bool AsText(TRegValue& V, std::string& Text) {
    if (V.Type == TRegValueType::Text) {
        Text = std::move(V.Text);
        return true;
    }
    if (V.Type == TRegValueType::Int32) {
        Text = std::to_string(V.Int);
        return true;
    }
    return false;
}

// Picks the named values (upper-cased names) out of a key's values; Texts[i]
// belongs to Names[i], Found[i] tells whether it was there (text or integer).
template <size_t N>
void PickTexts(std::vector<TRegValue>& Values, const char* const (&Names)[N], std::string (&Texts)[N],
               bool (&Found)[N]) {
    std::string Fold;
    for (TRegValue& V : Values) {
        if (!registry::FoldName(V.Name, Fold))
            continue;
        for (size_t I = 0; I < N; ++I)
            if (Fold == Names[I])
                Found[I] = AsText(V, Texts[I]);
    }
}

template <size_t N>
bool ReadTexts(const TRegKey& Key, const char* const (&Names)[N], std::string (&Texts)[N], bool (&Found)[N]) {
    std::vector<TRegValue> Values;
    if (!Key.Values(Values))
        return false;
    PickTexts(Values, Names, Texts, Found);
    return true;
}

bool OpenBroker(TRegTransaction& Tx, const std::string& Name, TRegKey& Key) {
    return IsValidBrokerName(Name) && Tx.Ok() && Tx.OpenKey(BrokerKey(Name), Key);
}

} // namespace

bool IsValidBrokerName(const std::string& Name) {
    std::string Fold;
    return !Name.empty() && Name.find('\\') == std::string::npos && Name.find('\0') == std::string::npos &&
           registry::FoldName(Name, Fold);
}

std::string EncodeLogLevel(bool LogComms, bool LogCalls) {
    return std::to_string((LogComms ? 1 : 0) + (LogCalls ? 2 : 0));
}

void DecodeLogLevel(const std::string* Text, bool& LogComms, bool& LogCalls) {
    if (!Text || Text->empty() || *Text == "0") {
        LogComms = LogCalls = false;
        return;
    }
    const char* First = Text->data();
    const char* Last = First + Text->size();
    if (*First == '+' && Last - First > 1 && First[1] != '-')
        ++First;
    std::int32_t N = 0;
    auto [End, Ec] = std::from_chars(First, Last, N, 10);
    if (Ec != std::errc() || End != Last)
        throw EBrokerStoreError("\"" + *Text + "\" is not a valid integer value.");
    LogComms = (N & 1) != 0;
    LogCalls = (N & 2) != 0;
}

std::vector<std::string> ListBrokerNames(TBrokerScope Scope) {
    std::vector<std::string> Names;
    TRegTransaction Tx(RootOf(Scope), TRegAccess::Read);
    TRegKey Key;
    if (Tx.Ok() && Tx.OpenKey(ProductKey, Key))
        Key.SubKeyNames(Names);
    return Names;
}

namespace {

const char* const SummaryNames[] = {"HOSTNAME", "PORT", "TIMEOUT"};

TBrokerSummary SummaryOf(std::string (&Texts)[3]) {
    TBrokerSummary S{std::move(Texts[0]), std::move(Texts[1]), std::move(Texts[2])};
    if (S.TimeOut.empty())
        S.TimeOut.push_back('0'); // (assigning "0" trips a false -Wrestrict in GCC 12)
    return S;
}

} // namespace

TBrokerSummary ReadBrokerSummary(TBrokerScope Scope, const std::string& Name) {
    TRegTransaction Tx(RootOf(Scope), TRegAccess::Read);
    TRegKey Key;
    std::string Texts[3];
    bool Found[3] = {};
    if (OpenBroker(Tx, Name, Key) && !ReadTexts(Key, SummaryNames, Texts, Found))
        Texts[0].clear(), Texts[1].clear(), Texts[2].clear();
    return SummaryOf(Texts);
}

namespace {

// The order in which client software looks a broker name up: the first scope
// that defines the name is the one used.
constexpr TBrokerScope LookupOrder[] = {scUser, scSystem};

std::string Unreadable(TBrokerScope Scope, const TRegTransaction& Tx) {
    return std::string("the ") + ScopeName(Scope) + " settings (" + Tx.FilePath() +
           ") cannot be read: " + Tx.ErrorText();
}

// ReadBrokerList; when Problem is given, it is set to why the scope could not
// be read (a missing product key is no problem: it holds no definitions).
// When Transports is given, it gets each entry's transport settings.
std::vector<TBrokerListEntry> ReadList(TBrokerScope Scope, std::string* Problem,
                                       std::vector<TBrokerTransport>* Transports = nullptr) {
    std::vector<TBrokerListEntry> List;
    TRegTransaction Tx(RootOf(Scope), TRegAccess::Read);
    TRegKey Product;
    std::vector<registry::TRegSubKey> Subs;
    if (!Tx.Ok() || !Tx.OpenKey(ProductKey, Product) || !Product.SubKeysWithValues(Subs)) {
        if (Problem && (!Tx.Ok() || Tx.Error() != registry::TRegError::NotFound))
            *Problem = Unreadable(Scope, Tx);
        return List;
    }
    List.reserve(Subs.size());
    for (auto& Sub : Subs) {
        std::string Texts[3];
        bool Found[3] = {};
        PickTexts(Sub.Values, SummaryNames, Texts, Found);
        if (Transports) {
            static const char* const Names[] = {"USETLS", "TLSCAFILE", "TOKENFILE"};
            std::string T[3];
            bool F[3] = {};
            PickTexts(Sub.Values, Names, T, F);
            Transports->push_back({T[0] == "Y", std::move(T[1]), std::move(T[2])});
        }
        List.push_back({std::move(Sub.Name), SummaryOf(Texts)});
    }
    return List;
}

} // namespace

std::vector<TBrokerListEntry> ReadBrokerList(TBrokerScope Scope) {
    return ReadList(Scope, nullptr);
}

TClientDefinitions ListClientDefinitions() {
    TClientDefinitions All;
    std::unordered_set<std::string> Reached; // name keys a client finds in an earlier scope
    for (TBrokerScope Scope : LookupOrder) {
        std::vector<TBrokerTransport> Transports;
        std::vector<TBrokerListEntry> List = ReadList(Scope, &All.Problems[Scope], &Transports);
        for (std::size_t I = 0; I < List.size(); ++I) {
            const bool Used = Reached.insert(BrokerNameKey(List[I].Name)).second;
            All.Definitions.push_back(
                {std::move(List[I].Name), Scope, std::move(List[I].Summary), Used, std::move(Transports[I])});
        }
    }
    return All;
}

bool ReadBrokerOptions(TBrokerScope Scope, const std::string& Name, TBrokerOptions& Options) {
    TRegTransaction Tx(RootOf(Scope), TRegAccess::Read);
    TRegKey Key;
    static const char* const Names[] = {"CONNECTIONPOOLING", "LOGLEVEL"};
    std::string Texts[2];
    bool Found[2] = {};
    if (!OpenBroker(Tx, Name, Key) || !ReadTexts(Key, Names, Texts, Found))
        return false;
    TBrokerOptions Read;
    Read.ConnectionPooling = Texts[0] == "Y";
    DecodeLogLevel(Found[1] ? &Texts[1] : nullptr, Read.LogComms, Read.LogCalls);
    Options = Read;
    return true;
}

TBrokerTransport ReadBrokerTransport(TBrokerScope Scope, const std::string& Name) {
    TRegTransaction Tx(RootOf(Scope), TRegAccess::Read);
    TRegKey Key;
    static const char* const Names[] = {"USETLS", "TLSCAFILE", "TOKENFILE"};
    std::string Texts[3];
    bool Found[3] = {};
    TBrokerTransport T;
    if (!OpenBroker(Tx, Name, Key) || !ReadTexts(Key, Names, Texts, Found))
        return T;
    T.UseTls = Texts[0] == "Y";
    T.TlsCaFile = std::move(Texts[1]);
    T.TokenFile = std::move(Texts[2]);
    return T;
}

bool ReadBrokerPooling(TBrokerScope Scope, const std::string& Name) {
    TRegTransaction Tx(RootOf(Scope), TRegAccess::Read);
    TRegKey Key;
    static const char* const Names[] = {"CONNECTIONPOOLING"};
    std::string Texts[1];
    bool Found[1] = {};
    return OpenBroker(Tx, Name, Key) && ReadTexts(Key, Names, Texts, Found) && Texts[0] == "Y";
}

std::string ReadClientDir() {
    std::string Dir;
    if (!registry::ReadText(registry::TRegRoot::System, ProductKey, ClientDirValue, Dir))
        Dir.clear();
    return Dir;
}

TBrokerLocation LocateBroker(const std::string& Name) {
    TBrokerLocation Where;
    if (!IsValidBrokerName(Name))
        return Where;
    for (TBrokerScope Scope : LookupOrder) {
        TRegTransaction Tx(RootOf(Scope), TRegAccess::Read);
        TRegKey Key;
        if (Tx.Ok() && Tx.OpenKey(BrokerKey(Name), Key)) {
            Where.Found = true;
            Where.Scope = Scope;
            return Where;
        }
        if (Where.Problem.empty() && (!Tx.Ok() || Tx.Error() != registry::TRegError::NotFound))
            Where.Problem = Unreadable(Scope, Tx);
    }
    return Where;
}

bool SameBrokerName(const std::string& A, const std::string& B) {
    return BrokerNameKey(A) == BrokerNameKey(B);
}

std::string BrokerNameKey(const std::string& Name) {
    std::string Fold;
    // A fold is valid UTF-8: a name that is not cannot fold, stays as it is
    // and so equals only itself.
    return registry::FoldName(Name, Fold) ? Fold : Name;
}

std::string ScopeReadProblem(TBrokerScope Scope) {
    TRegTransaction Tx(RootOf(Scope), TRegAccess::Read);
    return Tx.Ok() ? std::string() : Unreadable(Scope, Tx);
}

std::string ScopeStorePath(TBrokerScope Scope) {
    return registry::StorePath(RootOf(Scope));
}

namespace {

bool WriteFiveValues(TRegKey& Key, const TBrokerDefinition& Def) {
    return Key.WriteText("HostName", Def.HostName) && Key.WriteText("Port", Def.Port) &&
           Key.WriteText("TimeOut", Def.TimeOut) &&
           Key.WriteText("ConnectionPooling", Def.ConnectionPooling ? "Y" : "N") &&
           Key.WriteText("LogLevel", EncodeLogLevel(Def.LogComms, Def.LogCalls));
}

// Everything below one key, as read in one transaction: its values of any
// type and its sub-keys with theirs.
struct TKeyContents {
    std::vector<TRegValue> Values;
    std::vector<std::pair<std::string, TKeyContents>> SubKeys;
};

// A tree deeper than the store lets anyone write could not be written under
// the new scope anyway; it is refused before it is read (and the recursion
// stays bounded).
bool ReadContents(const TRegKey& Key, TKeyContents& Contents, std::size_t Depth = 0) {
    std::vector<std::string> Names;
    if (Depth > registry::MaxKeyDepth || !Key.Values(Contents.Values) || !Key.SubKeyNames(Names))
        return false;
    for (std::string& Name : Names) {
        TRegKey Sub;
        TKeyContents Below;
        if (!Key.OpenSubKey(Name, Sub) || !ReadContents(Sub, Below, Depth + 1))
            return false;
        Contents.SubKeys.emplace_back(std::move(Name), std::move(Below));
    }
    return true;
}

bool WriteContents(TRegKey& Key, const TKeyContents& Contents) {
    for (const TRegValue& V : Contents.Values)
        if (!Key.WriteValue(V))
            return false;
    for (const auto& [Name, Below] : Contents.SubKeys) {
        TRegKey Sub;
        if (!Key.CreateSubKey(Name, Sub) || !WriteContents(Sub, Below))
            return false;
    }
    return true;
}

enum class TReadOld { Read, Missing, Failed };

// The old key's contents; Missing when it is not there (any more).
TReadOld ReadDefinitionContents(TBrokerScope Scope, const std::string& Name, TKeyContents& Contents,
                                std::string& Why) {
    TRegTransaction Tx(RootOf(Scope), TRegAccess::Read);
    TRegKey Key;
    if (Tx.Ok() && !Tx.OpenKey(BrokerKey(Name), Key) && Tx.Error() == registry::TRegError::NotFound)
        return TReadOld::Missing;
    if (Tx.Ok() && Key.IsOpen() && ReadContents(Key, Contents))
        return TReadOld::Read;
    Why = Tx.ErrorText().empty() ? std::string("too deep") : Tx.ErrorText();
    return TReadOld::Failed;
}

// Writes Contents and then the five values of Def under Def's scope, in one
// transaction. Where the back-end cannot roll back, a key this call created
// is removed again after a failure, so that a failed move leaves nothing.
bool WriteMovedDefinition(const TBrokerDefinition& Def, const TKeyContents& Contents, std::string& Why) {
    const std::string Path = BrokerKey(Def.Name);
    bool Existed = false;
    {
        TRegTransaction Tx(RootOf(Def.Scope), TRegAccess::Write);
        TRegKey Key;
        if (!Tx.Ok()) {
            Why = Tx.ErrorText();
            return false;
        }
        Existed = Tx.OpenKey(Path, Key);
        Key.Close();
        if (Tx.CreateKey(Path, Key) && WriteContents(Key, Contents) && WriteFiveValues(Key, Def) &&
            Tx.Commit())
            return true;
        Why = Tx.ErrorText();
    }
    if (!registry::StoreFeatures().Transactions && !Existed)
        registry::DeleteKey(RootOf(Def.Scope), Path);
    return false;
}

} // namespace

bool WriteBrokerDefinition(const TBrokerDefinition& Def, std::string* Detail) {
    auto Report = [&](std::string Text) {
        if (Detail)
            *Detail = std::move(Text);
        return false;
    };
    if (!IsValidBrokerName(Def.Name))
        return Report("invalid broker name \"" + Def.Name + "\"; nothing was written");
    const std::pair<const char*, std::string> Values[] = {
        {"HostName", Def.HostName},
        {"Port", Def.Port},
        {"TimeOut", Def.TimeOut},
        {"ConnectionPooling", Def.ConnectionPooling ? "Y" : "N"},
        {"LogLevel", EncodeLogLevel(Def.LogComms, Def.LogCalls)}};
    TRegTransaction Tx(RootOf(Def.Scope), TRegAccess::Write);
    TRegKey Key;
    if (!Tx.Ok() || !Tx.CreateKey(BrokerKey(Def.Name), Key))
        return Report(Tx.ErrorText() + "; the broker key could not be created or opened for writing: nothing "
                                       "of the definition was written");
    size_t Done = 0;
    while (Done < std::size(Values) && Key.WriteText(Values[Done].first, Values[Done].second))
        ++Done;
    if (Done == std::size(Values) && Tx.Commit())
        return true;
    std::string Why = Tx.ErrorText();
    if (registry::StoreFeatures().Transactions)
        return Report(Why + "; nothing was written");
    // Each value was written at once: say which ones stay.
    std::string Written, NotWritten;
    for (size_t I = 0; I < std::size(Values); ++I) {
        std::string& List = I < Done ? Written : NotWritten;
        List += (List.empty() ? "" : ", ") + std::string(Values[I].first);
    }
    return Report(Why + "; written: the broker key" + (Written.empty() ? "" : " and " + Written) +
                  "; not written: " + NotWritten);
}

bool DeleteBrokerDefinition(TBrokerScope Scope, const std::string& Name) {
    if (!IsValidBrokerName(Name))
        return false;
    TRegTransaction Tx(RootOf(Scope), TRegAccess::Write);
    return Tx.Ok() && Tx.DeleteKey(BrokerKey(Name)) && Tx.Commit();
}

TScopeChange ChangeBrokerScope(const TBrokerDefinition& Def, TBrokerScope OldScope, std::string* Detail) {
    if (Def.Scope == OldScope)
        return WriteBrokerDefinition(Def, Detail) ? TScopeChange::Moved : TScopeChange::WriteFailed;
    auto Failed = [&](std::string Text) {
        if (Detail)
            *Detail = std::move(Text);
        return TScopeChange::WriteFailed;
    };
    if (!IsValidBrokerName(Def.Name))
        return Failed("invalid broker name \"" + Def.Name + "\"; nothing was written");
    // Other client software (and the transport settings) keep values of
    // their own under the broker's key: all of it goes along, or nothing
    // moves. An old key that is already gone carries nothing, and its delete
    // then fails as before.
    TKeyContents Contents;
    std::string Why;
    if (ReadDefinitionContents(OldScope, Def.Name, Contents, Why) == TReadOld::Failed)
        return Failed(Why + "; the definition under " + ScopeName(OldScope) +
                      " cannot be read completely to be carried over: nothing of the definition was written");
    if (!WriteMovedDefinition(Def, Contents, Why))
        return Failed(Why + "; nothing of the definition was written under " + ScopeName(Def.Scope) +
                      " and nothing removed");
    TRegTransaction Tx(RootOf(OldScope), TRegAccess::Write);
    if (Tx.Ok() && Tx.DeleteKey(BrokerKey(Def.Name)) && Tx.Commit())
        return TScopeChange::Moved;
    if (Detail && Tx.Error() == registry::TRegError::NotFound)
        *Detail = std::string("the definition was written under ") + ScopeName(Def.Scope) + ", but under " +
                  ScopeName(OldScope) + " it was no longer there to remove";
    else if (Detail)
        *Detail = Tx.ErrorText() + "; the definition was written under " + ScopeName(Def.Scope) +
                  ", and the one under " + ScopeName(OldScope) +
                  " could not be removed: it is under both now";
    return TScopeChange::DeleteFailed;
}

} // namespace wdx::brokerstore
