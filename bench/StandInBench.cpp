// The component list as the monitor gets it: TNPXMonitor::GetServers through
// the monitor-server stand-in (store lookup done once at connect, then one
// request, decode, the row cursor and the records), set beside a plain HTTP
// client with a plain nlohmann::json parse of the same answer, beside the
// statistics client alone, and beside the floor: the same plain fetch with
// simdjson's parser (nothing checked, no records), against the same
// in-process simulator.

#include "brokersim/Scenario.h"
#include "brokersim/SimServer.h"
#include "brokerstore/BrokerStore.h"
#include "monitor/NPXMonitor.h"
#include "statshost/StandIns.h"
#include "statshost/StatsClient.h"
#include "support/TempStore.h"

#include <benchmark/benchmark.h>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <simdjson.h>

#include <map>
#include <memory>
#include <string>

using namespace wdx;

namespace {

// One simulator per list size, defined in a store of the run's own as
// "Bench<N>"; started on first use and kept for the run.
struct TServed {
    std::shared_ptr<brokersim::TSimBroker> Broker;
    std::unique_ptr<brokersim::TSimServer> Server;
    int Port = 0;
    std::size_t BodyBytes = 0;
    std::u16string Name;
};

TServed& Served(int Components) {
    static testsupport::TTempStore Store;
    static std::map<int, std::unique_ptr<TServed>> All;
    auto& S = All[Components];
    if (!S) {
        static bool Registered = (statshost::RegisterStandIns(), true);
        (void)Registered;
        S = std::make_unique<TServed>();
        S->Broker =
            std::make_shared<brokersim::TSimBroker>(brokersim::GenerateScenario(Components, 3, 2, 1), 1);
        S->Broker->Tick(3);
        brokersim::TSimServerOptions Options;
        Options.TickMillis = 0; // the same figures for every request
        S->Server = std::make_unique<brokersim::TSimServer>(S->Broker, Options);
        S->Port = S->Server->Start();
        S->BodyBytes = S->Broker->Components().Body.size();
        brokerstore::TBrokerDefinition D;
        D.Name = "Bench" + std::to_string(Components);
        D.HostName = "127.0.0.1";
        D.Port = std::to_string(S->Port);
        D.TimeOut = "30";
        if (!brokerstore::WriteBrokerDefinition(D))
            throw std::runtime_error("cannot define the benchmark's broker");
        S->Name = std::u16string(D.Name.begin(), D.Name.end());
    }
    return *S;
}

void MonitorGetServers(benchmark::State& State) {
    const auto N = static_cast<std::size_t>(State.range(0));
    TServed& S = Served(static_cast<int>(N));
    monitor::TNPXMonitor Connection(S.Name);
    for (auto _ : State) {
        monitor::TServerList List = Connection.GetServers();
        if (List.size() != N) {
            State.SkipWithError("wrong count");
            break;
        }
        benchmark::DoNotOptimize(List.data());
    }
    State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * S.BodyBytes));
}

void ClientGetComponents(benchmark::State& State) {
    const auto N = static_cast<std::size_t>(State.range(0));
    TServed& S = Served(static_cast<int>(N));
    statshost::TStatsClient Client("127.0.0.1", S.Port, 30);
    for (auto _ : State) {
        auto List = Client.GetComponents();
        if (!List.Ok() || List.Value().size() != N) {
            State.SkipWithError("fetch failed");
            break;
        }
        benchmark::DoNotOptimize(List.Value().data());
    }
    State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * S.BodyBytes));
}

void PlainHttpJson(benchmark::State& State) {
    const auto N = static_cast<std::size_t>(State.range(0));
    TServed& S = Served(static_cast<int>(N));
    httplib::Client Client("127.0.0.1", S.Port);
    Client.set_keep_alive(true);
    for (auto _ : State) {
        auto Res = Client.Get("/v1/components");
        if (!Res || Res->status != 200) {
            State.SkipWithError("fetch failed");
            break;
        }
        auto Doc = nlohmann::json::parse(Res->body);
        if (Doc["components"].size() != N) {
            State.SkipWithError("wrong count");
            break;
        }
        benchmark::DoNotOptimize(Doc);
    }
    State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * S.BodyBytes));
}

void SimdjsonFloor(benchmark::State& State) {
    const auto N = static_cast<std::size_t>(State.range(0));
    TServed& S = Served(static_cast<int>(N));
    httplib::Client Client("127.0.0.1", S.Port);
    Client.set_keep_alive(true);
    simdjson::dom::parser Parser; // kept, as a caller of the floor would
    for (auto _ : State) {
        auto Res = Client.Get("/v1/components");
        if (!Res || Res->status != 200) {
            State.SkipWithError("fetch failed");
            break;
        }
        simdjson::dom::array Rows;
        if (Parser.parse(Res->body)["components"].get_array().get(Rows) != simdjson::SUCCESS ||
            Rows.size() != N) {
            State.SkipWithError("parse failed");
            break;
        }
        benchmark::DoNotOptimize(Rows);
    }
    State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * S.BodyBytes));
}

} // namespace

BENCHMARK(MonitorGetServers)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(ClientGetComponents)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(PlainHttpJson)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(SimdjsonFloor)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
