#pragma once
// The exporter's HTTP side: /metrics through prometheus-cpp's pull exposer
// (the families built at scrape time by TExporterCollector), a small landing
// page at /, and nothing else: no path changes anything on a broker.

#include "exporter/ExporterCollector.h"
#include "exporter/ListenAddress.h"

#include <memory>
#include <stdexcept>
#include <string>

namespace prometheus {
class Exposer;
}

namespace wdx::exporter {

// Why the exporter cannot start; what() is a sentence for the operator.
class EExporterStartup : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TExporterOptions {
    TListenAddress Listen{"127.0.0.1", 9563};
    TCollectorOptions Collector;
    int HttpThreads = 4; // scrapes served at once
};

class TExporterServer {
public:
    // Checks that both stores can be read, binds the listen address and
    // serves. Throws EExporterStartup when either fails. Log gets what the
    // collector tells (TLogSink) and a warning for each --broker name that
    // is not defined now (it may be defined later; until then its series
    // say so).
    explicit TExporterServer(const TExporterOptions& Options, TLogSink Log = LogToStderr);
    // Stops serving. A scrape in progress is finished first, which the
    // brokers' time-outs bound.
    ~TExporterServer();
    TExporterServer(const TExporterServer&) = delete;
    TExporterServer& operator=(const TExporterServer&) = delete;

    // Where it serves, with the port it took when asked for port 0.
    const TListenAddress& Address() const { return FAddress; }
    TExporterCollector& Collector() { return *FCollector; }

private:
    std::shared_ptr<TExporterCollector> FCollector;
    std::unique_ptr<prometheus::Exposer> FExposer;
    TListenAddress FAddress;
};

// The page served at /: what this is and where the metrics are.
const std::string& LandingPage();

} // namespace wdx::exporter
