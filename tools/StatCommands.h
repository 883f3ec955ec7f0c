#pragma once
// WDXStat's commands. Each writes its result on standard output, every
// failure as one line on standard error, and returns the exit status.

#include <cstdint>
#include <optional>
#include <string>

namespace wdx::tools {

inline constexpr int ExitDone = 0;
inline constexpr int ExitFailed = 1; // the broker or the store failed, or the user said no
inline constexpr int ExitUsage = 2;  // bad arguments

// check follows the monitoring-plugin convention instead.
inline constexpr int CheckOk = 0;
inline constexpr int CheckWarning = 1;
inline constexpr int CheckCritical = 2;
inline constexpr int CheckUnknown = 3;

enum class TFormat { Table, Json, Csv };

struct TListOptions {
    std::string Broker;
    std::string Component; // services only
    std::string Sort;      // a column's key or title; empty keeps the broker's order
    bool Reverse = false;
    std::string Match;
    int WatchSeconds = 0; // 0: one sample
    int Count = 0;        // 0: until interrupted
    TFormat Format = TFormat::Table;
};

int RunBrokers(TFormat Format);
int RunComponents(const TListOptions& Options);
int RunServices(const TListOptions& Options);
int RunParams(const std::string& Broker, const std::string& Service, TFormat Format);
int RunDetails(const std::string& Broker, const std::string& Component, TFormat Format);
// Word is "retire", "clear" or "setmax" (with Value).
int RunAction(const std::string& Broker, const std::string& Component, const std::string& Word,
              std::int32_t Value, bool Yes);
// Thresholds on the broker's queued requests (all components together): a
// value above one of them is a warning or critical.
int RunCheck(const std::string& Broker, std::optional<long long> QueuedWarning,
             std::optional<long long> QueuedCritical);

} // namespace wdx::tools
