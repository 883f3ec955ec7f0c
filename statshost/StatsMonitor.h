#pragma once
// The monitor server stand-in: the _Monitor object and the list, details,
// action and version objects it hands out. Connect finds the broker's
// definition and asks the broker who it is; from then on every query is one
// request of the statistics protocol, made when the monitor asks (Open,
// Execute, the first read of a version), never in the background.
//
// All objects of one monitor server share its session, so they use the one
// kept-alive connection that Connect set up, and Disconnect ends it for all.
// They are used on one thread at a time, like every object of the monitor.
//
// Results: a query that cannot be answered gives the status -1 (or a
// non-zero ErrorCode) and keeps the reason for ErrorText; a call that makes
// no sense at that moment (a row read with no current row, any call after
// Close) is a failed THResult whose text says so.

#include "monitorapi/MonitorIntf.h"
#include "monitorapi/WideText.h"
#include "statshost/StatsClient.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace wdx::statshost {

// The connection of one monitor server object, shared with what it hands out.
class TBrokerSession {
public:
    // Null until Connect succeeds, and again after Disconnect.
    TStatsClient* Client() { return FClient ? &*FClient : nullptr; }
    void Open(TStatsClient Client) { FClient.emplace(std::move(Client)); }
    void Close() { FClient.reset(); }

private:
    std::optional<TStatsClient> FClient;
};
using TSessionPtr = std::shared_ptr<TBrokerSession>;

// The ErrorCode of a failed request: the broker's own code when it answered
// with an error, else -1 (no answer, or one that could not be used).
std::int32_t FailureCode(const TStatsError& Error);

// What every object handed out by the monitor server has: the session, the
// reason of its last failure, and the closed state.
template <class Intf> class TSessionObject : public monitor::TComObject<Intf> {
protected:
    TSessionObject(TSessionPtr Session, const char16_t* What) : FSession(std::move(Session)), FWhat(What) {}

    // Fails once Close has run.
    monitor::THResult Usable() const {
        if (FClosed)
            return monitor::THResult::Fail(u"The " + std::u16string(FWhat) + u" has been closed.");
        return {};
    }
    // The client, or null with the reason kept for ErrorText.
    TStatsClient* ClientOrFail() {
        TStatsClient* C = FSession->Client();
        if (!C)
            FErrorText = u"The monitor server is not connected to a Component Broker.";
        return C;
    }
    void Failed(const TStatsError& Error) { FErrorText = monitor::Utf8ToWide(Error.Text); }
    monitor::THResult GetErrorText(std::u16string& Value) const {
        Value = FErrorText; // readable even after Close: it may explain why
        return {};
    }
    monitor::THResult CloseOnce() {
        if (monitor::THResult R = Usable(); R.Failed())
            return R;
        FClosed = true;
        return {};
    }

    TSessionPtr FSession;
    const char16_t* FWhat;
    std::u16string FErrorText;
    bool FClosed = false;
};

// A list query: Open fetches the whole list in one request, Next walks it.
// The rows are held at once, so Next ends after as many rows as the answer
// had, and the answer itself is bounded by the client's body cap.
template <class Intf, class Row> class TRowCursor : public TSessionObject<Intf> {
protected:
    using TSessionObject<Intf>::TSessionObject;

    template <class Fetch> monitor::THResult OpenWith(Fetch Request, std::int16_t& Status);
    monitor::THResult NextRow(std::int16_t& NoMore);
    template <class T> monitor::THResult Field(T Row::*Member, std::int32_t& Value) const;
    monitor::THResult TextField(std::string Row::*Member, std::u16string& Value) const;

private:
    monitor::THResult Current(const Row*& R) const;

    std::vector<Row> FRows;
    std::size_t FCursor = 0; // 1-based; 0 before the first Next
};

class TStatsServers final : public TRowCursor<monitor::_servers, TComponentStats> {
public:
    explicit TStatsServers(TSessionPtr Session) : TRowCursor(std::move(Session), u"component list") {}
    monitor::THResult ErrorText(std::u16string& V) override { return GetErrorText(V); }
    monitor::THResult Name(std::u16string& V) override { return TextField(&TComponentStats::Name, V); }
    monitor::THResult Active(std::int32_t& V) override { return Field(&TComponentStats::Active, V); }
    monitor::THResult Maximum(std::int32_t& V) override { return Field(&TComponentStats::Maximum, V); }
    monitor::THResult Requests(std::int32_t& V) override { return Field(&TComponentStats::Requests, V); }
    monitor::THResult Queued(std::int32_t& V) override { return Field(&TComponentStats::Queued, V); }
    monitor::THResult QueueTime(std::int32_t& V) override { return Field(&TComponentStats::QueueTime, V); }
    monitor::THResult ServiceTime(std::int32_t& V) override {
        return Field(&TComponentStats::ServiceTime, V);
    }
    monitor::THResult Open(std::int16_t& Status) override;
    monitor::THResult Next(std::int16_t& NoMore) override { return NextRow(NoMore); }
    monitor::THResult Close() override { return CloseOnce(); }
};

class TStatsServices final : public TRowCursor<monitor::_services, TServiceStats> {
public:
    explicit TStatsServices(TSessionPtr Session) : TRowCursor(std::move(Session), u"service list") {}
    monitor::THResult ErrorText(std::u16string& V) override { return GetErrorText(V); }
    monitor::THResult Component(const std::u16string& V) override;
    monitor::THResult Name(std::u16string& V) override { return TextField(&TServiceStats::Name, V); }
    monitor::THResult Requests(std::int32_t& V) override { return Field(&TServiceStats::Requests, V); }
    monitor::THResult Queued(std::int32_t& V) override { return Field(&TServiceStats::Queued, V); }
    monitor::THResult QueueTime(std::int32_t& V) override { return Field(&TServiceStats::QueueTime, V); }
    monitor::THResult ServiceTime(std::int32_t& V) override { return Field(&TServiceStats::ServiceTime, V); }
    monitor::THResult Open(std::int16_t& Status) override;
    monitor::THResult Next(std::int16_t& NoMore) override { return NextRow(NoMore); }
    monitor::THResult Close() override { return CloseOnce(); }

private:
    std::string FComponent;
};

class TStatsParams final : public TRowCursor<monitor::_params, TParamInfo> {
public:
    explicit TStatsParams(TSessionPtr Session) : TRowCursor(std::move(Session), u"parameter list") {}
    monitor::THResult ErrorText(std::u16string& V) override { return GetErrorText(V); }
    monitor::THResult Service(const std::u16string& V) override;
    monitor::THResult Name(std::u16string& V) override { return TextField(&TParamInfo::Name, V); }
    monitor::THResult DataType(std::int32_t& V) override { return Field(&TParamInfo::DataType, V); }
    monitor::THResult Mode(std::int32_t& V) override { return Field(&TParamInfo::Mode, V); }
    monitor::THResult Precision(std::int32_t& V) override { return Field(&TParamInfo::Precision, V); }
    monitor::THResult Scale(std::int32_t& V) override { return Field(&TParamInfo::Scale, V); }
    monitor::THResult Open(std::int16_t& Status) override;
    monitor::THResult Next(std::int16_t& NoMore) override { return NextRow(NoMore); }
    monitor::THResult Close() override { return CloseOnce(); }

private:
    std::string FService;
};

// Open fetches the details of the component put into Component; they are
// current until the next Open, and a failed Open leaves none to read.
class TStatsServerInfo final : public TSessionObject<monitor::_server_info> {
public:
    explicit TStatsServerInfo(TSessionPtr Session)
        : TSessionObject(std::move(Session), u"component details") {}
    monitor::THResult ErrorText(std::u16string& V) override { return GetErrorText(V); }
    monitor::THResult Component(const std::u16string& V) override;
    monitor::THResult InvokedBy(std::u16string& V) override;
    monitor::THResult Active(std::int32_t& V) override { return Field(&TComponentDetails::Active, V); }
    monitor::THResult Maximum(std::int32_t& V) override { return Field(&TComponentDetails::Maximum, V); }
    monitor::THResult Requests(std::int32_t& V) override { return Field(&TComponentDetails::Requests, V); }
    monitor::THResult Queued(std::int32_t& V) override { return Field(&TComponentDetails::Queued, V); }
    monitor::THResult QueueTime(std::int32_t& V) override { return Field(&TComponentDetails::QueueTime, V); }
    monitor::THResult ServiceTime(std::int32_t& V) override {
        return Field(&TComponentDetails::ServiceTime, V);
    }
    monitor::THResult Open(std::int16_t& Status) override;
    monitor::THResult Close() override { return CloseOnce(); }

private:
    monitor::THResult Current() const;
    monitor::THResult Field(std::int32_t TComponentDetails::*Member, std::int32_t& Value) const;

    std::string FComponent;
    std::optional<TComponentDetails> FDetails;
};

// Execute sends the action put into Component, Action and Value. Until the
// next Execute, ErrorCode is 0 when it was done and non-zero when not.
class TStatsServerAction final : public TSessionObject<monitor::_server_action> {
public:
    explicit TStatsServerAction(TSessionPtr Session)
        : TSessionObject(std::move(Session), u"component action") {}
    monitor::THResult ErrorText(std::u16string& V) override { return GetErrorText(V); }
    monitor::THResult Component(const std::u16string& V) override;
    monitor::THResult Action(const std::u16string& V) override;
    monitor::THResult Value(std::int32_t NewValue) override;
    monitor::THResult ErrorCode(std::int32_t& V) override;
    monitor::THResult Execute(std::int16_t& Status) override;
    monitor::THResult Close() override { return CloseOnce(); }

private:
    std::string FComponent;
    std::string FAction;
    std::int32_t FValue = 0;
    std::int32_t FErrorCode = 0;
};

// The lookup runs on the first read of NotFound, ErrorCode or Version after
// Component was set. It has no ErrorText: a failed lookup is NotFound 0 with
// a non-zero ErrorCode, and the version is then empty.
class TStatsVersion final : public TSessionObject<monitor::_version> {
public:
    explicit TStatsVersion(TSessionPtr Session) : TSessionObject(std::move(Session), u"version lookup") {}
    monitor::THResult Component(const std::u16string& V) override;
    monitor::THResult Version(std::u16string& V) override;
    monitor::THResult ErrorCode(std::int32_t& V) override;
    monitor::THResult NotFound(std::int16_t& V) override;
    monitor::THResult Close() override { return CloseOnce(); }

private:
    monitor::THResult LookUp();

    std::string FComponent;
    bool FDone = false;
    bool FFound = false;
    std::int32_t FErrorCode = 0;
    std::string FVersion;
};

class TStatsMonitor final : public monitor::TComObject<monitor::_Monitor> {
public:
    TStatsMonitor() : FSession(std::make_shared<TBrokerSession>()) {}

    monitor::THResult ErrorText(std::u16string& Value) override;
    // Looks up BrokerName and asks the broker who it is. On success Result is
    // 0, Text2 the broker's own name and Text3 its "host:port"; otherwise -1,
    // and ErrorText says why. A connection made before ends first.
    monitor::THResult Connect(std::u16string& BrokerName, std::u16string& Text2, std::u16string& Text3,
                              std::int16_t& Result) override;
    monitor::THResult Disconnect(std::int16_t& Result) override;
    monitor::THResult Servers(monitor::TComPtr<monitor::_servers>& Value) override;
    monitor::THResult Services(monitor::TComPtr<monitor::_services>& Value) override;
    monitor::THResult ServerInfo(monitor::TComPtr<monitor::_server_info>& Value) override;
    monitor::THResult ServerAction(monitor::TComPtr<monitor::_server_action>& Value) override;
    monitor::THResult VersionInfo(monitor::TComPtr<monitor::_version>& Value) override;
    monitor::THResult Params(monitor::TComPtr<monitor::_params>& Value) override;

private:
    TSessionPtr FSession;
    std::u16string FErrorText;
};

} // namespace wdx::statshost
