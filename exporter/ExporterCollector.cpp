#include "exporter/ExporterCollector.h"

#include "exporter/MetricFamilies.h"

#include <iostream>

namespace wdx::exporter {

void LogToStderr(const std::string& Line) {
    std::cerr << "WDXExporter: " << Line << std::endl;
}

TExporterCollector::TExporterCollector(TCollectorOptions Options, TLogSink Log)
    : FOptions(std::move(Options)), FLog(std::move(Log)) {}

std::vector<TBrokerReading> TExporterCollector::Read() const {
    std::vector<TBrokerReading> Readings =
        ReadBrokers(ListBrokerTargets(FOptions.Brokers), {FOptions.Services});
    TellChanges(Readings);
    return Readings;
}

std::vector<prometheus::MetricFamily> TExporterCollector::Collect() const {
    return BuildFamilies(Read(), FOptions.Services);
}

void TExporterCollector::TellChanges(const std::vector<TBrokerReading>& Readings) const {
    std::string StoreProblems[2] = {StoreProblem(brokerstore::scUser), StoreProblem(brokerstore::scSystem)};
    std::lock_guard Lock(FMutex);
    if (!FLog)
        return;
    for (int S = 0; S < 2; ++S) {
        if (StoreProblems[S] == FLastStoreProblem[S])
            continue;
        FLog(StoreProblems[S].empty()
                 ? std::string("The ") + brokerstore::ScopeName(brokerstore::TBrokerScope(S)) +
                       " settings can be read again."
                 : StoreProblems[S]);
        FLastStoreProblem[S] = StoreProblems[S];
    }

    std::unordered_map<std::string, int> Now;
    for (const TBrokerReading& R : Readings) {
        const std::string Who = "broker \"" + R.Name + "\"" + (R.Scope.empty() ? "" : " (" + R.Scope + ")");
        int State = !R.Up ? 0 : R.ServiceListsFailed > 0 ? 2 : 1;
        Now[Who] = State;
        auto Last = FLastState.find(Who);
        // The first scrape tells only what is wrong; later ones every change.
        if (Last == FLastState.end() ? State == 1 : Last->second == State)
            continue;
        if (State == 0)
            FLog(Who + " is down: " + R.Problem);
        else if (State == 2)
            FLog(Who + " is up, but: " + R.Problem);
        else
            FLog(Who + " is up.");
    }
    FLastState = std::move(Now);
}

} // namespace wdx::exporter
