#include "statshost/StandIns.h"

#include "monitorapi/MonitorIntf.h"
#include "statshost/StatsMonitor.h"
#include "statshost/StatsRelay.h"

namespace wdx::statshost {

using monitor::TComPtr;

namespace {
template <class T> monitor::TClassFactory FactoryOf() {
    return [](TComPtr<IUnknown>& Obj) -> HRESULT {
        Obj = monitor::MakeCom<T>();
        return S_OK;
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
