// WDXExporter: every Component Broker defined on this machine as a
// Prometheus target. Prints "listening on HOST:PORT" once it serves, and
// stops on SIGTERM or SIGINT.

#include "WdxVersion.h"
#include "exporter/ExporterServer.h"
#include "statshost/StandIns.h"

#include <CLI/CLI.hpp>

#include <csignal>
#include <iostream>
#include <pthread.h>

using namespace wdx::exporter;

namespace {

constexpr const char* Description =
    "Serves the figures of every Component Broker defined on this machine (User definitions, then System) "
    "as Prometheus metrics at /metrics. Each scrape asks every broker at the same time, each within its "
    "definition's time-out. The stores are the files named by WDX_USER_STORE and WDX_SYSTEM_STORE, or the "
    "default ones.";

int Run(int argc, char** argv) {
    CLI::App App{Description, "WDXExporter"};
    std::string Listen = DefaultListen;
    TExporterOptions Options;
    App.add_option("--broker", Options.Collector.Brokers,
                   "Only this broker (by its defined name); may be repeated. Default: every definition");
    App.add_flag("--services", Options.Collector.Services,
                 "Also the services of each component (one more request per component)");
    App.add_option("--listen", Listen,
                   "Address to serve on, HOST:PORT: an IPv4 address or a host name, [::] for IPv6 and IPv4, "
                   "[::1] for IPv6 loopback; port 0 takes a free one")
        ->capture_default_str();
    std::string WebConfigFile;
    App.add_option("--web.config.file", WebConfigFile,
                   "Serve TLS and ask for a password as this file says (exporter-toolkit format: "
                   "tls_server_config, basic_auth_users with bcrypt hashes)");
    App.set_version_flag("--version", std::string("WDXExporter ") + wdx::Version);
    try {
        App.parse(argc, argv);
    } catch (const CLI::Success& E) {
        return App.exit(E); // --help, --version
    } catch (const CLI::ParseError& E) {
        App.exit(E);
        return 1;
    }

    std::string Error;
    auto Address = ParseListenAddress(Listen, Error);
    if (!Address) {
        std::cerr << "WDXExporter: " << Error << "\n";
        return 1;
    }
    Options.Listen = *Address;
    if (!WebConfigFile.empty()) {
        try {
            Options.Web = LoadWebConfig(WebConfigFile);
        } catch (const EWebConfig& E) {
            std::cerr << "WDXExporter: " << E.what() << "\n";
            return 1;
        }
    }

    // The signals are taken by sigwait below, not by a handler that could
    // run on any of the server's threads, which inherit this mask.
    sigset_t Stop;
    sigemptyset(&Stop);
    sigaddset(&Stop, SIGINT);
    sigaddset(&Stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &Stop, nullptr);
    std::signal(SIGPIPE, SIG_IGN); // a scraper that goes away mid-answer must not end us

    int Signal = 0;
    {
        std::unique_ptr<TExporterServer> Server;
        try {
            Server = std::make_unique<TExporterServer>(Options);
        } catch (const EExporterStartup& E) {
            std::cerr << "WDXExporter: " << E.what() << "\n";
            return 1;
        }
        std::cout << "listening on " << Server->Address().Text() << std::endl;
        sigwait(&Stop, &Signal);
    }
    std::cerr << "WDXExporter: stopped (" << (Signal == SIGINT ? "SIGINT" : "SIGTERM") << ").\n";
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // The relay is created by class identifier, as the monitor creates it.
    wdx::statshost::RegisterStandIns();
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::cerr << "WDXExporter: out of memory.\n";
    } catch (const std::exception& E) {
        std::cerr << "WDXExporter: " << E.what() << "\n";
    }
    return 1;
}
