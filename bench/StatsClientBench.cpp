// Fetch and decode of the component list over loopback: our client (libcurl,
// capped and checked decoder) set beside a plain HTTP client with a plain
// nlohmann::json parse, against the same in-process simulator. The decode
// alone is measured too, without the network, on the same bytes.

#include "brokersim/Scenario.h"
#include "brokersim/SimServer.h"
#include "statshost/StatsClient.h"
#include "statshost/StatsDecoder.h"

#include <benchmark/benchmark.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <map>
#include <memory>

using namespace wdx;

namespace {

// One simulator per list size, started on first use and kept for the run.
struct TServed {
    std::shared_ptr<brokersim::TSimBroker> Broker;
    std::unique_ptr<brokersim::TSimServer> Server;
    int Port = 0;
    std::string Body;
};

TServed& Served(int Components) {
    static std::map<int, std::unique_ptr<TServed>> all;
    auto& s = all[Components];
    if (!s) {
        s = std::make_unique<TServed>();
        s->Broker =
            std::make_shared<brokersim::TSimBroker>(brokersim::GenerateScenario(Components, 3, 2, 1), 1);
        s->Broker->Tick(3);
        brokersim::TSimServerOptions options;
        options.TickMillis = 0; // the same figures for every request
        s->Server = std::make_unique<brokersim::TSimServer>(s->Broker, options);
        s->Port = s->Server->Start();
        s->Body = s->Broker->Components().Body;
    }
    return *s;
}

void ClientFetchDecode(benchmark::State& State) {
    TServed& s = Served(static_cast<int>(State.range(0)));
    statshost::TStatsClient client("127.0.0.1", s.Port, 10);
    for (auto _ : State) {
        auto list = client.GetComponents();
        if (!list.Ok() || list.Value().size() != static_cast<std::size_t>(State.range(0))) {
            State.SkipWithError("fetch failed");
            break;
        }
        benchmark::DoNotOptimize(list.Value().data());
    }
    State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * s.Body.size()));
}

void PlainHttpJson(benchmark::State& State) {
    TServed& s = Served(static_cast<int>(State.range(0)));
    httplib::Client client("127.0.0.1", s.Port);
    client.set_keep_alive(true);
    for (auto _ : State) {
        auto res = client.Get("/v1/components");
        if (!res || res->status != 200) {
            State.SkipWithError("fetch failed");
            break;
        }
        auto doc = nlohmann::json::parse(res->body);
        if (doc["components"].size() != static_cast<std::size_t>(State.range(0))) {
            State.SkipWithError("wrong count");
            break;
        }
        benchmark::DoNotOptimize(doc);
    }
    State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * s.Body.size()));
}

void DecodeOnly(benchmark::State& State) {
    const std::string& body = Served(static_cast<int>(State.range(0))).Body;
    for (auto _ : State) {
        auto list = statshost::DecodeComponents(body);
        benchmark::DoNotOptimize(list.Ok());
    }
    State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * body.size()));
}

void NlohmannParseOnly(benchmark::State& State) {
    const std::string& body = Served(static_cast<int>(State.range(0))).Body;
    for (auto _ : State) {
        auto doc = nlohmann::json::parse(body);
        benchmark::DoNotOptimize(doc);
    }
    State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * body.size()));
}

} // namespace

BENCHMARK(ClientFetchDecode)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(PlainHttpJson)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(DecodeOnly)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(NlohmannParseOnly)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
