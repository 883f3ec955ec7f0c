#include "monitorapi/MonitorIntf.h"

namespace wdx::monitor {

namespace {
// An interface member that hands back an interface: a success with nothing
// in it would leave the caller holding an empty reference, so it fails.
template <class T> TComPtr<T> GetIntf(_Monitor& M, HRESULT (STDMETHODCALLTYPE _Monitor::*Member)(T**)) {
    TComPtr<T> value;
    ComCheck((M.*Member)(value.Out()));
    if (!value)
        throw ECOMError(E_POINTER, u"The monitor server returned no interface.");
    return value;
}
} // namespace

TComPtr<IOmniRelay> CoOmniRelay::Create() {
    TComPtr<IOmniRelay> relay;
    ComCheck(CreateComObject(CLSID_OmniRelay, relay));
    return relay;
}

TMonitor::TMonitor() {
    const HRESULT r = GetComClass(CLSID_Monitor, FClass);
    if (r == REGDB_E_CLASSNOTREG) {
        // Said in the monitor's words on every platform; a server that
        // cannot load keeps the system's own text.
        DropComError();
        throw ECOMError(r, u"The monitor server class is not registered.");
    }
    ComCheck(r);
}

_Monitor& TMonitor::DefaultInterface() {
    if (!FIntf) {
        TComPtr<IUnknown> obj;
        ComCheck(FClass.CreateInstance(obj));
        TComPtr<_Monitor> intf;
        ComCheck(QueryInterface(*obj, intf));
        FIntf = std::move(intf);
    }
    return *FIntf;
}

std::u16string TMonitor::ErrorText() {
    return ComGet(DefaultInterface(), &_Monitor::ErrorText);
}

std::int16_t TMonitor::Connect(std::u16string& BrokerName, std::u16string& Text2, std::u16string& Text3) {
    TBStr name(BrokerName), text2(Text2), text3(Text3);
    std::int16_t result = 0;
    ComCheck(DefaultInterface().Connect(name.Ref(), text2.Ref(), text3.Ref(), &result));
    BrokerName = name.Text();
    Text2 = text2.Text();
    Text3 = text3.Text();
    return result;
}

std::int16_t TMonitor::Disconnect() {
    return ComGet(DefaultInterface(), &_Monitor::Disconnect);
}

TComPtr<_servers> TMonitor::Servers() {
    return GetIntf(DefaultInterface(), &_Monitor::Servers);
}
TComPtr<_services> TMonitor::Services() {
    return GetIntf(DefaultInterface(), &_Monitor::Services);
}
TComPtr<_server_info> TMonitor::ServerInfo() {
    return GetIntf(DefaultInterface(), &_Monitor::ServerInfo);
}
TComPtr<_server_action> TMonitor::ServerAction() {
    return GetIntf(DefaultInterface(), &_Monitor::ServerAction);
}
TComPtr<_version> TMonitor::VersionInfo() {
    return GetIntf(DefaultInterface(), &_Monitor::VersionInfo);
}
TComPtr<_params> TMonitor::Params() {
    return GetIntf(DefaultInterface(), &_Monitor::Params);
}

} // namespace wdx::monitor
