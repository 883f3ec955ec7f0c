#pragma once
// The broker's side of the statistics protocol: every answer as a broker
// writes it, and the reading of a request path. Only the simulator, the tests
// and the benchmarks link this (wdx_statsbroker); a client needs none of it.

#include "statshost/StatsProtocol.h"
#include "statshost/StatsTypes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wdx::statshost {

// Undoes PercentEncode; '+' stays '+'. Empty when an escape is broken.
std::optional<std::string> PercentDecode(std::string_view Text);

// Answers, as a broker writes them.
std::string EncodeBrokerInfo(const TBrokerInfo& Info);
std::string EncodeHealth(const THealth& Health);
std::string EncodeComponents(const std::vector<TComponentStats>& Components);
std::string EncodeServices(std::string_view Component, const std::vector<TServiceStats>& Services);
std::string EncodeParameters(std::string_view Service, const std::vector<TParamInfo>& Params);
std::string EncodeComponentDetails(const TComponentDetails& Details);
std::string EncodeActionDone(const TActionDone& Done);
std::string EncodeVersion(std::string_view Component, const TVersionInfo& Version);
std::string EncodeError(int32_t Code, std::string_view Text);

} // namespace wdx::statshost
