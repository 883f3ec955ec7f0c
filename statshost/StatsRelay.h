#pragma once
// The relay stand-in: CheckBroker finds the broker's definition and asks the
// broker for its health, in one request bounded by the definition's
// time-out. The codes are TRelayStatus (StandIns.h); ErrorText explains the
// last one.

#include "monitorapi/MonitorIntf.h"

#include <cstdint>
#include <string>

namespace wdx::statshost {

class TStatsRelay final : public monitor::TComObject<monitor::IOmniRelay> {
public:
    STDMETHODIMP ErrorText(BSTR* Value) override;
    // The three numbers are not used; callers pass 0.
    STDMETHODIMP CheckBroker(BSTR BrokerName, std::int32_t Arg1, std::int32_t Arg2, std::int32_t Arg3,
                             std::int16_t* Code) override;

private:
    std::u16string FErrorText;
};

} // namespace wdx::statshost
