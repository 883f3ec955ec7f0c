#include "statshost/StandIns.h"

#include "monitorapi/MonitorIntf.h"
#include "statshost/StatsMonitor.h"
#include "statshost/StatsRelay.h"

namespace wdx::statshost {

using monitor::IComUnknown;
using monitor::TComPtr;
using monitor::THResult;

namespace {
template <class T> monitor::TClassFactory FactoryOf() {
    return [](TComPtr<IComUnknown>& Obj) {
        Obj = monitor::MakeCom<T>();
        return THResult{};
    };
}
} // namespace

monitor::TClassFactory MonitorFactory() {
    return FactoryOf<TStatsMonitor>();
}

monitor::TClassFactory RelayFactory() {
    return FactoryOf<TStatsRelay>();
}

void RegisterStandIns() {
    monitor::RegisterComClass(monitor::CLSID_Monitor, MonitorFactory());
    monitor::RegisterComClass(monitor::CLSID_OmniRelay, RelayFactory());
}

} // namespace wdx::statshost
