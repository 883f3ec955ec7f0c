#include "statshost/StatsRelay.h"

#include "monitorapi/WideText.h"
#include "statshost/BrokerLookup.h"
#include "statshost/StandIns.h"
#include "statshost/StatsClient.h"

namespace wdx::statshost {

namespace {

TRelayStatus StatusOf(const TStatsError& Error) {
    switch (Error.Kind) {
    case TStatsFailure::InvalidArgument:
        return rsBadDefinition;
    case TStatsFailure::Connect:
    case TStatsFailure::TimeOut:
    case TStatsFailure::Transport:
        return rsNotReachable;
    case TStatsFailure::TooLarge:
    case TStatsFailure::BrokerError:
    case TStatsFailure::Malformed:
        break;
    }
    return rsBrokerFailed;
}

} // namespace

HRESULT TStatsRelay::ErrorText(BSTR* Value) {
    return monitor::PutBStr(Value, FErrorText);
}

HRESULT TStatsRelay::CheckBroker(BSTR BrokerName, std::int32_t, std::int32_t, std::int32_t,
                                 std::int16_t* Code) {
    if (!Code)
        return E_POINTER;
    auto Set = [&](TRelayStatus Status, const std::string& Text) -> HRESULT {
        *Code = Status;
        FErrorText = monitor::Utf8ToWide(Text);
        return S_OK;
    };
    TBrokerLookup Found = FindBrokerDefinition(monitor::BStrUtf8(BrokerName));
    if (Found.Status == TLookupStatus::NotDefined)
        return Set(rsNotDefined, Found.ErrorText);
    if (Found.Status == TLookupStatus::BadDefinition)
        return Set(rsBadDefinition, Found.ErrorText);

    const TBrokerAddress& A = Found.Address;
    TStatsClient Client(A.HostName, A.Port, A.TimeOutSeconds, A.Security);
    auto Health = Client.GetHealth();
    if (!Health.Ok())
        return Set(StatusOf(Health.Error()), Health.Error().Text);
    if (Health.Value().State == THealthState::Warning)
        return Set(rsWarning, Health.Value().Text.empty() ? "The broker at " + Client.Endpoint() +
                                                                " reports a warning without a reason."
                                                          : Health.Value().Text);
    return Set(rsHealthy, std::string());
}

} // namespace wdx::statshost
