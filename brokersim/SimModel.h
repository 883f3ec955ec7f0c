#pragma once
// The simulated broker: its components, services and parameters, the load
// that moves their counters, the actions, and the protocol's answers built
// from them. Everything an HTTP request can ask is one call here, so the
// broker's behaviour can be tested without a socket.
//
// Thread-safe: every call takes the one lock, so the HTTP workers and the
// load ticker can call at the same time.

#include "statshost/StatsTypes.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace wdx::brokersim {

using statshost::TComponentDetails;
using statshost::THealth;
using statshost::TParamInfo;
using statshost::TServiceStats;

struct TSimService {
    TServiceStats Stats;
    std::vector<TParamInfo> Params;
};

struct TSimComponent {
    TComponentDetails Stats; // name, invoked-by and counters
    std::vector<TSimService> Services;
};

// What a scenario file (or the generator) describes.
struct TSimScenario {
    std::string BrokerName = "WDXBrokerSim";
    THealth Health;
    std::map<std::string, std::string> Versions; // component name -> version text
    std::vector<TSimComponent> Components;
};

// Error codes of the simulator's error answers.
enum TSimErrorCode : int32_t {
    ecUnknownComponent = 1,
    ecUnknownService = 2,
    ecUnknownAction = 3,
    ecValueOutOfRange = 4,
    ecBadRequest = 5,
    ecNoSuchRequest = 6,
    ecMethodNotAllowed = 7,
    ecSimulatedFailure = 8,
    ecNoToken = 9,       // 401: no token, or one the broker does not know
    ecNotPermitted = 10, // 403: the token's role does not allow the request
};

// Largest maximum number of instances "setmax" accepts.
inline constexpr int32_t MaxInstances = 10000;

// A protocol answer: HTTP status and JSON body.
struct TSimReply {
    int Status = 200;
    std::string Body;
};

class TSimBroker {
public:
    // Seed makes the load repeatable: the same scenario, seed and number of
    // ticks give the same figures.
    TSimBroker(TSimScenario Scenario, uint64_t Seed);

    // Advances the simulated load by Count steps: instances start and end
    // within the maximum, requests arrive, queues and times vary.
    void Tick(int Count = 1);

    TSimReply BrokerInfo() const;
    TSimReply Health() const;
    TSimReply Components() const;
    TSimReply Details(std::string_view Component) const;
    TSimReply Services(std::string_view Component) const;
    // The parameters of the first service of that name, in component order;
    // InComponent, when not empty, looks only in that component.
    TSimReply Parameters(std::string_view Service, std::string_view InComponent) const;
    TSimReply Version(std::string_view Component) const;
    // RequestBody is the action request as sent: {"action": ..., "value": ...}.
    TSimReply Action(std::string_view Component, std::string_view RequestBody);

    void SetHealth(THealth Health);
    // Back to the scenario and the seed it started with: figures, maxima and
    // health as at the start, and the same load steps to come.
    void Reset();
    std::size_t ComponentCount() const;
    // A copy of one component's figures, for tests and tools.
    std::optional<TComponentDetails> Snapshot(std::string_view Component) const;

private:
    // Per component state of the load model that the protocol does not show.
    struct TLoad {
        double Level = 0;            // demand as a share of the maximum
        double BaseServiceTime = 0;  // ms
        std::vector<double> Weights; // share of each service in the traffic
        std::vector<double> ServiceBase;
    };

    const TSimComponent* FindComponent(std::string_view Name) const;
    void Start(); // the lock held, or the broker not yet seen by anyone
    void Step(TSimComponent& C, TLoad& L);
    std::string ComponentListBody() const;

    mutable std::mutex FLock;
    const TSimScenario FInitial;
    const uint64_t FSeed;
    TSimScenario FData;
    std::vector<TLoad> FLoads;
    std::unordered_map<std::string, std::size_t> FComponentIndex;
    std::mt19937_64 FRandom;
    uint64_t FGeneration = 0; // counts every change of a figure
    mutable uint64_t FCachedGeneration = UINT64_MAX;
    mutable std::string FCachedList;
};

} // namespace wdx::brokersim
