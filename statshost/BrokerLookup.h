#pragma once
// Where a named Component Broker is reached: its definition in the settings
// store, looked up the way client software on this machine does (the User
// scope first, then System), with the port and time-out checked and turned
// into numbers. The relay and the monitor server both start here.

#include "brokerstore/BrokerStore.h"
#include "statshost/StatsTypes.h"

#include <optional>
#include <string>

namespace wdx::statshost {

enum class TLookupStatus {
    Found,
    NotDefined,    // no definition of that name in either scope
    BadDefinition, // defined, but its host, port or time-out cannot be used
};

struct TBrokerAddress {
    brokerstore::TBrokerScope Scope = brokerstore::scUser;
    std::string HostName;
    int Port = 0;
    // As stored; 0 (or less) means the client's default deadline.
    int TimeOutSeconds = 0;
    TTransportSettings Security; // "UseTls", "TlsCaFile", "TokenFile"
};

struct TBrokerLookup {
    TLookupStatus Status = TLookupStatus::NotDefined;
    TBrokerAddress Address; // when Found
    std::string ErrorText;  // a sentence naming the broker, when not Found
};

// Reads the definition of Name (UTF-8; compared without regard to case). A
// scope whose store cannot be read contributes nothing, as in the broker
// lists, but the not-defined text says so.
TBrokerLookup FindBrokerDefinition(const std::string& Name);

// A port or time-out text as an integer: optional blanks around, an optional
// sign, decimal digits. Empty when it is not one or does not fit in 64 bits.
std::optional<long long> ParseDefinitionInteger(const std::string& Text);

} // namespace wdx::statshost
