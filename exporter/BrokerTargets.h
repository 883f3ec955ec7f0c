#pragma once
// Which brokers a scrape asks: the definitions in the settings store, read
// afresh on every scrape, so that a broker defined or removed with the
// administrator shows up or goes away without a restart.

#include "brokerstore/BrokerStore.h"

#include <optional>
#include <string>
#include <vector>

namespace wdx::exporter {

struct TBrokerTarget {
    std::string Name; // as stored when defined, else as asked for
    // The scope whose definition client software on this machine reaches
    // (User before System); empty when the name is defined in neither.
    std::optional<brokerstore::TBrokerScope> Scope;
};

// The definitions that client software on this machine uses (those of
// brokerstore::ListClientDefinitions that are used), in its order. With Only
// given, just those names, in that order, once each (names compare without
// regard to case, as the store does); a name defined nowhere is kept, without
// a scope, so that it is reported as such instead of vanishing.
std::vector<TBrokerTarget> ListBrokerTargets(const std::vector<std::string>& Only);

// Why the store of Scope cannot be read, as a sentence; empty when it can.
// A missing file can be read: it holds no definitions.
std::string StoreProblem(brokerstore::TBrokerScope Scope);

} // namespace wdx::exporter
