#pragma once
// What the exporter's /metrics serves: on every scrape the broker
// definitions are read from the store, every broker is read at the same
// time, and the families are built from what came back. Nothing is kept
// between scrapes but what the log needs to tell changes.
//
// Collect may run on several threads at once (two Prometheus servers
// scraping); scrapes do not share clients or readings.

#include "exporter/BrokerReading.h"

#include <prometheus/collectable.h>
#include <prometheus/metric_family.h>

#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace wdx::exporter {

struct TCollectorOptions {
    std::vector<std::string> Brokers; // only these (--broker); empty: every definition
    bool Services = false;            // also the services of each component (--services)
};

// Where the collector tells what an operator should know without looking at
// the metrics: a broker that went down (with the reason) or came back, a
// store that cannot be read. One line per change, not one per scrape.
using TLogSink = std::function<void(const std::string& Line)>;
void LogToStderr(const std::string& Line);

class TExporterCollector : public prometheus::Collectable {
public:
    explicit TExporterCollector(TCollectorOptions Options, TLogSink Log = LogToStderr);

    std::vector<prometheus::MetricFamily> Collect() const override;

    // One scrape's readings, before they become families.
    std::vector<TBrokerReading> Read() const;

    const TCollectorOptions& Options() const { return FOptions; }

private:
    void TellChanges(const std::vector<TBrokerReading>& Readings) const;

    TCollectorOptions FOptions;
    TLogSink FLog;
    mutable std::mutex FMutex; // guards what follows
    // By broker name and scope: 1 up, 2 up with service lists missing, 0 down.
    mutable std::unordered_map<std::string, int> FLastState;
    mutable std::string FLastStoreProblem[2];
};

} // namespace wdx::exporter
