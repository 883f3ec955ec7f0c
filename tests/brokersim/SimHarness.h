#pragma once
// A simulated broker served in-process on a free loopback port, for tests of
// the statistics client and of the simulator. No load steps run by
// themselves; tests step the load through Broker().Tick().

#include "brokersim/Scenario.h"
#include "brokersim/SimServer.h"

#include <memory>
#include <string>

namespace wdx::testing {

// Three components; "Price Engine/α%" checks that names travel encoded.
inline const char* const SmallScenario = R"json({
  "broker": "Test broker",
  "versions": {"wdxappserver": "4.2.1 (test)"},
  "components": [
    {"name": "Orders", "invokedBy": "ws-01, ws-02", "maximum": 8, "active": 3, "requests": 120,
     "queued": 2, "queueTime": 15, "serviceTime": 40,
     "services": [
       {"name": "Orders.Create", "requests": 100, "queued": 2, "queueTime": 15, "serviceTime": 45,
        "parameters": [
          {"name": "Customer", "dataType": 1, "mode": 1, "precision": 40, "scale": 0},
          {"name": "Amount", "dataType": 2, "mode": 3, "precision": 15, "scale": 2},
          {"name": "Result", "dataType": 4, "mode": 5}]},
       {"name": "Orders.Cancel", "requests": 20, "serviceTime": 12}]},
    {"name": "Price Engine/\u03b1%", "maximum": 2, "services": [
       {"name": "Shared.Lookup", "parameters": [{"name": "Key", "dataType": 3, "mode": 2}]}]},
    {"name": "Billing", "maximum": 4, "active": 4, "requests": 2147483647, "services": [
       {"name": "Shared.Lookup", "parameters": [{"name": "Other", "dataType": 5, "mode": 1}]}]}
  ]
})json";

class TSimHarness {
public:
    explicit TSimHarness(const std::string& ScenarioText = SmallScenario, uint64_t Seed = 1,
                         brokersim::TSimServerOptions Options = {}) {
        FBroker =
            std::make_shared<brokersim::TSimBroker>(brokersim::ParseScenario(ScenarioText, "test"), Seed);
        Options.Host = "127.0.0.1";
        Options.Port = 0;
        Options.TickMillis = 0;
        FServer = std::make_unique<brokersim::TSimServer>(FBroker, Options);
        FPort = FServer->Start();
    }
    int Port() const { return FPort; }
    brokersim::TSimBroker& Broker() { return *FBroker; }
    brokersim::TFaultTable& Faults() { return FServer->Faults(); }
    brokersim::TSimServer& Server() { return *FServer; }

private:
    std::shared_ptr<brokersim::TSimBroker> FBroker;
    std::unique_ptr<brokersim::TSimServer> FServer;
    int FPort = 0;
};

} // namespace wdx::testing
