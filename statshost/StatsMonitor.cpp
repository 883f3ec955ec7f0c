#include "statshost/StatsMonitor.h"

#include "statshost/BrokerLookup.h"

namespace wdx::statshost {

using monitor::TComPtr;
using monitor::THResult;
using monitor::Utf8ToWide;
using monitor::WideToUtf8;

std::int32_t FailureCode(const TStatsError& Error) {
    if (Error.Kind == TStatsFailure::BrokerError && Error.Code != 0)
        return Error.Code;
    return -1;
}

// ---- _Monitor ----

THResult TStatsMonitor::ErrorText(std::u16string& Value) {
    Value = FErrorText;
    return {};
}

THResult TStatsMonitor::Connect(std::u16string& BrokerName, std::u16string& Text2, std::u16string& Text3,
                                std::int16_t& Result) {
    FSession->Close();
    Result = -1;
    TBrokerLookup Found = FindBrokerDefinition(WideToUtf8(BrokerName));
    if (Found.Status != TLookupStatus::Found) {
        FErrorText = Utf8ToWide(Found.ErrorText);
        return {};
    }
    const TBrokerAddress& A = Found.Address;
    TStatsClient Client(A.HostName, A.Port, A.TimeOutSeconds, A.Security);
    // Asking who answers proves that a broker of this protocol is there
    // before the monitor shows anything as connected.
    auto Info = Client.GetBroker();
    if (!Info.Ok()) {
        FErrorText = Utf8ToWide(Info.Error().Text);
        return {};
    }
    Text2 = Utf8ToWide(Info.Value().Name);
    Text3 = Utf8ToWide(Client.Endpoint());
    FSession->Open(std::move(Client));
    FErrorText.clear();
    Result = 0;
    return {};
}

THResult TStatsMonitor::Disconnect(std::int16_t& Result) {
    FSession->Close();
    Result = 0;
    return {};
}

namespace {
template <class Impl, class Intf> THResult HandOut(const TSessionPtr& Session, TComPtr<Intf>& Value) {
    Value = TComPtr<Intf>(new Impl(Session));
    return {};
}
} // namespace

THResult TStatsMonitor::Servers(TComPtr<monitor::_servers>& Value) {
    return HandOut<TStatsServers>(FSession, Value);
}
THResult TStatsMonitor::Services(TComPtr<monitor::_services>& Value) {
    return HandOut<TStatsServices>(FSession, Value);
}
THResult TStatsMonitor::ServerInfo(TComPtr<monitor::_server_info>& Value) {
    return HandOut<TStatsServerInfo>(FSession, Value);
}
THResult TStatsMonitor::ServerAction(TComPtr<monitor::_server_action>& Value) {
    return HandOut<TStatsServerAction>(FSession, Value);
}
THResult TStatsMonitor::VersionInfo(TComPtr<monitor::_version>& Value) {
    return HandOut<TStatsVersion>(FSession, Value);
}
THResult TStatsMonitor::Params(TComPtr<monitor::_params>& Value) {
    return HandOut<TStatsParams>(FSession, Value);
}

// ---- _server_info ----

THResult TStatsServerInfo::Component(const std::u16string& V) {
    if (THResult R = Usable(); R.Failed())
        return R;
    FComponent = WideToUtf8(V);
    return {};
}

THResult TStatsServerInfo::Open(std::int16_t& Status) {
    if (THResult R = Usable(); R.Failed())
        return R;
    FDetails.reset();
    Status = -1;
    TStatsClient* Client = ClientOrFail();
    if (!Client)
        return {};
    auto Result = Client->GetComponentDetails(FComponent);
    if (!Result.Ok()) {
        Failed(Result.Error());
        return {};
    }
    // Another component's figures under this name would be wrong figures
    // shown as good.
    if (Result.Value().Name != FComponent) {
        FErrorText = Utf8ToWide("The broker answered with the details of \"" + Result.Value().Name +
                                "\" when asked for \"" + FComponent + "\".");
        return {};
    }
    FDetails = std::move(Result).Value();
    FErrorText.clear();
    Status = 0;
    return {};
}

THResult TStatsServerInfo::Current() const {
    if (THResult R = Usable(); R.Failed())
        return R;
    if (!FDetails)
        return THResult::Fail(u"No component details are current; Open fetches them.");
    return {};
}

THResult TStatsServerInfo::InvokedBy(std::u16string& V) {
    if (THResult R = Current(); R.Failed())
        return R;
    V = Utf8ToWide(FDetails->InvokedBy);
    return {};
}

THResult TStatsServerInfo::Field(std::int32_t TComponentDetails::*Member, std::int32_t& Value) const {
    if (THResult R = Current(); R.Failed())
        return R;
    Value = (*FDetails).*Member;
    return {};
}

// ---- _server_action ----

THResult TStatsServerAction::Component(const std::u16string& V) {
    if (THResult R = Usable(); R.Failed())
        return R;
    FComponent = WideToUtf8(V);
    return {};
}

THResult TStatsServerAction::Action(const std::u16string& V) {
    if (THResult R = Usable(); R.Failed())
        return R;
    FAction = WideToUtf8(V);
    return {};
}

THResult TStatsServerAction::Value(std::int32_t NewValue) {
    if (THResult R = Usable(); R.Failed())
        return R;
    FValue = NewValue;
    return {};
}

THResult TStatsServerAction::ErrorCode(std::int32_t& V) {
    if (THResult R = Usable(); R.Failed())
        return R;
    V = FErrorCode;
    return {};
}

THResult TStatsServerAction::Execute(std::int16_t& Status) {
    if (THResult R = Usable(); R.Failed())
        return R;
    Status = -1;
    FErrorCode = -1;
    TStatsClient* Client = ClientOrFail();
    if (!Client)
        return {};
    auto Result = Client->PerformAction(FComponent, FAction, FValue);
    if (!Result.Ok()) {
        Failed(Result.Error());
        FErrorCode = FailureCode(Result.Error());
        return {};
    }
    // The broker says what it did; anything else than what was asked is not
    // a success the operator should be told of.
    const TActionDone& Done = Result.Value();
    if (Done.Component != FComponent || Done.Action != FAction || Done.Value != FValue) {
        FErrorText =
            Utf8ToWide("The broker reports the action \"" + Done.Action + "\" with the value " +
                       std::to_string(Done.Value) + " on \"" + Done.Component + "\", not \"" + FAction +
                       "\" with " + std::to_string(FValue) + " on \"" + FComponent + "\" as asked.");
        return {};
    }
    FErrorText.clear();
    FErrorCode = 0;
    Status = 0;
    return {};
}

// ---- _version ----

THResult TStatsVersion::Component(const std::u16string& V) {
    if (THResult R = Usable(); R.Failed())
        return R;
    FComponent = WideToUtf8(V);
    FDone = false;
    return {};
}

THResult TStatsVersion::LookUp() {
    if (THResult R = Usable(); R.Failed())
        return R;
    if (FDone)
        return {};
    FDone = true;
    FFound = false;
    FVersion.clear();
    FErrorCode = -1;
    TStatsClient* Client = ClientOrFail();
    if (!Client)
        return {};
    auto Result = Client->GetVersion(FComponent);
    if (!Result.Ok()) {
        FErrorCode = FailureCode(Result.Error());
        return {};
    }
    FErrorCode = 0;
    FFound = Result.Value().Found;
    if (FFound)
        FVersion = std::move(Result).Value().Version;
    return {};
}

THResult TStatsVersion::NotFound(std::int16_t& V) {
    if (THResult R = LookUp(); R.Failed())
        return R;
    // A failed lookup is not "not found": it shows through ErrorCode.
    V = FErrorCode == 0 && !FFound ? 1 : 0;
    return {};
}

THResult TStatsVersion::ErrorCode(std::int32_t& V) {
    if (THResult R = LookUp(); R.Failed())
        return R;
    V = FErrorCode;
    return {};
}

THResult TStatsVersion::Version(std::u16string& V) {
    if (THResult R = LookUp(); R.Failed())
        return R;
    V = Utf8ToWide(FVersion);
    return {};
}

} // namespace wdx::statshost
