#pragma once
// The monitor's connection to one Component Broker, through the monitor
// server. It turns the server's rows into plain records and reports every
// failure the operator should see as an ENPXException, whose text
// NPXErrorText composes for the error box of the windows and for the
// programs without windows alike.
//
// Everything runs on the caller's thread; each operation is a sequence of
// synchronous calls and returns once the server has answered.

#include "common/ResText.h"
#include "monitor/MonitorStrings.h"
#include "monitorapi/MonitorIntf.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace wdx::monitor {

// Records. Texts are UTF-8, numbers as the server gave them.
struct TServer {
    std::string Name;
    std::int32_t Active = 0;
    std::int32_t Maximum = 0;
    std::int32_t Requests = 0;
    std::int32_t Queued = 0;
    std::int32_t QueueTime = 0;   // ms
    std::int32_t ServiceTime = 0; // ms
};

struct TService {
    std::string Name;
    std::int32_t Requests = 0;
    std::int32_t Queued = 0;
    std::int32_t QueueTime = 0;
    std::int32_t ServiceTime = 0;
};

// DataType and Mode are the server's codes, passed through unchanged; the
// parameter dialog turns them into words.
struct TParams {
    std::string Name;
    std::int32_t DataType = 0;
    std::int32_t Mode = 0;
    std::int32_t Precision = 0;
    std::int32_t Scale = 0;
};

struct TServerMore {
    std::string InvokedBy;
    std::int32_t Active = 0;
    std::int32_t Maximum = 0;
    std::int32_t Requests = 0;
    std::int32_t Queued = 0;
    std::int32_t QueueTime = 0;
    std::int32_t ServiceTime = 0;
};

// Lists own their records and belong to the caller; nothing in them refers
// back to the connection, so they outlive it.
using TServerList = std::vector<TServer>;
using TServiceList = std::vector<TService>;
using TParamsList = std::vector<TParams>;

// A failure the operator sees: the string-table id of the message, the name
// the failure concerns (the box's title) and the server's own explanation.
// The general message (what()) stays empty; NPXErrorText composes the text.
class ENPXException : public std::runtime_error {
public:
    ENPXException(std::int32_t MessageId, std::string Title, std::u16string Detail)
        : std::runtime_error(std::string()), MessageId(MessageId), Title(std::move(Title)),
          Detail(std::move(Detail)) {}

    std::int32_t MessageId;
    std::string Title;
    std::u16string Detail;
};

// Message ids the connection raises.
inline constexpr std::int32_t IdCannotAccessBroker = 2001;
inline constexpr std::int32_t IdCannotAccessComponents = 2002;
inline constexpr std::int32_t IdCannotAccessServices = 2003;
inline constexpr std::int32_t IdCannotAccessDetails = 2004;
inline constexpr std::int32_t IdCannotProcessAction = 2005;
inline constexpr std::int32_t IdCannotAccessTypeLibrary = 2008;

// The component whose version GetVersion reports.
inline constexpr const char16_t* VersionComponent = u"wdxappserver";

class TNPXMonitor {
public:
    // Connects to the broker: creates the monitor server wrapper (2008 when
    // that fails), connects (2001 when the broker refuses) and obtains the
    // three list interfaces. When a step after the wrapper fails, everything
    // obtained so far is closed and released, and the server is told to
    // disconnect, before the error leaves; the caller gets no connection.
    explicit TNPXMonitor(const std::u16string& BrokerName);

    // Tears down what Destroy has not; a failure here cannot be reported
    // (destructors do not throw), so owners end a connection with Destroy.
    ~TNPXMonitor();

    TNPXMonitor(const TNPXMonitor&) = delete;
    TNPXMonitor& operator=(const TNPXMonitor&) = delete;

    // Ends the connection held by Connection, which is empty afterwards
    // whatever happens. Every interface is closed and the server told to
    // disconnect even when an earlier step fails; once all is released, the
    // first failure (an ECOMError) is thrown.
    static void Destroy(std::unique_ptr<TNPXMonitor>& Connection);

    // The version text of the broker's application server, empty when the
    // server has none. Never fails.
    std::string GetVersion() noexcept;

    TServerList GetServers(); // 2002
    // The same query, each record handed to Row as it is read, for a caller
    // that keeps the list its own way. Raises as GetServers does; Row may
    // have been called by then.
    void ForEachServer(const std::function<void(TServer&&)>& Row); // 2002
    TServiceList GetServices(const std::string& ComponentName);    // 2003
    TParamsList GetParams(const std::string& ServiceName);         // 2003
    TServerMore GetServerMore(const std::string& ComponentName);   // 2004
    // Action words: "retire" (0), "setmax" (new maximum), "clear" (0); any
    // word is passed through.
    void PerformAction(const std::string& ComponentName, const std::string& Action,
                       std::int32_t Value); // 2004, 2005

private:
    // Closes the held interfaces, disconnects an activated server and
    // releases everything, going on past failures; returns the first one.
    std::exception_ptr Teardown() noexcept;

    std::unique_ptr<TMonitor> FMonitor;
    TComPtr<_servers> FServers;
    TComPtr<_services> FServices;
    TComPtr<_params> FParams;
    TComPtr<_server_action> FServerAction; // obtained on first use
    TComPtr<_server_info> FServerInfo;     // obtained on first use
};

// The text E stands for (UTF-8): the text of E.MessageId from Table, one
// blank, the detail. The blank stays even when there is no detail. The box's
// title, where there is one, is E.Title.
std::string NPXErrorText(const ENPXException& E, const common::TStringTable& Table = MonitorStrings());

} // namespace wdx::monitor
