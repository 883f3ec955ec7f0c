#include "monitorapi/MonitorIntf.h"

namespace wdx::monitor {

namespace {
// An interface member that hands back an interface: a success with nothing
// in it would leave the caller holding an empty reference, so it fails.
template <class T> TComPtr<T> GetIntf(_Monitor& M, THResult (_Monitor::*Member)(TComPtr<T>&)) {
    TComPtr<T> value;
    ComCheck((M.*Member)(value));
    if (!value)
        throw ECOMError(ErrPointer, u"The monitor server returned no interface.");
    return value;
}
} // namespace

TComPtr<IOmniRelay> CoOmniRelay::Create() {
    TComPtr<IOmniRelay> relay;
    ComCheck(CreateComObject(CLSID_OmniRelay, relay));
    return relay;
}

TMonitor::TMonitor() {
    if (!IsClassRegistered(CLSID_Monitor))
        throw ECOMError(ErrClassNotRegistered, u"The monitor server class is not registered.");
}

_Monitor& TMonitor::DefaultInterface() {
    if (!FIntf) {
        TComPtr<_Monitor> intf;
        ComCheck(CreateComObject(CLSID_Monitor, intf));
        FIntf = std::move(intf);
    }
    return *FIntf;
}

std::u16string TMonitor::ErrorText() {
    return ComGet(DefaultInterface(), &_Monitor::ErrorText);
}

int16_t TMonitor::Connect(std::u16string& BrokerName, std::u16string& Text2, std::u16string& Text3) {
    int16_t result = 0;
    ComCheck(DefaultInterface().Connect(BrokerName, Text2, Text3, result));
    return result;
}

int16_t TMonitor::Disconnect() {
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
