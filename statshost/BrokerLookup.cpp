#include "statshost/BrokerLookup.h"

#include "statshost/StatsProtocol.h"

#include <algorithm>
#include <charconv>

namespace wdx::statshost {

using brokerstore::TBrokerScope;

namespace {

TBrokerLookup Bad(TLookupStatus Status, std::string Text) {
    TBrokerLookup R;
    R.Status = Status;
    R.ErrorText = std::move(Text);
    return R;
}

std::string Quoted(const std::string& Text) {
    return "\"" + Text + "\"";
}

} // namespace

std::optional<long long> ParseDefinitionInteger(const std::string& Text) {
    std::size_t First = Text.find_first_not_of(" \t");
    if (First == std::string::npos)
        return std::nullopt;
    std::size_t Last = Text.find_last_not_of(" \t") + 1;
    const char* B = Text.data() + First;
    const char* E = Text.data() + Last;
    if (*B == '+' && E - B > 1 && B[1] != '-')
        ++B;
    long long Value = 0;
    auto [End, Ec] = std::from_chars(B, E, Value, 10);
    if (Ec != std::errc() || End != E)
        return std::nullopt;
    return Value;
}

TBrokerLookup FindBrokerDefinition(const std::string& Name) {
    const std::string Broker = "The Component Broker " + Quoted(Name);
    if (Name.empty())
        return Bad(TLookupStatus::NotDefined, "No Component Broker name is given.");
    if (!brokerstore::IsValidBrokerName(Name))
        return Bad(TLookupStatus::NotDefined,
                   Broker + " cannot be defined: the name is not a valid broker name.");

    const brokerstore::TBrokerLocation Location = brokerstore::LocateBroker(Name);
    if (!Location.Found) {
        std::string Text = Broker + " is not defined, neither for this user nor for this machine.";
        if (!Location.Problem.empty())
            Text += " Note: " + Location.Problem + ".";
        return Bad(TLookupStatus::NotDefined, Text);
    }
    const TBrokerScope Scope = Location.Scope;

    // The definition could go away between the two reads; it then reads as
    // empty and is reported as unusable, which is what it has become.
    brokerstore::TBrokerSummary S = brokerstore::ReadBrokerSummary(Scope, Name);
    const std::string Where = Broker + " (" + brokerstore::ScopeName(Scope) + ")";
    if (S.HostName.empty())
        return Bad(TLookupStatus::BadDefinition, Where + " has no host name.");
    if (S.Port.empty())
        return Bad(TLookupStatus::BadDefinition, Where + " has no port.");
    std::optional<long long> Port = ParseDefinitionInteger(S.Port);
    if (!Port || *Port < 1 || *Port > 65535)
        return Bad(TLookupStatus::BadDefinition,
                   Where + " has the port " + Quoted(S.Port) + ", which is not a number from 1 to 65535.");
    std::optional<long long> TimeOut = ParseDefinitionInteger(S.TimeOut);
    if (!TimeOut)
        return Bad(TLookupStatus::BadDefinition, Where + " has the time-out " + Quoted(S.TimeOut) +
                                                     ", which is not a whole number of seconds.");

    TBrokerLookup R;
    R.Status = TLookupStatus::Found;
    // A time-out beyond the client's longest deadline is cut to it there.
    brokerstore::TBrokerTransport T = brokerstore::ReadBrokerTransport(Scope, Name);
    R.Address = {Scope,
                 S.HostName,
                 static_cast<int>(*Port),
                 static_cast<int>(std::clamp<long long>(*TimeOut, -1, MaxTimeOutSeconds)),
                 {T.UseTls, std::move(T.TlsCaFile), std::move(T.TokenFile)}};
    return R;
}

} // namespace wdx::statshost
