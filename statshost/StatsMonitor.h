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
// Close) is a failed HRESULT whose text (ComFail) says so, and a missing out
// argument is E_POINTER.

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
    HRESULT Usable() const { return FClosed ? ClosedFailure() : S_OK; }
    // The client, or null with the reason kept for ErrorText.
    TStatsClient* ClientOrFail() {
        TStatsClient* C = FSession->Client();
        if (!C)
            FErrorText = u"The monitor server is not connected to a Component Broker.";
        return C;
    }
    void Failed(const TStatsError& Error) { FErrorText = monitor::Utf8ToWide(Error.Text); }
    HRESULT GetErrorText(BSTR* Value) const {
        return monitor::PutBStr(Value, FErrorText); // readable even after Close: it may explain why
    }
    HRESULT CloseOnce() {
        if (HRESULT R = Usable(); FAILED(R))
            return R;
        FClosed = true;
        return S_OK;
    }

    // Out of line: the checks above are made on every call of a row's
    // fields, the failure hardly ever.
    [[gnu::noinline]] HRESULT ClosedFailure() const {
        return monitor::ComFail(u"The " + std::u16string(FWhat) + u" has been closed.");
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

    template <class Fetch> HRESULT OpenWith(Fetch Request, std::int16_t* Status);
    HRESULT NextRow(std::int16_t* NoMore);
    template <class T> HRESULT Field(T Row::*Member, std::int32_t* Value) const;
    HRESULT TextField(std::string Row::*Member, BSTR* Value) const;

private:
    // Out of line, as they are hardly ever taken: the reads above test for
    // the common case at once and leave the rest to these. Next past the
    // last row (or failing), and why a field cannot be read: the cursor is
    // closed, it has no current row, or else the value has nowhere to go.
    [[gnu::noinline]] HRESULT NoNextRow(std::int16_t* NoMore);
    [[gnu::noinline]] HRESULT FieldFailure() const;

    std::vector<Row> FRows;
    std::size_t FCursor = 0;       // 1-based; 0 before the first Next
    const Row* FCurrent = nullptr; // the row Next made current, if any
};

class TStatsServers final : public TRowCursor<monitor::_servers, TComponentStats> {
public:
    explicit TStatsServers(TSessionPtr Session) : TRowCursor(std::move(Session), u"component list") {}
    STDMETHODIMP ErrorText(BSTR* V) override { return GetErrorText(V); }
    STDMETHODIMP Name(BSTR* V) override { return TextField(&TComponentStats::Name, V); }
    STDMETHODIMP Active(std::int32_t* V) override { return Field(&TComponentStats::Active, V); }
    STDMETHODIMP Maximum(std::int32_t* V) override { return Field(&TComponentStats::Maximum, V); }
    STDMETHODIMP Requests(std::int32_t* V) override { return Field(&TComponentStats::Requests, V); }
    STDMETHODIMP Queued(std::int32_t* V) override { return Field(&TComponentStats::Queued, V); }
    STDMETHODIMP QueueTime(std::int32_t* V) override { return Field(&TComponentStats::QueueTime, V); }
    STDMETHODIMP ServiceTime(std::int32_t* V) override { return Field(&TComponentStats::ServiceTime, V); }
    STDMETHODIMP Open(std::int16_t* Status) override;
    STDMETHODIMP Next(std::int16_t* NoMore) override { return NextRow(NoMore); }
    STDMETHODIMP Close() override { return CloseOnce(); }
};

class TStatsServices final : public TRowCursor<monitor::_services, TServiceStats> {
public:
    explicit TStatsServices(TSessionPtr Session) : TRowCursor(std::move(Session), u"service list") {}
    STDMETHODIMP ErrorText(BSTR* V) override { return GetErrorText(V); }
    STDMETHODIMP Component(BSTR V) override;
    STDMETHODIMP Name(BSTR* V) override { return TextField(&TServiceStats::Name, V); }
    STDMETHODIMP Requests(std::int32_t* V) override { return Field(&TServiceStats::Requests, V); }
    STDMETHODIMP Queued(std::int32_t* V) override { return Field(&TServiceStats::Queued, V); }
    STDMETHODIMP QueueTime(std::int32_t* V) override { return Field(&TServiceStats::QueueTime, V); }
    STDMETHODIMP ServiceTime(std::int32_t* V) override { return Field(&TServiceStats::ServiceTime, V); }
    STDMETHODIMP Open(std::int16_t* Status) override;
    STDMETHODIMP Next(std::int16_t* NoMore) override { return NextRow(NoMore); }
    STDMETHODIMP Close() override { return CloseOnce(); }

private:
    std::string FComponent;
};

class TStatsParams final : public TRowCursor<monitor::_params, TParamInfo> {
public:
    explicit TStatsParams(TSessionPtr Session) : TRowCursor(std::move(Session), u"parameter list") {}
    STDMETHODIMP ErrorText(BSTR* V) override { return GetErrorText(V); }
    STDMETHODIMP Service(BSTR V) override;
    STDMETHODIMP Name(BSTR* V) override { return TextField(&TParamInfo::Name, V); }
    STDMETHODIMP DataType(std::int32_t* V) override { return Field(&TParamInfo::DataType, V); }
    STDMETHODIMP Mode(std::int32_t* V) override { return Field(&TParamInfo::Mode, V); }
    STDMETHODIMP Precision(std::int32_t* V) override { return Field(&TParamInfo::Precision, V); }
    STDMETHODIMP Scale(std::int32_t* V) override { return Field(&TParamInfo::Scale, V); }
    STDMETHODIMP Open(std::int16_t* Status) override;
    STDMETHODIMP Next(std::int16_t* NoMore) override { return NextRow(NoMore); }
    STDMETHODIMP Close() override { return CloseOnce(); }

private:
    std::string FService;
};

// Open fetches the details of the component put into Component; they are
// current until the next Open, and a failed Open leaves none to read.
class TStatsServerInfo final : public TSessionObject<monitor::_server_info> {
public:
    explicit TStatsServerInfo(TSessionPtr Session)
        : TSessionObject(std::move(Session), u"component details") {}
    STDMETHODIMP ErrorText(BSTR* V) override { return GetErrorText(V); }
    STDMETHODIMP Component(BSTR V) override;
    STDMETHODIMP InvokedBy(BSTR* V) override;
    STDMETHODIMP Active(std::int32_t* V) override { return Field(&TComponentDetails::Active, V); }
    STDMETHODIMP Maximum(std::int32_t* V) override { return Field(&TComponentDetails::Maximum, V); }
    STDMETHODIMP Requests(std::int32_t* V) override { return Field(&TComponentDetails::Requests, V); }
    STDMETHODIMP Queued(std::int32_t* V) override { return Field(&TComponentDetails::Queued, V); }
    STDMETHODIMP QueueTime(std::int32_t* V) override { return Field(&TComponentDetails::QueueTime, V); }
    STDMETHODIMP ServiceTime(std::int32_t* V) override { return Field(&TComponentDetails::ServiceTime, V); }
    STDMETHODIMP Open(std::int16_t* Status) override;
    STDMETHODIMP Close() override { return CloseOnce(); }

private:
    HRESULT Current() const;
    HRESULT Field(std::int32_t TComponentDetails::*Member, std::int32_t* Value) const;

    std::string FComponent;
    std::optional<TComponentDetails> FDetails;
};

// Execute sends the action put into Component, Action and Value. Until the
// next Execute, ErrorCode is 0 when it was done and non-zero when not.
class TStatsServerAction final : public TSessionObject<monitor::_server_action> {
public:
    explicit TStatsServerAction(TSessionPtr Session)
        : TSessionObject(std::move(Session), u"component action") {}
    STDMETHODIMP ErrorText(BSTR* V) override { return GetErrorText(V); }
    STDMETHODIMP Component(BSTR V) override;
    STDMETHODIMP Action(BSTR V) override;
    STDMETHODIMP Value(std::int32_t NewValue) override;
    STDMETHODIMP ErrorCode(std::int32_t* V) override;
    STDMETHODIMP Execute(std::int16_t* Status) override;
    STDMETHODIMP Close() override { return CloseOnce(); }

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
    STDMETHODIMP Component(BSTR V) override;
    STDMETHODIMP Version(BSTR* V) override;
    STDMETHODIMP ErrorCode(std::int32_t* V) override;
    STDMETHODIMP NotFound(std::int16_t* V) override;
    STDMETHODIMP Close() override { return CloseOnce(); }

private:
    HRESULT LookUp();

    std::string FComponent;
    bool FDone = false;
    bool FFound = false;
    std::int32_t FErrorCode = 0;
    std::string FVersion;
};

class TStatsMonitor final : public monitor::TComObject<monitor::_Monitor> {
public:
    TStatsMonitor() : FSession(std::make_shared<TBrokerSession>()) {}

    STDMETHODIMP ErrorText(BSTR* Value) override;
    // Looks up BrokerName and asks the broker who it is. On success Result is
    // 0, Text2 the broker's own name and Text3 its "host:port"; otherwise -1,
    // and ErrorText says why. A connection made before ends first.
    STDMETHODIMP Connect(BSTR* BrokerName, BSTR* Text2, BSTR* Text3, std::int16_t* Result) override;
    STDMETHODIMP Disconnect(std::int16_t* Result) override;
    STDMETHODIMP Servers(monitor::_servers** Value) override;
    STDMETHODIMP Services(monitor::_services** Value) override;
    STDMETHODIMP ServerInfo(monitor::_server_info** Value) override;
    STDMETHODIMP ServerAction(monitor::_server_action** Value) override;
    STDMETHODIMP VersionInfo(monitor::_version** Value) override;
    STDMETHODIMP Params(monitor::_params** Value) override;

private:
    TSessionPtr FSession;
    std::u16string FErrorText;
};

} // namespace wdx::statshost
