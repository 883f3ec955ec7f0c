#pragma once
// The exporter's HTTP side: /metrics in the Prometheus text format (the
// families built at scrape time by TExporterCollector, and the exposer_*
// families of the server itself), a small landing page at /, and nothing
// else: no path changes anything on a broker. Served by cpp-httplib, over
// IPv4 and IPv6, with TLS and basic auth as the web configuration says.

#include "exporter/ExporterCollector.h"
#include "exporter/ListenAddress.h"
#include "exporter/WebConfig.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

namespace httplib {
class Server;
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
    // TLS and basic auth (--web.config.file); empty: plain HTTP, open.
    TWebConfig Web;
};

class TExporterServer {
public:
    // Checks that both stores can be read, binds the listen address and
    // serves (over TLS, and asking for a password, as Options.Web says).
    // Throws EExporterStartup when either fails, or the certificate, key,
    // client CA or a user's hash cannot be used. Log gets what the
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
    struct TServing; // the server's own figures
    std::string Metrics();

    std::shared_ptr<TExporterCollector> FCollector;
    std::unique_ptr<TBasicAuth> FAuth;
    std::unique_ptr<TServing> FServing;
    std::unique_ptr<httplib::Server> FHttp;
    std::thread FListener;
    TListenAddress FAddress;
};

// The page served at /: what this is and where the metrics are.
const std::string& LandingPage();

} // namespace wdx::exporter
