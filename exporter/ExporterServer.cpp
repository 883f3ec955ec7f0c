#include "exporter/ExporterServer.h"

#include "WdxVersion.h"

#include <CivetServer.h>
#include <prometheus/exposer.h>

#include <cstring>
#include <mutex>

namespace wdx::exporter {

namespace {

// The web server reports why it could not start only through its log
// callback, which has no context of its own: while a server starts, its
// messages are gathered here; afterwards they go to stderr.
std::mutex GStartMutex; // one start at a time
std::mutex GLogMutex;
std::string* GStartLog = nullptr;

int LogMessage(const mg_connection*, const char* Message) {
    std::lock_guard Lock(GLogMutex);
    if (GStartLog) {
        // The first message says why; the later ones only that it failed.
        if (GStartLog->empty())
            *GStartLog = Message;
    } else {
        LogToStderr(std::string("http: ") + Message);
    }
    return 1;
}

int BeginRequest(mg_connection* Conn) {
    const mg_request_info* Info = mg_get_request_info(Conn);
    if (!Info || !Info->local_uri || std::strcmp(Info->local_uri, "/") != 0)
        return 0; // /metrics, or an unknown path (404)
    bool Head = Info->request_method && std::strcmp(Info->request_method, "HEAD") == 0;
    if (!Head && (!Info->request_method || std::strcmp(Info->request_method, "GET") != 0)) {
        mg_send_http_error(Conn, 405, "Only GET and HEAD are served here.\n");
        return 405;
    }
    const std::string& Page = LandingPage();
    mg_send_http_ok(Conn, "text/html; charset=utf-8", static_cast<long long>(Page.size()));
    if (!Head)
        mg_write(Conn, Page.data(), Page.size());
    return 200;
}

} // namespace

const std::string& LandingPage() {
    static const std::string Page = std::string(R"(<!DOCTYPE html>
<html lang="en">
<head><meta charset="utf-8"><title>WDXExporter</title></head>
<body>
<h1>WDXExporter</h1>
<p>Every Component Broker defined on this machine, as Prometheus metrics. Version )") +
                                    wdx::Version + R"(.</p>
<p><a href="/metrics">Metrics</a></p>
</body>
</html>
)";
    return Page;
}

TExporterServer::TExporterServer(const TExporterOptions& Options, TLogSink Log) {
    for (brokerstore::TBrokerScope Scope : {brokerstore::scUser, brokerstore::scSystem})
        if (std::string Problem = StoreProblem(Scope); !Problem.empty())
            throw EExporterStartup(Problem);
    if (Log)
        for (const TBrokerTarget& T : ListBrokerTargets(Options.Collector.Brokers))
            if (!T.Scope)
                Log("broker \"" + T.Name +
                    "\" is not defined, neither for this user nor for this machine; its series say so until "
                    "it is.");

    FCollector = std::make_shared<TExporterCollector>(Options.Collector, Log);
    CivetCallbacks Callbacks;
    Callbacks.begin_request = BeginRequest;
    Callbacks.log_message = LogMessage;

    std::lock_guard Start(GStartMutex);
    std::string Why;
    const int Attempts = Options.Listen.Port == 0 ? 5 : 1;
    for (int Attempt = 0; Attempt < Attempts && !FExposer; ++Attempt) {
        FAddress = Options.Listen;
        if (FAddress.Port == 0 && (FAddress.Port = FreePort(FAddress.Host)) == 0) {
            Why = "no free port could be had";
            continue;
        }
        std::string Gathered;
        {
            std::lock_guard Lock(GLogMutex);
            GStartLog = &Gathered;
        }
        try {
            FExposer = std::make_unique<prometheus::Exposer>(
                std::vector<std::string>{"listening_ports", FAddress.Text(), "num_threads",
                                         std::to_string(Options.HttpThreads)},
                &Callbacks);
        } catch (const std::exception& E) {
            Why = Gathered.empty() ? E.what() : Gathered;
        }
        std::lock_guard Lock(GLogMutex);
        GStartLog = nullptr;
    }
    if (!FExposer)
        throw EExporterStartup("Cannot listen on " + Options.Listen.Text() + ": " + Why + ".");
    FExposer->RegisterCollectable(FCollector);
}

TExporterServer::~TExporterServer() = default;

} // namespace wdx::exporter
