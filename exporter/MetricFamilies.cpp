#include "exporter/MetricFamilies.h"

#include "WdxVersion.h"

#include <string_view>
#include <unordered_set>

namespace wdx::exporter {

using prometheus::ClientMetric;
using prometheus::MetricFamily;
using prometheus::MetricType;
using TLabels = std::vector<ClientMetric::Label>;

namespace {

MetricFamily Family(const char* Name, const char* Help, MetricType Type) {
    MetricFamily F;
    F.name = Name;
    F.help = Help;
    F.type = Type;
    return F;
}

void Add(MetricFamily& F, const TLabels& Labels, double Value) {
    ClientMetric& M = F.metric.emplace_back();
    M.label = Labels;
    if (F.type == MetricType::Counter)
        M.counter.value = Value;
    else
        M.gauge.value = Value;
}

// Brokers report times in whole milliseconds; Prometheus wants seconds.
double Seconds(int32_t Millis) {
    return Millis / 1000.0;
}

struct TBrokerFamilies {
    MetricFamily Up =
        Family("wdx_broker_up", "1 when the broker's component list was read in this scrape, 0 otherwise.",
               MetricType::Gauge);
    MetricFamily Check = Family("wdx_broker_check_status",
                                "The relay's check of the broker: 0 healthy, 1 broker error, 2 warning, 3 "
                                "not defined, 4 not reachable, "
                                "5 unusable definition.",
                                MetricType::Gauge);
    MetricFamily Info =
        Family("wdx_broker_info", "The broker's address and the version of its application server.",
               MetricType::Gauge);
    MetricFamily Duration =
        Family("wdx_broker_scrape_duration_seconds", "How long reading the broker took.", MetricType::Gauge);
    MetricFamily ListsFailed = Family(
        "wdx_broker_service_lists_failed",
        "Components of the broker whose service list could not be read in this scrape.", MetricType::Gauge);
};

struct TFigureFamilies {
    MetricFamily Requests, Queued, QueueTime, ServiceTime;
    explicit TFigureFamilies(bool Component)
        : Requests(Family(Component ? "wdx_component_requests_total" : "wdx_service_requests_total",
                          Component
                              ? "Requests the component has taken since its statistics were last cleared."
                              : "Requests the service has taken since its statistics were last cleared.",
                          MetricType::Counter)),
          Queued(Family(Component ? "wdx_component_queued_requests" : "wdx_service_queued_requests",
                        "Requests waiting for an instance.", MetricType::Gauge)),
          QueueTime(Family(Component ? "wdx_component_queue_time_seconds" : "wdx_service_queue_time_seconds",
                           "Average time a request waited for an instance.", MetricType::Gauge)),
          ServiceTime(
              Family(Component ? "wdx_component_service_time_seconds" : "wdx_service_service_time_seconds",
                     "Average time a request took to be served.", MetricType::Gauge)) {}

    template <class T> void AddFigures(const TLabels& Labels, const T& Row) {
        Add(Requests, Labels, Row.Requests);
        Add(Queued, Labels, Row.Queued);
        Add(QueueTime, Labels, Seconds(Row.QueueTime));
        Add(ServiceTime, Labels, Seconds(Row.ServiceTime));
    }
};

void AddBroker(const TBrokerReading& R, bool Services, TBrokerFamilies& B, MetricFamily& Active,
               MetricFamily& Max, TFigureFamilies& C, TFigureFamilies& S) {
    const TLabels Broker{{"broker", R.Name}, {"scope", R.Scope}};
    Add(B.Up, Broker, R.Up ? 1 : 0);
    Add(B.Check, Broker, R.CheckStatus);
    Add(B.Duration, Broker, R.Seconds);
    if (R.HasAddress) {
        TLabels Info = Broker;
        Info.push_back({"host", R.Host});
        Info.push_back({"port", std::to_string(R.Port)});
        Info.push_back({"version", R.Version});
        Add(B.Info, Info, 1);
    }
    if (!R.Up)
        return;
    if (Services)
        Add(B.ListsFailed, Broker, R.ServiceListsFailed);

    // A broker lists each name once; should one come twice, only its first
    // row is shown, since a repeated series would make Prometheus refuse the
    // whole scrape.
    std::unordered_set<std::string_view> Seen;
    TLabels Labels = Broker;
    Labels.push_back({"component", {}});
    for (std::size_t I = 0; I < R.Components.size(); ++I) {
        const statshost::TComponentStats& Row = R.Components[I];
        if (!Seen.insert(Row.Name).second)
            continue;
        Labels[2].value = Row.Name;
        Add(Active, Labels, Row.Active);
        Add(Max, Labels, Row.Maximum);
        C.AddFigures(Labels, Row);
        if (!Services || I >= R.Services.size() || !R.Services[I].Ok)
            continue;
        std::unordered_set<std::string_view> SeenService;
        TLabels ServiceLabels = Labels;
        ServiceLabels.push_back({"service", {}});
        for (const statshost::TServiceStats& Service : R.Services[I].Services) {
            if (!SeenService.insert(Service.Name).second)
                continue;
            ServiceLabels[3].value = Service.Name;
            S.AddFigures(ServiceLabels, Service);
        }
    }
}

} // namespace

std::vector<MetricFamily> BuildFamilies(const std::vector<TBrokerReading>& Readings, bool WithServices) {
    TBrokerFamilies B;
    MetricFamily Active = Family("wdx_component_active_instances",
                                 "Instances of the component that are running.", MetricType::Gauge);
    MetricFamily Max = Family("wdx_component_max_instances",
                              "The most instances the component may run at once.", MetricType::Gauge);
    TFigureFamilies C(true), S(false);
    // Tens of thousands of samples: grown once, not by doubling.
    std::size_t Components = 0, Services = 0;
    for (const TBrokerReading& R : Readings) {
        Components += R.Components.size();
        for (const TServiceReading& L : R.Services)
            Services += L.Services.size();
    }
    for (MetricFamily* F : {&Active, &Max, &C.Requests, &C.Queued, &C.QueueTime, &C.ServiceTime})
        F->metric.reserve(Components);
    for (MetricFamily* F : {&S.Requests, &S.Queued, &S.QueueTime, &S.ServiceTime})
        F->metric.reserve(Services);
    for (const TBrokerReading& R : Readings)
        AddBroker(R, WithServices, B, Active, Max, C, S);

    MetricFamily Build = Family("wdx_exporter_build_info", "The version of WDXExporter.", MetricType::Gauge);
    Add(Build, {{"version", wdx::Version}}, 1);

    std::vector<MetricFamily> All;
    for (MetricFamily* F :
         {&B.Up, &B.Check, &B.Info, &B.Duration, &B.ListsFailed, &Active, &Max, &C.Requests, &C.Queued,
          &C.QueueTime, &C.ServiceTime, &S.Requests, &S.Queued, &S.QueueTime, &S.ServiceTime, &Build})
        if (!F->metric.empty())
            All.push_back(std::move(*F));
    return All;
}

} // namespace wdx::exporter
