#pragma once
// A scripted stand-in for the relay and the monitor server. Every call on
// every object is written to one call log ("Monitor.Connect", "servers.Open",
// "servers.Release" ...), the data and results each call gives come from a
// script the test fills in, and any call can be made to fail:
//
//     TFakeServer server;                       // registered while it lives
//     server->Servers = {{u"Comp", 1, 5}};
//     server->FailCall("servers.Queued", u"lost");
//
// Each object counts itself in LiveObjects, so a test can see that nothing
// was left unreleased. A list or details object refuses row reads without a
// current row and any call after Close, so misuse shows up as a failure.

#include "monitorapi/ComFactory.h"
#include "monitorapi/MonitorIntf.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace wdx::monitor::fake {

struct TServerRow {
    std::u16string Name;
    std::int32_t Active = 0, Maximum = 0, Requests = 0, Queued = 0, QueueTime = 0, ServiceTime = 0;
};
struct TServiceRow {
    std::u16string Name;
    std::int32_t Requests = 0, Queued = 0, QueueTime = 0, ServiceTime = 0;
};
struct TParamRow {
    std::u16string Name;
    std::int32_t DataType = 0, Mode = 0, Precision = 0, Scale = 0;
};
struct TInfoRow {
    std::u16string InvokedBy;
    std::int32_t Active = 0, Maximum = 0, Requests = 0, Queued = 0, QueueTime = 0, ServiceTime = 0;
};
struct TActionCall {
    std::u16string Component, Action;
    std::int32_t Value = 0;
};

class TFakeScript {
public:
    std::vector<std::string> Calls; // every call, in order
    int LiveObjects = 0;            // fake objects not yet freed
    // Off: calls are neither logged nor watched (benchmarks, where the log
    // would be most of the cost); scripted failures still apply.
    bool LogCalls = true;
    // Runs at each call, before its scripted result: a test looks at the
    // window while the call "blocks" it.
    std::function<void(const std::string& Call)> OnCall;

    // The next Times calls of Call fail with Message (Times < 0: every call).
    void FailCall(const std::string& Call, std::u16string Message = u"scripted failure", int Times = 1) {
        FFailures[Call] = {std::move(Message), Times};
    }
    // Whether Enter needs the call's name at all.
    bool Watching() const { return LogCalls || OnCall || !FFailures.empty(); }
    // Logs Call and gives its scripted failure, if any.
    HRESULT Enter(const std::string& Call) {
        if (LogCalls)
            Calls.push_back(Call);
        if (OnCall)
            OnCall(Call);
        auto it = FFailures.find(Call);
        if (it == FFailures.end())
            return S_OK;
        HRESULT r = ComFail(it->second.Message);
        if (it->second.Times > 0 && --it->second.Times == 0)
            FFailures.erase(it);
        return r;
    }
    std::vector<std::string> TakeCalls() { return std::exchange(Calls, {}); }

    // Relay
    std::int16_t CheckBrokerCode = 0;
    std::u16string RelayErrorText = u"relay error text";
    std::vector<std::u16string> CheckedBrokers;
    std::vector<std::int32_t> CheckArgs;

    // Monitor server. A non-empty ConnectRename is written back into the
    // broker name text, as a server may do.
    std::int16_t ConnectResult = 0;
    std::u16string ConnectRename;
    std::u16string MonitorErrorText = u"monitor error text";
    std::vector<std::u16string> ConnectTexts; // the three texts of the last Connect, as received
    std::int16_t DisconnectResult = 0;

    // Lists; services and parameters by component and service name
    // (an unknown name has no rows).
    std::vector<TServerRow> Servers;
    std::int16_t ServersOpen = 0;
    std::u16string ServersErrorText = u"servers error text";
    std::map<std::u16string, std::vector<TServiceRow>> Services;
    std::vector<std::u16string> ServicesAsked; // every Component put into _services
    std::int16_t ServicesOpen = 0;
    std::u16string ServicesErrorText = u"services error text";
    std::map<std::u16string, std::vector<TParamRow>> Params;
    std::int16_t ParamsOpen = 0;
    std::u16string ParamsErrorText = u"params error text";

    // Details; Open of an unknown component gives -1.
    std::map<std::u16string, TInfoRow> Info;
    std::int16_t InfoOpen = 0;
    std::u16string InfoErrorText = u"info error text";

    // Actions, as executed; OnExecute may change the figures above.
    std::vector<TActionCall> Actions;
    std::int16_t ExecuteResult = 0;
    std::int32_t ActionErrorCode = 0;
    std::u16string ActionErrorText = u"action error text";
    std::function<void(const TActionCall&)> OnExecute;

    // Version lookup
    std::int16_t VersionNotFound = 0;
    std::int32_t VersionErrorCode = 0;
    std::u16string Version = u"4.2.1";
    std::u16string VersionComponentSeen;

private:
    struct TFailure {
        std::u16string Message;
        int Times = 1;
    };
    std::map<std::string, TFailure> FFailures;
};

using TScriptPtr = std::shared_ptr<TFakeScript>;

// Logs under Name, counts itself live, and logs every Release.
template <class... Intfs> class TFakeObject : public TComObject<Intfs...> {
public:
    TFakeObject(TScriptPtr Script, std::string Name) : FScript(std::move(Script)), FName(std::move(Name)) {
        ++FScript->LiveObjects;
    }
    ~TFakeObject() override { --FScript->LiveObjects; }

    STDMETHODIMP QueryInterface(REFIID Iid, void** Obj) override {
        if (HRESULT r = Enter("QueryInterface"); FAILED(r))
            return r;
        return TComObject<Intfs...>::QueryInterface(Iid, Obj);
    }
    ULONG STDMETHODCALLTYPE Release() override {
        if (FScript->LogCalls)
            FScript->Calls.push_back(FName + ".Release");
        return TComObject<Intfs...>::Release();
    }

protected:
    HRESULT Enter(const char* Member) {
        return FScript->Watching() ? FScript->Enter(FName + "." + Member) : S_OK;
    }
    // Entry of a member that needs a live object.
    HRESULT EnterOpen(const char* Member) {
        if (HRESULT r = Enter(Member); FAILED(r))
            return r;
        if (FClosed)
            return ComFail(u"called after Close");
        return S_OK;
    }
    HRESULT CloseOnce() {
        if (HRESULT r = Enter("Close"); FAILED(r))
            return r;
        if (FClosed)
            return ComFail(u"closed twice");
        FClosed = true;
        return S_OK;
    }
    // An "in" text, kept as the fake's own.
    HRESULT TakeIn(const char* Member, std::u16string& To, BSTR From) {
        if (HRESULT r = EnterOpen(Member); FAILED(r))
            return r;
        To = BStrView(From);
        return S_OK;
    }
    template <class T> HRESULT TakeIn(const char* Member, T& To, const T& From) {
        if (HRESULT r = EnterOpen(Member); FAILED(r))
            return r;
        To = From;
        return S_OK;
    }
    // An out value, from the script.
    HRESULT GiveOut(const char* Member, BSTR* To, const std::u16string& From) {
        if (HRESULT r = EnterOpen(Member); FAILED(r))
            return r;
        return PutBStr(To, From);
    }
    template <class T> HRESULT GiveOut(const char* Member, T* To, const T& From) {
        if (HRESULT r = EnterOpen(Member); FAILED(r))
            return r;
        *To = From;
        return S_OK;
    }

    TScriptPtr FScript;
    std::string FName;
    bool FClosed = false;
};

// A list query over a snapshot of rows taken at Open.
template <class Intf, class Row> class TFakeList : public TFakeObject<Intf> {
public:
    using TFakeObject<Intf>::TFakeObject;

protected:
    HRESULT OpenRows(const char* Member, std::vector<Row> Rows, std::int16_t Result, std::int16_t* Status) {
        if (HRESULT r = this->EnterOpen(Member); FAILED(r))
            return r;
        FRows = std::move(Rows);
        FCursor = -1;
        *Status = Result;
        return S_OK;
    }
    HRESULT NextRow(std::int16_t* NoMore) {
        if (HRESULT r = this->EnterOpen("Next"); FAILED(r))
            return r;
        if (FCursor < std::ptrdiff_t(FRows.size()))
            ++FCursor;
        *NoMore = FCursor < std::ptrdiff_t(FRows.size()) ? 0 : 1;
        return S_OK;
    }
    // A figure or the name of the current row.
    template <class T, class Out> HRESULT Read(const char* Member, T Row::*Field, Out* Value) {
        if (FCursor < 0 || FCursor >= std::ptrdiff_t(FRows.size())) {
            if (HRESULT r = this->EnterOpen(Member); FAILED(r))
                return r;
            return ComFail(u"no current row");
        }
        return this->GiveOut(Member, Value, FRows[std::size_t(FCursor)].*Field);
    }

    std::vector<Row> FRows;
    std::ptrdiff_t FCursor = -1;
};

class TFakeServers : public TFakeList<_servers, TServerRow> {
public:
    explicit TFakeServers(TScriptPtr S) : TFakeList(std::move(S), "servers") {}
    STDMETHODIMP ErrorText(BSTR* V) override { return GiveOut("ErrorText", V, FScript->ServersErrorText); }
    STDMETHODIMP Name(BSTR* V) override { return Read("Name", &TServerRow::Name, V); }
    STDMETHODIMP Active(std::int32_t* V) override { return Read("Active", &TServerRow::Active, V); }
    STDMETHODIMP Maximum(std::int32_t* V) override { return Read("Maximum", &TServerRow::Maximum, V); }
    STDMETHODIMP Requests(std::int32_t* V) override { return Read("Requests", &TServerRow::Requests, V); }
    STDMETHODIMP Queued(std::int32_t* V) override { return Read("Queued", &TServerRow::Queued, V); }
    STDMETHODIMP QueueTime(std::int32_t* V) override { return Read("QueueTime", &TServerRow::QueueTime, V); }
    STDMETHODIMP ServiceTime(std::int32_t* V) override {
        return Read("ServiceTime", &TServerRow::ServiceTime, V);
    }
    STDMETHODIMP Open(std::int16_t* S) override {
        return OpenRows("Open", FScript->Servers, FScript->ServersOpen, S);
    }
    STDMETHODIMP Next(std::int16_t* N) override { return NextRow(N); }
    STDMETHODIMP Close() override { return CloseOnce(); }
};

class TFakeServices : public TFakeList<_services, TServiceRow> {
public:
    explicit TFakeServices(TScriptPtr S) : TFakeList(std::move(S), "services") {}
    STDMETHODIMP ErrorText(BSTR* V) override { return GiveOut("ErrorText", V, FScript->ServicesErrorText); }
    STDMETHODIMP Component(BSTR V) override {
        if (HRESULT r = TakeIn("Component", FKey, V); FAILED(r))
            return r;
        FScript->ServicesAsked.push_back(FKey);
        return S_OK;
    }
    STDMETHODIMP Name(BSTR* V) override { return Read("Name", &TServiceRow::Name, V); }
    STDMETHODIMP Requests(std::int32_t* V) override { return Read("Requests", &TServiceRow::Requests, V); }
    STDMETHODIMP Queued(std::int32_t* V) override { return Read("Queued", &TServiceRow::Queued, V); }
    STDMETHODIMP QueueTime(std::int32_t* V) override { return Read("QueueTime", &TServiceRow::QueueTime, V); }
    STDMETHODIMP ServiceTime(std::int32_t* V) override {
        return Read("ServiceTime", &TServiceRow::ServiceTime, V);
    }
    STDMETHODIMP Open(std::int16_t* S) override {
        auto it = FScript->Services.find(FKey);
        return OpenRows("Open", it == FScript->Services.end() ? std::vector<TServiceRow>{} : it->second,
                        FScript->ServicesOpen, S);
    }
    STDMETHODIMP Next(std::int16_t* N) override { return NextRow(N); }
    STDMETHODIMP Close() override { return CloseOnce(); }

private:
    std::u16string FKey;
};

class TFakeParams : public TFakeList<_params, TParamRow> {
public:
    explicit TFakeParams(TScriptPtr S) : TFakeList(std::move(S), "params") {}
    STDMETHODIMP ErrorText(BSTR* V) override { return GiveOut("ErrorText", V, FScript->ParamsErrorText); }
    STDMETHODIMP Service(BSTR V) override { return TakeIn("Service", FKey, V); }
    STDMETHODIMP Name(BSTR* V) override { return Read("Name", &TParamRow::Name, V); }
    STDMETHODIMP DataType(std::int32_t* V) override { return Read("DataType", &TParamRow::DataType, V); }
    STDMETHODIMP Mode(std::int32_t* V) override { return Read("Mode", &TParamRow::Mode, V); }
    STDMETHODIMP Precision(std::int32_t* V) override { return Read("Precision", &TParamRow::Precision, V); }
    STDMETHODIMP Scale(std::int32_t* V) override { return Read("Scale", &TParamRow::Scale, V); }
    STDMETHODIMP Open(std::int16_t* S) override {
        auto it = FScript->Params.find(FKey);
        return OpenRows("Open", it == FScript->Params.end() ? std::vector<TParamRow>{} : it->second,
                        FScript->ParamsOpen, S);
    }
    STDMETHODIMP Next(std::int16_t* N) override { return NextRow(N); }
    STDMETHODIMP Close() override { return CloseOnce(); }

private:
    std::u16string FKey;
};

// Details: Open fetches the component's figures, which are then current.
class TFakeServerInfo : public TFakeList<_server_info, TInfoRow> {
public:
    explicit TFakeServerInfo(TScriptPtr S) : TFakeList(std::move(S), "server_info") {}
    STDMETHODIMP ErrorText(BSTR* V) override { return GiveOut("ErrorText", V, FScript->InfoErrorText); }
    STDMETHODIMP Component(BSTR V) override { return TakeIn("Component", FKey, V); }
    STDMETHODIMP InvokedBy(BSTR* V) override { return Read("InvokedBy", &TInfoRow::InvokedBy, V); }
    STDMETHODIMP Active(std::int32_t* V) override { return Read("Active", &TInfoRow::Active, V); }
    STDMETHODIMP Maximum(std::int32_t* V) override { return Read("Maximum", &TInfoRow::Maximum, V); }
    STDMETHODIMP Requests(std::int32_t* V) override { return Read("Requests", &TInfoRow::Requests, V); }
    STDMETHODIMP Queued(std::int32_t* V) override { return Read("Queued", &TInfoRow::Queued, V); }
    STDMETHODIMP QueueTime(std::int32_t* V) override { return Read("QueueTime", &TInfoRow::QueueTime, V); }
    STDMETHODIMP ServiceTime(std::int32_t* V) override {
        return Read("ServiceTime", &TInfoRow::ServiceTime, V);
    }
    STDMETHODIMP Open(std::int16_t* S) override {
        auto it = FScript->Info.find(FKey);
        bool known = it != FScript->Info.end();
        HRESULT r = OpenRows("Open", known ? std::vector<TInfoRow>{it->second} : std::vector<TInfoRow>{},
                             known ? FScript->InfoOpen : std::int16_t(-1), S);
        if (SUCCEEDED(r))
            FCursor = 0; // the figures are current at once
        return r;
    }
    STDMETHODIMP Close() override { return CloseOnce(); }

private:
    std::u16string FKey;
};

class TFakeServerAction : public TFakeObject<_server_action> {
public:
    explicit TFakeServerAction(TScriptPtr S) : TFakeObject(std::move(S), "server_action") {}
    STDMETHODIMP ErrorText(BSTR* V) override { return GiveOut("ErrorText", V, FScript->ActionErrorText); }
    STDMETHODIMP Component(BSTR V) override { return TakeIn("Component", FCall.Component, V); }
    STDMETHODIMP Action(BSTR V) override { return TakeIn("Action", FCall.Action, V); }
    STDMETHODIMP Value(std::int32_t V) override { return TakeIn("Value", FCall.Value, V); }
    STDMETHODIMP ErrorCode(std::int32_t* V) override {
        return GiveOut("ErrorCode", V, FScript->ActionErrorCode);
    }
    STDMETHODIMP Execute(std::int16_t* S) override {
        if (HRESULT r = EnterOpen("Execute"); FAILED(r))
            return r;
        FScript->Actions.push_back(FCall);
        if (FScript->OnExecute)
            FScript->OnExecute(FCall);
        *S = FScript->ExecuteResult;
        return S_OK;
    }
    STDMETHODIMP Close() override { return CloseOnce(); }

private:
    TActionCall FCall;
};

class TFakeVersion : public TFakeObject<_version> {
public:
    explicit TFakeVersion(TScriptPtr S) : TFakeObject(std::move(S), "version") {}
    STDMETHODIMP Component(BSTR V) override { return TakeIn("Component", FScript->VersionComponentSeen, V); }
    STDMETHODIMP Version(BSTR* V) override { return GiveOut("Version", V, FScript->Version); }
    STDMETHODIMP ErrorCode(std::int32_t* V) override {
        return GiveOut("ErrorCode", V, FScript->VersionErrorCode);
    }
    STDMETHODIMP NotFound(std::int16_t* V) override {
        return GiveOut("NotFound", V, FScript->VersionNotFound);
    }
    STDMETHODIMP Close() override { return CloseOnce(); }
};

// The monitor server: each interface member hands out a new object.
class TFakeMonitor : public TFakeObject<_Monitor> {
public:
    explicit TFakeMonitor(TScriptPtr S) : TFakeObject(std::move(S), "Monitor") {}
    STDMETHODIMP ErrorText(BSTR* V) override {
        if (HRESULT r = Enter("ErrorText"); FAILED(r))
            return r;
        return PutBStr(V, FScript->MonitorErrorText);
    }
    STDMETHODIMP Connect(BSTR* Name, BSTR* Text2, BSTR* Text3, std::int16_t* Result) override {
        if (HRESULT r = Enter("Connect"); FAILED(r))
            return r;
        FScript->ConnectTexts = {std::u16string(BStrView(*Name)), std::u16string(BStrView(*Text2)),
                                 std::u16string(BStrView(*Text3))};
        HRESULT r = FScript->ConnectRename.empty() ? S_OK : ReplaceBStr(Name, FScript->ConnectRename);
        if (SUCCEEDED(r))
            r = ReplaceBStr(Text2, u"written by the server");
        if (SUCCEEDED(r))
            r = ReplaceBStr(Text3, u"written by the server");
        *Result = FScript->ConnectResult;
        return r;
    }
    STDMETHODIMP Disconnect(std::int16_t* Result) override {
        if (HRESULT r = Enter("Disconnect"); FAILED(r))
            return r;
        *Result = FScript->DisconnectResult;
        return S_OK;
    }
    STDMETHODIMP Servers(_servers** V) override { return Make<TFakeServers>("Servers", V); }
    STDMETHODIMP Services(_services** V) override { return Make<TFakeServices>("Services", V); }
    STDMETHODIMP ServerInfo(_server_info** V) override { return Make<TFakeServerInfo>("ServerInfo", V); }
    STDMETHODIMP ServerAction(_server_action** V) override {
        return Make<TFakeServerAction>("ServerAction", V);
    }
    STDMETHODIMP VersionInfo(_version** V) override { return Make<TFakeVersion>("VersionInfo", V); }
    STDMETHODIMP Params(_params** V) override { return Make<TFakeParams>("Params", V); }

private:
    template <class T, class I> HRESULT Make(const char* Member, I** Out) {
        if (HRESULT r = Enter(Member); FAILED(r))
            return r;
        return HandOutNew<T>(Out, FScript); // the one reference goes to the caller
    }
};

class TFakeRelay : public TFakeObject<IOmniRelay> {
public:
    explicit TFakeRelay(TScriptPtr S) : TFakeObject(std::move(S), "Relay") {}
    STDMETHODIMP ErrorText(BSTR* V) override {
        if (HRESULT r = Enter("ErrorText"); FAILED(r))
            return r;
        return PutBStr(V, FScript->RelayErrorText);
    }
    STDMETHODIMP CheckBroker(BSTR Name, std::int32_t A1, std::int32_t A2, std::int32_t A3,
                             std::int16_t* Code) override {
        if (HRESULT r = Enter("CheckBroker"); FAILED(r))
            return r;
        FScript->CheckedBrokers.emplace_back(BStrView(Name));
        FScript->CheckArgs.insert(FScript->CheckArgs.end(), {A1, A2, A3});
        *Code = FScript->CheckBrokerCode;
        return S_OK;
    }
};

// Registers the fake relay and monitor server for as long as it lives; each
// creation is logged as "Monitor.Create" or "Relay.Create" and can be made
// to fail like any call.
class TFakeServer {
public:
    TFakeServer()
        : FScript(std::make_shared<TFakeScript>()),
          FMonitorClass(CLSID_Monitor, Factory<TFakeMonitor>("Monitor")),
          FRelayClass(CLSID_OmniRelay, Factory<TFakeRelay>("Relay")) {}

    TFakeScript& Script() { return *FScript; }
    TFakeScript* operator->() { return FScript.get(); }

private:
    template <class T> TClassFactory Factory(std::string Name) {
        return [Script = FScript, Name](TComPtr<IUnknown>& Obj) -> HRESULT {
            if (HRESULT r = Script->Enter(Name + ".Create"); FAILED(r))
                return r;
            Obj = TComPtr<IUnknown>(new T(Script));
            return S_OK;
        };
    }

    TScriptPtr FScript;
    TClassRegistrationScope FMonitorClass;
    TClassRegistrationScope FRelayClass;
};

} // namespace wdx::monitor::fake
