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
    THResult Enter(const std::string& Call) {
        if (LogCalls)
            Calls.push_back(Call);
        if (OnCall)
            OnCall(Call);
        auto it = FFailures.find(Call);
        if (it == FFailures.end())
            return {};
        THResult r = THResult::Fail(it->second.Message);
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

    THResult QueryInterface(const TGUID& IID, void** Obj) override {
        if (THResult r = Enter("QueryInterface"); r.Failed())
            return r;
        return TComObject<Intfs...>::QueryInterface(IID, Obj);
    }
    std::uint32_t Release() override {
        if (FScript->LogCalls)
            FScript->Calls.push_back(FName + ".Release");
        return TComObject<Intfs...>::Release();
    }

protected:
    THResult Enter(const char* Member) {
        return FScript->Watching() ? FScript->Enter(FName + "." + Member) : THResult{};
    }
    // Entry of a member that needs a live object.
    THResult EnterOpen(const char* Member) {
        if (THResult r = Enter(Member); r.Failed())
            return r;
        if (FClosed)
            return THResult::Fail(u"called after Close");
        return {};
    }
    THResult CloseOnce() {
        if (THResult r = Enter("Close"); r.Failed())
            return r;
        if (FClosed)
            return THResult::Fail(u"closed twice");
        FClosed = true;
        return {};
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
    THResult OpenRows(const char* Member, std::vector<Row> Rows, std::int16_t Result, std::int16_t& Status) {
        if (THResult r = this->EnterOpen(Member); r.Failed())
            return r;
        FRows = std::move(Rows);
        FCursor = -1;
        Status = Result;
        return {};
    }
    THResult NextRow(std::int16_t& NoMore) {
        if (THResult r = this->EnterOpen("Next"); r.Failed())
            return r;
        if (FCursor < std::ptrdiff_t(FRows.size()))
            ++FCursor;
        NoMore = FCursor < std::ptrdiff_t(FRows.size()) ? 0 : 1;
        return {};
    }
    template <class T> THResult Read(const char* Member, T Row::*Field, T& Value) {
        if (THResult r = this->EnterOpen(Member); r.Failed())
            return r;
        if (FCursor < 0 || FCursor >= std::ptrdiff_t(FRows.size()))
            return THResult::Fail(u"no current row");
        Value = FRows[std::size_t(FCursor)].*Field;
        return {};
    }
    THResult Text(const char* Member, const std::u16string& Value, std::u16string& Out) {
        if (THResult r = this->EnterOpen(Member); r.Failed())
            return r;
        Out = Value;
        return {};
    }

    std::vector<Row> FRows;
    std::ptrdiff_t FCursor = -1;
};

class TFakeServers : public TFakeList<_servers, TServerRow> {
public:
    explicit TFakeServers(TScriptPtr S) : TFakeList(std::move(S), "servers") {}
    THResult ErrorText(std::u16string& V) override { return Text("ErrorText", FScript->ServersErrorText, V); }
    THResult Name(std::u16string& V) override { return Read("Name", &TServerRow::Name, V); }
    THResult Active(std::int32_t& V) override { return Read("Active", &TServerRow::Active, V); }
    THResult Maximum(std::int32_t& V) override { return Read("Maximum", &TServerRow::Maximum, V); }
    THResult Requests(std::int32_t& V) override { return Read("Requests", &TServerRow::Requests, V); }
    THResult Queued(std::int32_t& V) override { return Read("Queued", &TServerRow::Queued, V); }
    THResult QueueTime(std::int32_t& V) override { return Read("QueueTime", &TServerRow::QueueTime, V); }
    THResult ServiceTime(std::int32_t& V) override {
        return Read("ServiceTime", &TServerRow::ServiceTime, V);
    }
    THResult Open(std::int16_t& S) override {
        return OpenRows("Open", FScript->Servers, FScript->ServersOpen, S);
    }
    THResult Next(std::int16_t& N) override { return NextRow(N); }
    THResult Close() override { return CloseOnce(); }
};

class TFakeServices : public TFakeList<_services, TServiceRow> {
public:
    explicit TFakeServices(TScriptPtr S) : TFakeList(std::move(S), "services") {}
    THResult ErrorText(std::u16string& V) override {
        return Text("ErrorText", FScript->ServicesErrorText, V);
    }
    THResult Component(const std::u16string& V) override {
        if (THResult r = EnterOpen("Component"); r.Failed())
            return r;
        FKey = V;
        FScript->ServicesAsked.push_back(V);
        return {};
    }
    THResult Name(std::u16string& V) override { return Read("Name", &TServiceRow::Name, V); }
    THResult Requests(std::int32_t& V) override { return Read("Requests", &TServiceRow::Requests, V); }
    THResult Queued(std::int32_t& V) override { return Read("Queued", &TServiceRow::Queued, V); }
    THResult QueueTime(std::int32_t& V) override { return Read("QueueTime", &TServiceRow::QueueTime, V); }
    THResult ServiceTime(std::int32_t& V) override {
        return Read("ServiceTime", &TServiceRow::ServiceTime, V);
    }
    THResult Open(std::int16_t& S) override {
        auto it = FScript->Services.find(FKey);
        return OpenRows("Open", it == FScript->Services.end() ? std::vector<TServiceRow>{} : it->second,
                        FScript->ServicesOpen, S);
    }
    THResult Next(std::int16_t& N) override { return NextRow(N); }
    THResult Close() override { return CloseOnce(); }

private:
    std::u16string FKey;
};

class TFakeParams : public TFakeList<_params, TParamRow> {
public:
    explicit TFakeParams(TScriptPtr S) : TFakeList(std::move(S), "params") {}
    THResult ErrorText(std::u16string& V) override { return Text("ErrorText", FScript->ParamsErrorText, V); }
    THResult Service(const std::u16string& V) override {
        if (THResult r = EnterOpen("Service"); r.Failed())
            return r;
        FKey = V;
        return {};
    }
    THResult Name(std::u16string& V) override { return Read("Name", &TParamRow::Name, V); }
    THResult DataType(std::int32_t& V) override { return Read("DataType", &TParamRow::DataType, V); }
    THResult Mode(std::int32_t& V) override { return Read("Mode", &TParamRow::Mode, V); }
    THResult Precision(std::int32_t& V) override { return Read("Precision", &TParamRow::Precision, V); }
    THResult Scale(std::int32_t& V) override { return Read("Scale", &TParamRow::Scale, V); }
    THResult Open(std::int16_t& S) override {
        auto it = FScript->Params.find(FKey);
        return OpenRows("Open", it == FScript->Params.end() ? std::vector<TParamRow>{} : it->second,
                        FScript->ParamsOpen, S);
    }
    THResult Next(std::int16_t& N) override { return NextRow(N); }
    THResult Close() override { return CloseOnce(); }

private:
    std::u16string FKey;
};

// Details: Open fetches the component's figures, which are then current.
class TFakeServerInfo : public TFakeList<_server_info, TInfoRow> {
public:
    explicit TFakeServerInfo(TScriptPtr S) : TFakeList(std::move(S), "server_info") {}
    THResult ErrorText(std::u16string& V) override { return Text("ErrorText", FScript->InfoErrorText, V); }
    THResult Component(const std::u16string& V) override {
        if (THResult r = EnterOpen("Component"); r.Failed())
            return r;
        FKey = V;
        return {};
    }
    THResult InvokedBy(std::u16string& V) override { return Read("InvokedBy", &TInfoRow::InvokedBy, V); }
    THResult Active(std::int32_t& V) override { return Read("Active", &TInfoRow::Active, V); }
    THResult Maximum(std::int32_t& V) override { return Read("Maximum", &TInfoRow::Maximum, V); }
    THResult Requests(std::int32_t& V) override { return Read("Requests", &TInfoRow::Requests, V); }
    THResult Queued(std::int32_t& V) override { return Read("Queued", &TInfoRow::Queued, V); }
    THResult QueueTime(std::int32_t& V) override { return Read("QueueTime", &TInfoRow::QueueTime, V); }
    THResult ServiceTime(std::int32_t& V) override { return Read("ServiceTime", &TInfoRow::ServiceTime, V); }
    THResult Open(std::int16_t& S) override {
        auto it = FScript->Info.find(FKey);
        bool known = it != FScript->Info.end();
        THResult r = OpenRows("Open", known ? std::vector<TInfoRow>{it->second} : std::vector<TInfoRow>{},
                              known ? FScript->InfoOpen : std::int16_t(-1), S);
        if (r.Succeeded())
            FCursor = 0; // the figures are current at once
        return r;
    }
    THResult Close() override { return CloseOnce(); }

private:
    std::u16string FKey;
};

class TFakeServerAction : public TFakeObject<_server_action> {
public:
    explicit TFakeServerAction(TScriptPtr S) : TFakeObject(std::move(S), "server_action") {}
    THResult ErrorText(std::u16string& V) override { return Put("ErrorText", V, FScript->ActionErrorText); }
    THResult Component(const std::u16string& V) override { return Put("Component", FCall.Component, V); }
    THResult Action(const std::u16string& V) override { return Put("Action", FCall.Action, V); }
    THResult Value(std::int32_t V) override { return Put("Value", FCall.Value, V); }
    THResult ErrorCode(std::int32_t& V) override { return Put("ErrorCode", V, FScript->ActionErrorCode); }
    THResult Execute(std::int16_t& S) override {
        if (THResult r = EnterOpen("Execute"); r.Failed())
            return r;
        FScript->Actions.push_back(FCall);
        if (FScript->OnExecute)
            FScript->OnExecute(FCall);
        S = FScript->ExecuteResult;
        return {};
    }
    THResult Close() override { return CloseOnce(); }

private:
    template <class T> THResult Put(const char* Member, T& To, const T& From) {
        if (THResult r = EnterOpen(Member); r.Failed())
            return r;
        To = From;
        return {};
    }
    TActionCall FCall;
};

class TFakeVersion : public TFakeObject<_version> {
public:
    explicit TFakeVersion(TScriptPtr S) : TFakeObject(std::move(S), "version") {}
    THResult Component(const std::u16string& V) override {
        return Put("Component", FScript->VersionComponentSeen, V);
    }
    THResult Version(std::u16string& V) override { return Put("Version", V, FScript->Version); }
    THResult ErrorCode(std::int32_t& V) override { return Put("ErrorCode", V, FScript->VersionErrorCode); }
    THResult NotFound(std::int16_t& V) override { return Put("NotFound", V, FScript->VersionNotFound); }
    THResult Close() override { return CloseOnce(); }

private:
    template <class T> THResult Put(const char* Member, T& To, const T& From) {
        if (THResult r = EnterOpen(Member); r.Failed())
            return r;
        To = From;
        return {};
    }
};

// The monitor server: each interface member hands out a new object.
class TFakeMonitor : public TFakeObject<_Monitor> {
public:
    explicit TFakeMonitor(TScriptPtr S) : TFakeObject(std::move(S), "Monitor") {}
    THResult ErrorText(std::u16string& V) override {
        if (THResult r = Enter("ErrorText"); r.Failed())
            return r;
        V = FScript->MonitorErrorText;
        return {};
    }
    THResult Connect(std::u16string& Name, std::u16string& Text2, std::u16string& Text3,
                     std::int16_t& Result) override {
        if (THResult r = Enter("Connect"); r.Failed())
            return r;
        FScript->ConnectTexts = {Name, Text2, Text3};
        if (!FScript->ConnectRename.empty())
            Name = FScript->ConnectRename;
        Text2 = u"written by the server";
        Text3 = u"written by the server";
        Result = FScript->ConnectResult;
        return {};
    }
    THResult Disconnect(std::int16_t& Result) override {
        if (THResult r = Enter("Disconnect"); r.Failed())
            return r;
        Result = FScript->DisconnectResult;
        return {};
    }
    THResult Servers(TComPtr<_servers>& V) override { return Make<TFakeServers>("Servers", V); }
    THResult Services(TComPtr<_services>& V) override { return Make<TFakeServices>("Services", V); }
    THResult ServerInfo(TComPtr<_server_info>& V) override { return Make<TFakeServerInfo>("ServerInfo", V); }
    THResult ServerAction(TComPtr<_server_action>& V) override {
        return Make<TFakeServerAction>("ServerAction", V);
    }
    THResult VersionInfo(TComPtr<_version>& V) override { return Make<TFakeVersion>("VersionInfo", V); }
    THResult Params(TComPtr<_params>& V) override { return Make<TFakeParams>("Params", V); }

private:
    template <class T, class I> THResult Make(const char* Member, TComPtr<I>& Out) {
        if (THResult r = Enter(Member); r.Failed())
            return r;
        Out = TComPtr<I>(new T(FScript)); // the one reference goes to the caller
        return {};
    }
};

class TFakeRelay : public TFakeObject<IOmniRelay> {
public:
    explicit TFakeRelay(TScriptPtr S) : TFakeObject(std::move(S), "Relay") {}
    THResult ErrorText(std::u16string& V) override {
        if (THResult r = Enter("ErrorText"); r.Failed())
            return r;
        V = FScript->RelayErrorText;
        return {};
    }
    THResult CheckBroker(const std::u16string& Name, std::int32_t A1, std::int32_t A2, std::int32_t A3,
                         std::int16_t& Code) override {
        if (THResult r = Enter("CheckBroker"); r.Failed())
            return r;
        FScript->CheckedBrokers.push_back(Name);
        FScript->CheckArgs.insert(FScript->CheckArgs.end(), {A1, A2, A3});
        Code = FScript->CheckBrokerCode;
        return {};
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
        return [Script = FScript, Name](TComPtr<IComUnknown>& Obj) {
            if (THResult r = Script->Enter(Name + ".Create"); r.Failed())
                return r;
            Obj = TComPtr<IComUnknown>(new T(Script));
            return THResult{};
        };
    }

    TScriptPtr FScript;
    TClassRegistrationScope FMonitorClass;
    TClassRegistrationScope FRelayClass;
};

} // namespace wdx::monitor::fake
