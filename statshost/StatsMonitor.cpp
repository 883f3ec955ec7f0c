#include "statshost/StatsMonitor.h"

#include "statshost/BrokerLookup.h"

namespace wdx::statshost {

using monitor::ComFail;
using monitor::PutBStr;
using monitor::Utf8ToWide;

std::int32_t FailureCode(const TStatsError& Error) {
    if (Error.Kind == TStatsFailure::BrokerError && Error.Code != 0)
        return Error.Code;
    return -1;
}

// ---- _Monitor ----

HRESULT TStatsMonitor::ErrorText(BSTR* Value) {
    return PutBStr(Value, FErrorText);
}

HRESULT TStatsMonitor::Connect(BSTR* BrokerName, BSTR* Text2, BSTR* Text3, std::int16_t* Result) {
    if (!BrokerName || !Text2 || !Text3 || !Result)
        return E_POINTER;
    FSession->Close();
    *Result = -1;
    TBrokerLookup Found = FindBrokerDefinition(monitor::BStrUtf8(*BrokerName));
    if (Found.Status != TLookupStatus::Found) {
        FErrorText = Utf8ToWide(Found.ErrorText);
        return S_OK;
    }
    const TBrokerAddress& A = Found.Address;
    TStatsClient Client(A.HostName, A.Port, A.TimeOutSeconds, A.Security);
    // Asking who answers proves that a broker of this protocol is there
    // before the monitor shows anything as connected.
    auto Info = Client.GetBroker();
    if (!Info.Ok()) {
        FErrorText = Utf8ToWide(Info.Error().Text);
        return S_OK;
    }
    if (HRESULT R = monitor::ReplaceBStr(Text2, Utf8ToWide(Info.Value().Name)); FAILED(R))
        return R;
    if (HRESULT R = monitor::ReplaceBStr(Text3, Utf8ToWide(Client.Endpoint())); FAILED(R))
        return R;
    FSession->Open(std::move(Client));
    FErrorText.clear();
    *Result = 0;
    return S_OK;
}

HRESULT TStatsMonitor::Disconnect(std::int16_t* Result) {
    if (!Result)
        return E_POINTER;
    FSession->Close();
    *Result = 0;
    return S_OK;
}

namespace {
template <class Impl, class Intf> HRESULT HandOut(const TSessionPtr& Session, Intf** Value) {
    return monitor::HandOutNew<Impl>(Value, Session);
}
} // namespace

HRESULT TStatsMonitor::Servers(monitor::_servers** Value) {
    return HandOut<TStatsServers>(FSession, Value);
}
HRESULT TStatsMonitor::Services(monitor::_services** Value) {
    return HandOut<TStatsServices>(FSession, Value);
}
HRESULT TStatsMonitor::ServerInfo(monitor::_server_info** Value) {
    return HandOut<TStatsServerInfo>(FSession, Value);
}
HRESULT TStatsMonitor::ServerAction(monitor::_server_action** Value) {
    return HandOut<TStatsServerAction>(FSession, Value);
}
HRESULT TStatsMonitor::VersionInfo(monitor::_version** Value) {
    return HandOut<TStatsVersion>(FSession, Value);
}
HRESULT TStatsMonitor::Params(monitor::_params** Value) {
    return HandOut<TStatsParams>(FSession, Value);
}

// ---- _server_info ----

HRESULT TStatsServerInfo::Component(BSTR V) {
    if (HRESULT R = Usable(); FAILED(R))
        return R;
    FComponent = monitor::BStrUtf8(V);
    return S_OK;
}

HRESULT TStatsServerInfo::Open(std::int16_t* Status) {
    if (HRESULT R = Usable(); FAILED(R))
        return R;
    if (!Status)
        return E_POINTER;
    FDetails.reset();
    *Status = -1;
    TStatsClient* Client = ClientOrFail();
    if (!Client)
        return S_OK;
    auto Result = Client->GetComponentDetails(FComponent);
    if (!Result.Ok()) {
        Failed(Result.Error());
        return S_OK;
    }
    // Another component's figures under this name would be wrong figures
    // shown as good.
    if (Result.Value().Name != FComponent) {
        FErrorText = Utf8ToWide("The broker answered with the details of \"" + Result.Value().Name +
                                "\" when asked for \"" + FComponent + "\".");
        return S_OK;
    }
    FDetails = std::move(Result).Value();
    FErrorText.clear();
    *Status = 0;
    return S_OK;
}

HRESULT TStatsServerInfo::Current() const {
    if (HRESULT R = Usable(); FAILED(R))
        return R;
    if (!FDetails)
        return ComFail(u"No component details are current; Open fetches them.");
    return S_OK;
}

HRESULT TStatsServerInfo::InvokedBy(BSTR* V) {
    if (HRESULT R = Current(); FAILED(R))
        return R;
    return PutBStr(V, Utf8ToWide(FDetails->InvokedBy));
}

HRESULT TStatsServerInfo::Field(std::int32_t TComponentDetails::*Member, std::int32_t* Value) const {
    if (HRESULT R = Current(); FAILED(R))
        return R;
    if (!Value)
        return E_POINTER;
    *Value = (*FDetails).*Member;
    return S_OK;
}

// ---- _server_action ----

HRESULT TStatsServerAction::Component(BSTR V) {
    if (HRESULT R = Usable(); FAILED(R))
        return R;
    FComponent = monitor::BStrUtf8(V);
    return S_OK;
}

HRESULT TStatsServerAction::Action(BSTR V) {
    if (HRESULT R = Usable(); FAILED(R))
        return R;
    FAction = monitor::BStrUtf8(V);
    return S_OK;
}

HRESULT TStatsServerAction::Value(std::int32_t NewValue) {
    if (HRESULT R = Usable(); FAILED(R))
        return R;
    FValue = NewValue;
    return S_OK;
}

HRESULT TStatsServerAction::ErrorCode(std::int32_t* V) {
    if (HRESULT R = Usable(); FAILED(R))
        return R;
    if (!V)
        return E_POINTER;
    *V = FErrorCode;
    return S_OK;
}

HRESULT TStatsServerAction::Execute(std::int16_t* Status) {
    if (HRESULT R = Usable(); FAILED(R))
        return R;
    if (!Status)
        return E_POINTER;
    *Status = -1;
    FErrorCode = -1;
    TStatsClient* Client = ClientOrFail();
    if (!Client)
        return S_OK;
    auto Result = Client->PerformAction(FComponent, FAction, FValue);
    if (!Result.Ok()) {
        Failed(Result.Error());
        FErrorCode = FailureCode(Result.Error());
        return S_OK;
    }
    // The broker says what it did; anything else than what was asked is not
    // a success the operator should be told of.
    const TActionDone& Done = Result.Value();
    if (Done.Component != FComponent || Done.Action != FAction || Done.Value != FValue) {
        FErrorText =
            Utf8ToWide("The broker reports the action \"" + Done.Action + "\" with the value " +
                       std::to_string(Done.Value) + " on \"" + Done.Component + "\", not \"" + FAction +
                       "\" with " + std::to_string(FValue) + " on \"" + FComponent + "\" as asked.");
        return S_OK;
    }
    FErrorText.clear();
    FErrorCode = 0;
    *Status = 0;
    return S_OK;
}

// ---- _version ----

HRESULT TStatsVersion::Component(BSTR V) {
    if (HRESULT R = Usable(); FAILED(R))
        return R;
    FComponent = monitor::BStrUtf8(V);
    FDone = false;
    return S_OK;
}

HRESULT TStatsVersion::LookUp() {
    if (HRESULT R = Usable(); FAILED(R))
        return R;
    if (FDone)
        return S_OK;
    FDone = true;
    FFound = false;
    FVersion.clear();
    FErrorCode = -1;
    TStatsClient* Client = ClientOrFail();
    if (!Client)
        return S_OK;
    auto Result = Client->GetVersion(FComponent);
    if (!Result.Ok()) {
        FErrorCode = FailureCode(Result.Error());
        return S_OK;
    }
    FErrorCode = 0;
    FFound = Result.Value().Found;
    if (FFound)
        FVersion = std::move(Result).Value().Version;
    return S_OK;
}

HRESULT TStatsVersion::NotFound(std::int16_t* V) {
    if (HRESULT R = LookUp(); FAILED(R))
        return R;
    if (!V)
        return E_POINTER;
    // A failed lookup is not "not found": it shows through ErrorCode.
    *V = FErrorCode == 0 && !FFound ? 1 : 0;
    return S_OK;
}

HRESULT TStatsVersion::ErrorCode(std::int32_t* V) {
    if (HRESULT R = LookUp(); FAILED(R))
        return R;
    if (!V)
        return E_POINTER;
    *V = FErrorCode;
    return S_OK;
}

HRESULT TStatsVersion::Version(BSTR* V) {
    if (HRESULT R = LookUp(); FAILED(R))
        return R;
    return PutBStr(V, Utf8ToWide(FVersion));
}

} // namespace wdx::statshost
