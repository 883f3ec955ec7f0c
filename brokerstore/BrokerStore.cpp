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
std::vector<TBrokerListEntry> ReadList(TBrokerScope Scope, std::string* Problem) {
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
    for (TBrokerScope Scope : LookupOrder)
        for (TBrokerListEntry& E : ReadList(Scope, &All.Problems[Scope])) {
            const bool Used = Reached.insert(BrokerNameKey(E.Name)).second;
            All.Definitions.push_back({std::move(E.Name), Scope, std::move(E.Summary), Used});
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
    if (!WriteBrokerDefinition(Def, Detail))
        return TScopeChange::WriteFailed;
    if (Def.Scope == OldScope)
        return TScopeChange::Moved;
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
