#pragma once
// The relay and the monitor server that WDXMonitor creates by class
// identifier: on this platform they are in-process objects that look the
// broker up in the settings store and ask it over the statistics protocol
// (docs/protocol.md, "The monitor's stand-ins").

#include "monitorapi/ComFactory.h"

#include <cstdint>

namespace wdx::statshost {

// What the relay's CheckBroker answers; ErrorText explains every code but 0.
enum TRelayStatus : std::int16_t {
    rsHealthy = 0,       // defined, reachable, and the broker says it is healthy
    rsBrokerFailed = 1,  // reached, but the broker answered with an error or an unusable answer
    rsWarning = 2,       // reached, and the broker reports a warning
    rsNotDefined = 3,    // no definition of that name, for this user or this machine
    rsNotReachable = 4,  // no answer: refused, unknown host, broken off, or the time-out passed
    rsBadDefinition = 5, // defined, but its host, port or time-out cannot be used
};

// Factories for the class table; each call creates a new, independent object.
monitor::TClassFactory MonitorFactory();
monitor::TClassFactory RelayFactory();

// Registers both for their class identifiers. The program calls it once at
// start, before the first window needs them.
void RegisterStandIns();

} // namespace wdx::statshost
