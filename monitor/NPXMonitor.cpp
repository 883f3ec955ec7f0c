#include "NPXMonitor.h"

#include "monitorapi/WideText.h"

namespace wdx::monitor {

namespace {
// The message of the exception being handled, for a failure that is caught
// whatever it was.
std::u16string CurrentFailureText() {
    try {
        throw;
    } catch (const std::exception& e) {
        return Utf8ToWide(e.what());
    } catch (...) {
        return u"Unknown failure.";
    }
}

// An 8-bit text passed in to the monitor server.
TBStr InText(const std::string& Text) {
    return TBStr(Utf8ToWide(Text));
}
} // namespace

TNPXMonitor::TNPXMonitor(const std::u16string& BrokerName) {
    try {
        FMonitor = std::make_unique<TMonitor>();
    } catch (...) {
        throw ENPXException(IdCannotAccessTypeLibrary, WideToUtf8(BrokerName), CurrentFailureText());
    }
    try {
        // The server may write into all three texts; only the name is read back.
        std::u16string name = BrokerName, text2, text3;
        if (FMonitor->Connect(name, text2, text3) == -1)
            throw ENPXException(IdCannotAccessBroker, WideToUtf8(name), FMonitor->ErrorText());
        FServers = FMonitor->Servers();
        FServices = FMonitor->Services();
        FParams = FMonitor->Params();
    } catch (...) {
        // The failure that stopped the connect is the one the caller hears
        // of; one in the teardown after it would only hide it.
        (void)Teardown();
        throw;
    }
}

TNPXMonitor::~TNPXMonitor() {
    (void)Teardown();
}

void TNPXMonitor::Destroy(std::unique_ptr<TNPXMonitor>& Connection) {
    std::unique_ptr<TNPXMonitor> conn = std::move(Connection);
    if (!conn)
        return;
    std::exception_ptr failure = conn->Teardown();
    conn.reset();
    if (failure)
        std::rethrow_exception(failure);
}

std::exception_ptr TNPXMonitor::Teardown() noexcept {
    std::exception_ptr first;
    auto step = [&first](auto&& Call) {
        try {
            Call();
        } catch (...) {
            if (!first)
                first = std::current_exception();
        }
    };
    // A failed close must not keep the server from hearing the disconnect.
    if (FServers)
        step([this] { ComCheck(FServers->Close()); });
    if (FServices)
        step([this] { ComCheck(FServices->Close()); });
    if (FParams)
        step([this] { ComCheck(FParams->Close()); });
    if (FServerAction)
        step([this] { ComCheck(FServerAction->Close()); });
    if (FServerInfo)
        step([this] { ComCheck(FServerInfo->Close()); });
    if (FMonitor && FMonitor->Activated())
        step([this] { (void)FMonitor->Disconnect(); });
    FServers.Reset();
    FServices.Reset();
    FParams.Reset();
    FServerAction.Reset();
    FServerInfo.Reset();
    FMonitor.reset();
    return first;
}

std::string TNPXMonitor::GetVersion() noexcept {
    std::string result;
    try {
        TComPtr<_version> version = FMonitor->VersionInfo();
        ComCheck(version->Component(TBStr(VersionComponent).Get()));
        if (ComGet(*version, &_version::NotFound) != 0)
            return result;
        if (ComGet(*version, &_version::ErrorCode) == 0)
            result = ComGetUtf8(*version, &_version::Version);
        ComCheck(version->Close());
    } catch (...) {
        // No version is shown rather than failing the connect over it.
        DropComError();
    }
    return result;
}

TServerList TNPXMonitor::GetServers() {
    TServerList list;
    ForEachServer([&list](TServer&& Row) { list.push_back(std::move(Row)); });
    return list;
}

void TNPXMonitor::ForEachServer(const std::function<void(TServer&&)>& Row) {
    _servers& q = *FServers;
    if (ComGet(q, &_servers::Open) == -1)
        throw ENPXException(IdCannotAccessComponents, std::string(), ComGet(q, &_servers::ErrorText));
    while (ComGet(q, &_servers::Next) == 0) {
        // The name is made in its place, not moved there.
        TServer r{.Name = ComGetUtf8(q, &_servers::Name)};
        r.Maximum = ComGet(q, &_servers::Maximum);
        r.Active = ComGet(q, &_servers::Active);
        r.Requests = ComGet(q, &_servers::Requests);
        r.Queued = ComGet(q, &_servers::Queued);
        r.QueueTime = ComGet(q, &_servers::QueueTime);
        r.ServiceTime = ComGet(q, &_servers::ServiceTime);
        Row(std::move(r));
    }
}

TServiceList TNPXMonitor::GetServices(const std::string& ComponentName) {
    _services& q = *FServices;
    TServiceList list;
    ComCheck(q.Component(InText(ComponentName).Get()));
    if (ComGet(q, &_services::Open) == -1)
        throw ENPXException(IdCannotAccessServices, ComponentName, ComGet(q, &_services::ErrorText));
    while (ComGet(q, &_services::Next) == 0) {
        TService r{.Name = ComGetUtf8(q, &_services::Name)};
        r.Requests = ComGet(q, &_services::Requests);
        r.Queued = ComGet(q, &_services::Queued);
        r.QueueTime = ComGet(q, &_services::QueueTime);
        r.ServiceTime = ComGet(q, &_services::ServiceTime);
        list.push_back(std::move(r));
    }
    return list;
}

TParamsList TNPXMonitor::GetParams(const std::string& ServiceName) {
    _params& q = *FParams;
    TParamsList list;
    ComCheck(q.Service(InText(ServiceName).Get()));
    if (ComGet(q, &_params::Open) == -1)
        throw ENPXException(IdCannotAccessServices, ServiceName, ComGet(q, &_params::ErrorText));
    while (ComGet(q, &_params::Next) == 0) {
        TParams r{.Name = ComGetUtf8(q, &_params::Name)};
        r.Mode = ComGet(q, &_params::Mode);
        r.DataType = ComGet(q, &_params::DataType);
        r.Scale = ComGet(q, &_params::Scale);
        r.Precision = ComGet(q, &_params::Precision);
        list.push_back(std::move(r));
    }
    return list;
}

TServerMore TNPXMonitor::GetServerMore(const std::string& ComponentName) {
    if (!FServerInfo) {
        // Held only once obtained, so a failed attempt is tried again next time.
        try {
            FServerInfo = FMonitor->ServerInfo();
        } catch (...) {
            throw ENPXException(IdCannotAccessDetails, ComponentName, FMonitor->ErrorText());
        }
    }
    _server_info& q = *FServerInfo;
    std::int16_t status = 0;
    try {
        ComCheck(q.Component(InText(ComponentName).Get()));
        status = ComGet(q, &_server_info::Open);
    } catch (...) {
        throw ENPXException(IdCannotAccessDetails, ComponentName, ComGet(q, &_server_info::ErrorText));
    }
    if (status == -1)
        throw ENPXException(IdCannotAccessDetails, ComponentName, ComGet(q, &_server_info::ErrorText));
    TServerMore r;
    r.InvokedBy = ComGetUtf8(q, &_server_info::InvokedBy);
    r.Active = ComGet(q, &_server_info::Active);
    r.Maximum = ComGet(q, &_server_info::Maximum);
    r.Requests = ComGet(q, &_server_info::Requests);
    r.Queued = ComGet(q, &_server_info::Queued);
    r.QueueTime = ComGet(q, &_server_info::QueueTime);
    r.ServiceTime = ComGet(q, &_server_info::ServiceTime);
    return r;
}

void TNPXMonitor::PerformAction(const std::string& ComponentName, const std::string& Action,
                                std::int32_t Value) {
    if (!FServerAction) {
        try {
            FServerAction = FMonitor->ServerAction();
        } catch (...) {
            throw ENPXException(IdCannotAccessDetails, ComponentName, FMonitor->ErrorText());
        }
    }
    _server_action& q = *FServerAction;
    std::int16_t status = 0;
    try {
        ComCheck(q.Component(InText(ComponentName).Get()));
        ComCheck(q.Action(InText(Action).Get()));
        ComCheck(q.Value(Value));
        status = ComGet(q, &_server_action::Execute);
    } catch (...) {
        throw ENPXException(IdCannotProcessAction, ComponentName, ComGet(q, &_server_action::ErrorText));
    }
    // The server may report a failed action through the code alone.
    std::int32_t code = ComGet(q, &_server_action::ErrorCode);
    if (status == -1 || code != 0)
        throw ENPXException(IdCannotProcessAction, ComponentName, ComGet(q, &_server_action::ErrorText));
}

std::string NPXErrorText(const ENPXException& E, const common::TStringTable& Table) {
    return WideToUtf8(common::LoadResText(Table, E.MessageId)) + " " + WideToUtf8(E.Detail);
}

} // namespace wdx::monitor
