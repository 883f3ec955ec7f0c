#include "exporter/BrokerReading.h"

#include "monitor/RelayCheck.h"
#include "monitorapi/MonitorIntf.h"
#include "monitorapi/WideText.h"
#include "statshost/BrokerLookup.h"
#include "statshost/StatsClient.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <future>
#include <memory>
#include <system_error>

namespace wdx::exporter {

using statshost::TStatsClient;
using TClock = std::chrono::steady_clock;

namespace {

// The component whose version the monitor shows beside "Version:".
constexpr const char* VersionComponent = "wdxappserver";

// The relay's code for Name, checked the way the monitor checks it; -1 when
// the relay could not be asked at all.
int RelayCheck(const std::string& Name) {
    return monitor::CheckBrokerThroughRelay(monitor::Utf8ToWide(Name)).Status();
}

// The statistics client of one reading, kept within the reading's deadline:
// the definition's time-out as the client takes it, from Start. Every call of
// a client may take its whole time-out, so once less than that is left, the
// next calls go through a client whose time-out is what is left, rounded up
// to the client's whole seconds.
class TBudgetClient {
public:
    TBudgetClient(const statshost::TBrokerAddress& A, TClock::time_point Start)
        : FAddress(A),
          FClient(std::make_unique<TStatsClient>(A.HostName, A.Port, A.TimeOutSeconds, A.Security)),
          FFullTimeOut(FClient->TimeOutSeconds()), FDeadline(Start + std::chrono::seconds(FFullTimeOut)) {}

    int TimeOutSeconds() const { return FFullTimeOut; }

    // Null once the deadline has passed.
    TStatsClient* Get() {
        auto Left = std::chrono::duration<double>(FDeadline - TClock::now()).count();
        if (Left <= 0)
            return nullptr;
        int Seconds = std::max(1, static_cast<int>(std::ceil(Left)));
        if (Seconds < FClient->TimeOutSeconds())
            FClient =
                std::make_unique<TStatsClient>(FAddress.HostName, FAddress.Port, Seconds, FAddress.Security);
        return FClient.get();
    }

private:
    statshost::TBrokerAddress FAddress;
    std::unique_ptr<TStatsClient> FClient;
    int FFullTimeOut;
    TClock::time_point FDeadline;
};

void ReadServices(TBudgetClient& Client, TBrokerReading& R) {
    R.Services.resize(R.Components.size());
    std::string First;
    for (std::size_t I = 0; I < R.Components.size(); ++I) {
        TStatsClient* C = Client.Get();
        if (!C) {
            int Left = static_cast<int>(R.Components.size() - I);
            R.ServiceListsFailed += Left;
            if (First.empty())
                First = "The service lists of " + std::to_string(Left) +
                        " components were not asked: the broker's time-out of " +
                        std::to_string(Client.TimeOutSeconds()) + " seconds had passed.";
            break;
        }
        auto Services = C->GetServices(R.Components[I].Name);
        if (Services) {
            R.Services[I].Ok = true;
            R.Services[I].Services = std::move(Services).Value();
        } else {
            ++R.ServiceListsFailed;
            if (First.empty())
                First = Services.Error().Text;
        }
    }
    if (R.ServiceListsFailed > 0)
        R.Problem = std::to_string(R.ServiceListsFailed) + " of " + std::to_string(R.Components.size()) +
                    " service lists could not be read. The first failure: " + First;
}

void ReadLists(const TBrokerTarget& Target, const TReadOptions& Options, TClock::time_point Start,
               TBrokerReading& R) {
    statshost::TBrokerLookup Found = statshost::FindBrokerDefinition(Target.Name);
    if (Found.Status != statshost::TLookupStatus::Found) {
        R.Problem = Found.ErrorText;
        return;
    }
    const statshost::TBrokerAddress& A = Found.Address;
    R.Scope = brokerstore::ScopeName(A.Scope);
    R.HasAddress = true;
    R.Host = A.HostName;
    R.Port = A.Port;

    TBudgetClient Client(A, Start);
    auto List = Client.Get()->GetComponents();
    if (!List) {
        R.Problem = List.Error().Text;
        return;
    }
    R.Up = true;
    R.Components = std::move(List).Value();
    if (TStatsClient* C = Client.Get()) {
        auto Version = C->GetVersion(VersionComponent);
        if (Version && Version.Value().Found)
            R.Version = std::move(Version.Value().Version);
    }
    if (Options.Services)
        ReadServices(Client, R);
}

// Runs F on a thread of its own; when no thread can be had, on the caller's
// thread when the result is asked for, which is slower but still right.
template <class F, class... Args> auto Launch(F&& Fn, Args&&... A) {
    try {
        return std::async(std::launch::async, std::forward<F>(Fn), std::forward<Args>(A)...);
    } catch (const std::system_error&) {
        return std::async(std::launch::deferred, std::forward<F>(Fn), std::forward<Args>(A)...);
    }
}

} // namespace

TBrokerReading ReadBroker(const TBrokerTarget& Target, const TReadOptions& Options) {
    const TClock::time_point Start = TClock::now();
    TBrokerReading R;
    R.Name = Target.Name;
    if (Target.Scope)
        R.Scope = brokerstore::ScopeName(*Target.Scope);
    // The relay's check is a request of its own within the same time-out;
    // it runs beside the lists so that a stalling broker costs it once.
    auto Check = Launch(RelayCheck, Target.Name);
    ReadLists(Target, Options, Start, R);
    R.CheckStatus = Check.get();
    R.Seconds = std::chrono::duration<double>(TClock::now() - Start).count();
    return R;
}

std::vector<TBrokerReading> ReadBrokers(const std::vector<TBrokerTarget>& Targets,
                                        const TReadOptions& Options) {
    std::vector<std::future<TBrokerReading>> Pending;
    Pending.reserve(Targets.size());
    for (const TBrokerTarget& T : Targets)
        Pending.push_back(Launch(ReadBroker, std::cref(T), std::cref(Options)));
    std::vector<TBrokerReading> Readings;
    Readings.reserve(Targets.size());
    for (auto& P : Pending)
        Readings.push_back(P.get());
    return Readings;
}

} // namespace wdx::exporter
