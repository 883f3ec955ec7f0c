// WDXBrokerSim: a broker that serves the statistics protocol from a scenario
// file or from generated components, for demos, tests and benchmarks.
// Prints "listening on HOST:PORT" once it serves, and stops on SIGTERM or
// SIGINT.

#include "WdxVersion.h"
#include "brokersim/Scenario.h"
#include "brokersim/SimServer.h"

#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <pthread.h>
#include <sys/resource.h>

using namespace wdx::brokersim;

namespace {

int Run(int argc, char** argv) {
    CLI::App app{"A broker that serves the statistics protocol, for demos and tests.", "WDXBrokerSim"};
    app.set_version_flag("--version", std::string("WDXBrokerSim ") + wdx::Version,
                         "Show the version and exit");
    std::string scenarioFile;
    int components = 0, services = 3, params = 2;
    uint64_t seed = 1;
    TSimServerOptions options;
    std::vector<std::string> faultSpecs;

    auto* scenarioOpt = app.add_option("--scenario", scenarioFile, "Scenario file (JSON) to serve");
    auto* componentsOpt = app.add_option("--components", components, "Generate this many components instead")
                              ->check(CLI::Range(1, MaxGeneratedComponents));
    app.add_option("--services", services, "Services per generated component")
        ->check(CLI::Range(0, MaxGeneratedServices))
        ->capture_default_str();
    app.add_option("--params", params, "Parameters per generated service")
        ->check(CLI::Range(0, MaxGeneratedParams))
        ->capture_default_str();
    scenarioOpt->excludes(componentsOpt);
    app.add_option("--seed", seed, "Seed of the simulated load (same seed, same figures)")
        ->capture_default_str();
    app.add_option("--host", options.Host, "Address to listen on")->capture_default_str();
    app.add_option("--port", options.Port, "Port to listen on; 0 takes a free one")
        ->check(CLI::Range(0, 65535))
        ->capture_default_str();
    app.add_option("--tick-ms", options.TickMillis, "Interval of the simulated load in ms; 0 stops it")
        ->check(CLI::Range(0, 3600000))
        ->capture_default_str();
    app.add_option("--threads", options.Threads, "Connections served at once, each on its own thread")
        ->check(CLI::Range(2, 16384))
        ->capture_default_str();
    options.AuditFile = "-";
    auto* certOpt = app.add_option("--tls-cert", options.CertFile, "Serve TLS with this certificate (PEM)")
                        ->check(CLI::ExistingFile);
    auto* keyOpt = app.add_option("--tls-key", options.KeyFile, "The certificate's private key (PEM)")
                       ->check(CLI::ExistingFile);
    certOpt->needs(keyOpt);
    keyOpt->needs(certOpt);
    app.add_option("--token-file", options.TokenFile,
                   "Ask for bearer tokens: a file of lines \"NAME read|operate sha256:HEX\"")
        ->check(CLI::ExistingFile);
    app.add_option("--audit-file", options.AuditFile,
                   "Append one line per action to this file; - for standard error")
        ->capture_default_str();
    app.add_flag("--control", options.Control, "Serve the control endpoint (/control/...) for tests");
    app.add_option(
        "--fault", faultSpecs,
        "Inject a fault: PATH=refuse | stall[:ms] | trickle[:ms] | error[:status[:text]] | malformed | "
        "oversize[:bytes]; PATH may end in *. May be repeated.");
    CLI11_PARSE(app, argc, argv);

    try {
        for (const auto& fault : faultSpecs)
            options.Faults.push_back(ParseFaultSpec(fault));
    } catch (const EFaultSpec& e) {
        std::cerr << "WDXBrokerSim: --fault: " << e.what() << ".\n";
        return 2;
    }

    TSimScenario scenario;
    try {
        if (!scenarioFile.empty())
            scenario = LoadScenario(scenarioFile);
        else if (components > 0)
            scenario = GenerateScenario(components, services, params, seed);
        else {
            std::cerr << "WDXBrokerSim: give --scenario FILE or --components N.\n";
            return 2;
        }
    } catch (const EScenarioError& e) {
        std::cerr << "WDXBrokerSim: " << e.what() << "\n";
        return 2;
    }

    // The signals are taken by sigwait below, not by a handler that could run
    // on any of the server's threads.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    // Every connection holds a descriptor: take what the system allows,
    // not the shell's default soft limit.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }

    auto broker = std::make_shared<TSimBroker>(std::move(scenario), seed);
    TSimServer server(broker, options);
    int port = 0;
    try {
        port = server.Start();
    } catch (const ESimServer& e) {
        std::cerr << "WDXBrokerSim: " << e.what() << "\n";
        return 1;
    }
    std::string host = options.Host.find(':') != std::string::npos ? "[" + options.Host + "]" : options.Host;
    std::cout << "listening on " << host << ":" << port << std::endl;

    int sig = 0;
    sigwait(&stopSignals, &sig);
    server.Stop();
    std::cerr << "WDXBrokerSim: stopped (" << (sig == SIGINT ? "SIGINT" : "SIGTERM") << ").\n";
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::cerr << "WDXBrokerSim: out of memory.\n";
    } catch (const std::exception& e) {
        std::cerr << "WDXBrokerSim: " << e.what() << "\n";
    }
    return 1;
}
