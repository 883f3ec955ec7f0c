#include "brokerstore/BrokerStore.h"

#include "registry/Registry.h"

#include <charconv>
#include <cstdint>

namespace wdx::brokerstore {

using registry::TRegAccess;
using registry::TRegKey;
using registry::TRegTransaction;
using registry::TRegValue;
using registry::TRegValueType;

namespace {

registry::TRegRoot RootOf(TBrokerScope Scope) {
    return Scope == scSystem ? registry::TRegRoot::System : registry::TRegRoot::User;
}

std::string BrokerKey(const std::string& Name) { return std::string(ProductKey) + "\\" + Name; }

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

// Reads the named values of a key in one pass; Texts[i] belongs to Names[i],
// Found[i] tells whether it was there (as text or integer).
template <size_t N>
bool ReadTexts(const TRegKey& Key, const char* const (&Names)[N], std::string (&Texts)[N], bool (&Found)[N]) {
    std::vector<TRegValue> Values;
    if (!Key.Values(Values))
        return false;
    std::string Fold;
    for (TRegValue& V : Values) {
        if (!registry::FoldName(V.Name, Fold))
            continue;
        for (size_t I = 0; I < N; ++I)
            if (Fold == Names[I])
                Found[I] = AsText(V, Texts[I]);
    }
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

TBrokerSummary ReadBrokerSummary(TBrokerScope Scope, const std::string& Name) {
    TBrokerSummary S;
    TRegTransaction Tx(RootOf(Scope), TRegAccess::Read);
    TRegKey Key;
    static const char* const Names[] = {"HOSTNAME", "PORT", "TIMEOUT"};
    std::string Texts[3];
    bool Found[3] = {};
    if (OpenBroker(Tx, Name, Key) && ReadTexts(Key, Names, Texts, Found)) {
        S.HostName = std::move(Texts[0]);
        S.Port = std::move(Texts[1]);
        S.TimeOut = std::move(Texts[2]);
    }
    if (S.TimeOut.empty())
        S.TimeOut.push_back('0'); // (assigning "0" trips a false -Wrestrict in GCC 12)
    return S;
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

bool WriteBrokerDefinition(const TBrokerDefinition& Def) {
    if (!IsValidBrokerName(Def.Name))
        return false;
    TRegTransaction Tx(RootOf(Def.Scope), TRegAccess::Write);
    TRegKey Key;
    return Tx.Ok() && Tx.CreateKey(BrokerKey(Def.Name), Key) && Key.WriteText("HostName", Def.HostName) &&
           Key.WriteText("Port", Def.Port) && Key.WriteText("TimeOut", Def.TimeOut) &&
           Key.WriteText("ConnectionPooling", Def.ConnectionPooling ? "Y" : "N") &&
           Key.WriteText("LogLevel", EncodeLogLevel(Def.LogComms, Def.LogCalls)) && Tx.Commit();
}

bool DeleteBrokerDefinition(TBrokerScope Scope, const std::string& Name) {
    if (!IsValidBrokerName(Name))
        return false;
    TRegTransaction Tx(RootOf(Scope), TRegAccess::Write);
    return Tx.Ok() && Tx.DeleteKey(BrokerKey(Name)) && Tx.Commit();
}

TScopeChange ChangeBrokerScope(const TBrokerDefinition& Def, TBrokerScope OldScope) {
    if (!WriteBrokerDefinition(Def))
        return TScopeChange::WriteFailed;
    if (Def.Scope != OldScope && !DeleteBrokerDefinition(OldScope, Def.Name))
        return TScopeChange::DeleteFailed;
    return TScopeChange::Moved;
}

} // namespace wdx::brokerstore
