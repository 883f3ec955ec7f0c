#pragma once
// One scrape's reading of one broker: what the monitor would show of it
// (the component list, the version, the services of each component) and the
// relay's check, all within the broker definition's time-out.
//
// The broker is reached the way the monitor's stand-ins reach it: its
// definition through the broker lookup, its answers through the statistics
// client and decoder, its check status from the relay stand-in itself.

#include "exporter/BrokerTargets.h"
#include "statshost/StatsTypes.h"

#include <string>
#include <vector>

namespace wdx::exporter {

struct TServiceReading {
    bool Ok = false; // the list was read
    std::vector<statshost::TServiceStats> Services;
};

struct TBrokerReading {
    std::string Name;
    std::string Scope; // "User", "System"; empty when the name is defined nowhere

    // From a usable definition.
    bool HasAddress = false;
    std::string Host;
    int Port = 0;

    bool Up = false;     // the component list was read
    int CheckStatus = 0; // the relay's CheckBroker code (statshost::TRelayStatus), -1 when it gave none
    std::string Version; // of "wdxappserver", as the monitor shows it; empty when not known
    double Seconds = 0;  // how long the reading took

    std::vector<statshost::TComponentStats> Components; // when Up, in the broker's order
    // With services asked and Up: one entry per component, in the same order.
    std::vector<TServiceReading> Services;
    int ServiceListsFailed = 0;

    // Why Up is false, or why service lists are missing; empty when neither.
    std::string Problem;
};

struct TReadOptions {
    bool Services = false; // also ask each component's services
};

// Reads one broker. Never throws but std::bad_alloc; every failure is in the
// reading. The whole reading ends within the definition's time-out (the
// client's default when it has none), give or take a second.
TBrokerReading ReadBroker(const TBrokerTarget& Target, const TReadOptions& Options);

// Reads all of them at the same time, each on its own thread, and returns
// when the last one is done: a scrape takes as long as the slowest broker,
// and a dead broker delays no other. The readings are in Targets' order.
std::vector<TBrokerReading> ReadBrokers(const std::vector<TBrokerTarget>& Targets,
                                        const TReadOptions& Options);

} // namespace wdx::exporter
