#include "brokersim/SimModel.h"

#include "statshost/JsonFields.h"
#include "statshost/StatsDecoder.h"
#include "statshost/StatsEncoders.h"

#include <algorithm>
#include <cmath>

namespace wdx::brokersim {

using namespace wdx::statshost;

namespace {

constexpr int32_t Int32Top = 2147483647;

int32_t SaturatingAdd(int32_t A, int64_t B) {
    int64_t sum = static_cast<int64_t>(A) + B;
    return static_cast<int32_t>(std::clamp<int64_t>(sum, 0, Int32Top));
}

int32_t ClampToInt32(double V) {
    if (!(V > 0))
        return 0;
    if (V >= Int32Top)
        return Int32Top;
    return static_cast<int32_t>(std::lround(V));
}

TSimReply Error(int Status, int32_t Code, const std::string& Text) {
    return {Status, EncodeError(Code, Text)};
}

TSimReply UnknownComponent(std::string_view Name) {
    return Error(404, ecUnknownComponent,
                 "The component \"" + std::string(Name) + "\" is not known to this broker.");
}

// Splits Total into parts proportional to Weights; the parts add up to Total.
std::vector<int64_t> Share(int64_t Total, const std::vector<double>& Weights) {
    std::vector<int64_t> parts(Weights.size(), 0);
    if (Weights.empty())
        return parts;
    int64_t given = 0;
    for (std::size_t i = 0; i < Weights.size(); ++i) {
        parts[i] = static_cast<int64_t>(std::floor(static_cast<double>(Total) * Weights[i]));
        given += parts[i];
    }
    parts[0] += Total - given;
    return parts;
}

} // namespace

TSimBroker::TSimBroker(TSimScenario Scenario, uint64_t Seed) : FInitial(std::move(Scenario)), FSeed(Seed) {
    Start();
}

void TSimBroker::Reset() {
    std::lock_guard lock(FLock);
    Start();
}

void TSimBroker::Start() {
    FData = FInitial;
    FRandom.seed(FSeed);
    FComponentIndex.clear();
    FLoads.assign(FData.Components.size(), TLoad{});
    ++FGeneration; // no list cached before is current
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (std::size_t i = 0; i < FData.Components.size(); ++i) {
        TSimComponent& c = FData.Components[i];
        FComponentIndex.emplace(c.Stats.Name, i);
        TLoad& l = FLoads[i];
        l.Level = c.Stats.Maximum > 0 ? static_cast<double>(c.Stats.Active) / c.Stats.Maximum : 0.0;
        l.BaseServiceTime = c.Stats.ServiceTime > 0 ? c.Stats.ServiceTime : 5 + 195 * unit(FRandom);
        double sum = 0;
        for (const auto& s : c.Services) {
            l.Weights.push_back(0.2 + unit(FRandom));
            sum += l.Weights.back();
            l.ServiceBase.push_back(s.Stats.ServiceTime > 0 ? s.Stats.ServiceTime
                                                            : l.BaseServiceTime * (0.5 + unit(FRandom)));
        }
        for (double& w : l.Weights)
            w /= sum;
    }
}

void TSimBroker::Step(TSimComponent& C, TLoad& L) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    TComponentDetails& s = C.Stats;
    // Demand wanders between idle and half again the maximum, so that some
    // components reach their maximum and queue.
    L.Level = std::clamp(L.Level + (unit(FRandom) - 0.5) * 0.3, 0.0, 1.5);
    double demand = L.Level * s.Maximum;
    s.Active = std::min<int32_t>(s.Maximum, ClampToInt32(demand));
    int64_t waiting = demand > s.Maximum ? static_cast<int64_t>(std::lround((demand - s.Maximum) * 2)) : 0;
    s.Queued = waiting > 0 ? SaturatingAdd(s.Queued / 2, waiting) : s.Queued / 2;
    auto arrived = static_cast<int64_t>(std::floor(unit(FRandom) * (3.0 * s.Active + 1)));
    s.Requests = SaturatingAdd(s.Requests, arrived);
    double factor = (0.8 + 0.4 * unit(FRandom)) * (1.0 + 0.5 * std::min(L.Level, 1.0));
    s.ServiceTime = ClampToInt32(L.BaseServiceTime * factor);
    s.QueueTime = s.Queued > 0
                      ? ClampToInt32(static_cast<double>(s.Queued) * s.ServiceTime / std::max(s.Active, 1))
                      : 0;
    auto requests = Share(arrived, L.Weights);
    auto queued = Share(s.Queued, L.Weights);
    for (std::size_t i = 0; i < C.Services.size(); ++i) {
        TServiceStats& v = C.Services[i].Stats;
        v.Requests = SaturatingAdd(v.Requests, requests[i]);
        v.Queued = static_cast<int32_t>(queued[i]);
        v.ServiceTime = ClampToInt32(L.ServiceBase[i] * factor);
        v.QueueTime = v.Queued > 0 ? s.QueueTime : 0;
    }
}

void TSimBroker::Tick(int Count) {
    std::lock_guard lock(FLock);
    for (int n = 0; n < Count; ++n)
        for (std::size_t i = 0; i < FData.Components.size(); ++i)
            Step(FData.Components[i], FLoads[i]);
    if (Count > 0 && !FData.Components.empty())
        ++FGeneration;
}

const TSimComponent* TSimBroker::FindComponent(std::string_view Name) const {
    auto it = FComponentIndex.find(std::string(Name));
    return it == FComponentIndex.end() ? nullptr : &FData.Components[it->second];
}

TSimReply TSimBroker::BrokerInfo() const {
    std::lock_guard lock(FLock);
    return {200, EncodeBrokerInfo({FData.BrokerName, ProtocolVersion})};
}

TSimReply TSimBroker::Health() const {
    std::lock_guard lock(FLock);
    return {200, EncodeHealth(FData.Health)};
}

void TSimBroker::SetHealth(THealth Health) {
    std::lock_guard lock(FLock);
    FData.Health = std::move(Health);
}

std::string TSimBroker::ComponentListBody() const {
    std::vector<TComponentStats> rows;
    uint64_t generation = 0;
    {
        std::lock_guard lock(FLock);
        if (FCachedGeneration == FGeneration)
            return FCachedList;
        generation = FGeneration;
        rows.reserve(FData.Components.size());
        for (const auto& c : FData.Components) {
            const auto& s = c.Stats;
            rows.push_back({s.Name, s.Active, s.Maximum, s.Requests, s.Queued, s.QueueTime, s.ServiceTime});
        }
    }
    // Encoded outside the lock: a long list must not hold up the other
    // requests. The figures only change with a tick or an action, so the
    // text is kept until then.
    std::string body = EncodeComponents(rows);
    std::lock_guard lock(FLock);
    if (generation == FGeneration) {
        FCachedGeneration = generation;
        FCachedList = body;
    }
    return body;
}

TSimReply TSimBroker::Components() const {
    return {200, ComponentListBody()};
}

TSimReply TSimBroker::Details(std::string_view Component) const {
    std::lock_guard lock(FLock);
    const TSimComponent* c = FindComponent(Component);
    if (!c)
        return UnknownComponent(Component);
    return {200, EncodeComponentDetails(c->Stats)};
}

TSimReply TSimBroker::Services(std::string_view Component) const {
    std::lock_guard lock(FLock);
    const TSimComponent* c = FindComponent(Component);
    if (!c)
        return UnknownComponent(Component);
    std::vector<TServiceStats> rows;
    for (const auto& s : c->Services)
        rows.push_back(s.Stats);
    return {200, EncodeServices(Component, rows)};
}

TSimReply TSimBroker::Parameters(std::string_view Service, std::string_view InComponent) const {
    std::lock_guard lock(FLock);
    auto search = [&](const TSimComponent& c) -> const TSimService* {
        for (const auto& s : c.Services)
            if (s.Stats.Name == Service)
                return &s;
        return nullptr;
    };
    const TSimService* found = nullptr;
    if (!InComponent.empty()) {
        const TSimComponent* c = FindComponent(InComponent);
        if (!c)
            return UnknownComponent(InComponent);
        found = search(*c);
    } else {
        for (const auto& c : FData.Components)
            if ((found = search(c)))
                break;
    }
    if (!found)
        return Error(404, ecUnknownService,
                     "The service \"" + std::string(Service) + "\" is not known to this broker.");
    return {200, EncodeParameters(Service, found->Params)};
}

TSimReply TSimBroker::Version(std::string_view Component) const {
    std::lock_guard lock(FLock);
    auto it = FData.Versions.find(std::string(Component));
    TVersionInfo v;
    if (it != FData.Versions.end()) {
        v.Found = true;
        v.Version = it->second;
    }
    return {200, EncodeVersion(Component, v)};
}

TSimReply TSimBroker::Action(std::string_view Component, std::string_view RequestBody) {
    std::string action;
    int32_t value = 0;
    try {
        if (!NestingWithin(RequestBody, MaxNestingDepth))
            throw EJsonField("it nests too deeply");
        TJson doc = TJson::parse(RequestBody.begin(), RequestBody.end());
        TJsonPath at;
        action = TextMember(doc, "action", at, true);
        if (const TJson* v = FindMember(doc, "value", at))
            value = static_cast<int32_t>(RequireInt(*v, -Int32Top - 1, Int32Top, at.Member("value")));
    } catch (const TJson::exception&) {
        return Error(400, ecBadRequest, "The action request is not valid JSON.");
    } catch (const EJsonField& e) {
        return Error(400, ecBadRequest, std::string("The action request is malformed: ") + e.what() + ".");
    }

    std::lock_guard lock(FLock);
    auto it = FComponentIndex.find(std::string(Component));
    if (it == FComponentIndex.end())
        return UnknownComponent(Component);
    TSimComponent& c = FData.Components[it->second];
    TComponentDetails& s = c.Stats;
    if (action == "retire") {
        // The running instances end; new requests start new ones.
        s.Active = 0;
        FLoads[it->second].Level = 0;
    } else if (action == "setmax") {
        if (value < 1 || value > MaxInstances)
            return Error(400, ecValueOutOfRange,
                         "The maximum number of instances must be from 1 to " + std::to_string(MaxInstances) +
                             "; " + std::to_string(value) + " was asked for.");
        s.Maximum = value;
        s.Active = std::min(s.Active, value);
    } else if (action == "clear") {
        // Statistics start again; the live figures (instances, queue) stay.
        s.Requests = 0;
        s.QueueTime = 0;
        s.ServiceTime = 0;
        for (auto& v : c.Services) {
            v.Stats.Requests = 0;
            v.Stats.QueueTime = 0;
            v.Stats.ServiceTime = 0;
        }
    } else {
        return Error(400, ecUnknownAction,
                     "The action \"" + action + "\" is not known; use retire, setmax or clear.");
    }
    ++FGeneration;
    return {200, EncodeActionDone({s.Name, action, value})};
}

std::size_t TSimBroker::ComponentCount() const {
    std::lock_guard lock(FLock);
    return FData.Components.size();
}

std::optional<TComponentDetails> TSimBroker::Snapshot(std::string_view Component) const {
    std::lock_guard lock(FLock);
    const TSimComponent* c = FindComponent(Component);
    if (!c)
        return std::nullopt;
    return c->Stats;
}

} // namespace wdx::brokersim
