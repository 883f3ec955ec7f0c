#pragma once
// The metric families of one scrape, built from the brokers' readings, in
// Prometheus's naming (base units, _total counters, an up series and an info
// series per target). Every family carries its HELP and TYPE; families
// without a sample are left out.

#include "exporter/BrokerReading.h"

#include <prometheus/metric_family.h>

#include <vector>

namespace wdx::exporter {

// Services adds the service families (and the count of service lists that
// could not be read) for the brokers that were read.
std::vector<prometheus::MetricFamily> BuildFamilies(const std::vector<TBrokerReading>& Readings,
                                                    bool Services);

} // namespace wdx::exporter
