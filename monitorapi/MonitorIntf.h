#pragma once
// The interfaces of the two outside components the monitor talks to: the
// Omni Relay, which checks a broker before the monitor connects, and the
// StatsHost monitor server, which answers every question about a broker's
// components, services and parameters.
//
// Members are declared in the order of their positions in the components'
// tables (noted beside each); positions the monitor never calls are left
// out. Texts are wide (UTF-16); "in" texts are passed by value semantics
// (const reference), the three texts of Connect by reference. Every 16-bit
// and 32-bit result is signed and comes back through an out argument; the
// status says only whether the call itself worked.
//
// Like IComUnknown's, every interface's destructor is protected: an object goes
// by Release, never by deleting an interface pointer.
//
// Who implements them is decided by the class table (ComFactory.h).

#include "monitorapi/ComFactory.h"
#include "monitorapi/ComSupport.h"

#include <cstdint>
#include <memory>
#include <string>

namespace wdx::monitor {

using std::int16_t;
using std::int32_t;

inline constexpr TGUID CLSID_OmniRelay = TGUID::Parse("{64C45F05-FFB0-4B1C-A706-1E0034EC099A}");
// The monitor server class; its default interface is _Monitor.
inline constexpr TGUID CLSID_Monitor = TGUID::Parse("{8BF6942C-2332-11D3-9BF4-00C04FF38315}");

class IOmniRelay : public IComUnknown {
public:
    static constexpr TGUID IID = TGUID::Parse("{5ECED3A3-79E7-4756-8617-AB762CFDEDD4}");

    virtual THResult ErrorText(std::u16string& Value) = 0; // 7
    // 0 when the broker is fine. The three numbers are passed as 0.
    virtual THResult CheckBroker(const std::u16string& BrokerName, int32_t Arg1, int32_t Arg2, int32_t Arg3,
                                 int16_t& Code) = 0; // 8

protected:
    ~IOmniRelay() = default;
};

// One list query: Open runs it (exactly -1 is failure, explained by
// ErrorText), Next makes the next row current (0 while there is one), the
// row members read the current row. Open may run again without Close;
// Close ends the object's work and comes at most once.
class _servers : public IComUnknown {
public:
    static constexpr TGUID IID = TGUID::Parse("{8BF69430-2332-11D3-9BF4-00C04FF38315}");

    virtual THResult ErrorText(std::u16string& Value) = 0; // 8
    virtual THResult Name(std::u16string& Value) = 0;      // 18
    virtual THResult Active(int32_t& Value) = 0;           // 19
    virtual THResult Maximum(int32_t& Value) = 0;          // 20
    virtual THResult Requests(int32_t& Value) = 0;         // 21
    virtual THResult Queued(int32_t& Value) = 0;           // 22
    virtual THResult QueueTime(int32_t& Value) = 0;        // 23
    virtual THResult ServiceTime(int32_t& Value) = 0;      // 24
    virtual THResult Open(int16_t& Status) = 0;            // 25
    virtual THResult Next(int16_t& NoMore) = 0;            // 26
    virtual THResult Close() = 0;                          // 27

protected:
    ~_servers() = default;
};

// The services of the component put into Component.
class _services : public IComUnknown {
public:
    static constexpr TGUID IID = TGUID::Parse("{8BF69432-2332-11D3-9BF4-00C04FF38315}");

    virtual THResult ErrorText(std::u16string& Value) = 0;       // 8
    virtual THResult Component(const std::u16string& Value) = 0; // 18
    virtual THResult Name(std::u16string& Value) = 0;            // 20
    virtual THResult Requests(int32_t& Value) = 0;               // 21
    virtual THResult Queued(int32_t& Value) = 0;                 // 22
    virtual THResult QueueTime(int32_t& Value) = 0;              // 23
    virtual THResult ServiceTime(int32_t& Value) = 0;            // 24
    virtual THResult Open(int16_t& Status) = 0;                  // 25
    virtual THResult Next(int16_t& NoMore) = 0;                  // 26
    virtual THResult Close() = 0;                                // 27

protected:
    ~_services() = default;
};

// The parameters of the service put into Service.
class _params : public IComUnknown {
public:
    static constexpr TGUID IID = TGUID::Parse("{8BF69442-2332-11D3-9BF4-00C04FF38315}");

    virtual THResult ErrorText(std::u16string& Value) = 0;     // 8
    virtual THResult Service(const std::u16string& Value) = 0; // 18
    virtual THResult Name(std::u16string& Value) = 0;          // 19
    virtual THResult DataType(int32_t& Value) = 0;             // 20
    virtual THResult Mode(int32_t& Value) = 0;                 // 21
    virtual THResult Precision(int32_t& Value) = 0;            // 22
    virtual THResult Scale(int32_t& Value) = 0;                // 23
    virtual THResult Open(int16_t& Status) = 0;                // 24
    virtual THResult Next(int16_t& NoMore) = 0;                // 25
    virtual THResult Close() = 0;                              // 26

protected:
    ~_params() = default;
};

// The details of the component put into Component; Open fetches them.
class _server_info : public IComUnknown {
public:
    static constexpr TGUID IID = TGUID::Parse("{8BF69434-2332-11D3-9BF4-00C04FF38315}");

    virtual THResult ErrorText(std::u16string& Value) = 0;       // 8
    virtual THResult Component(const std::u16string& Value) = 0; // 18
    virtual THResult InvokedBy(std::u16string& Value) = 0;       // 19
    virtual THResult Active(int32_t& Value) = 0;                 // 20
    virtual THResult Maximum(int32_t& Value) = 0;                // 21
    virtual THResult Requests(int32_t& Value) = 0;               // 22
    virtual THResult Queued(int32_t& Value) = 0;                 // 23
    virtual THResult QueueTime(int32_t& Value) = 0;              // 24
    virtual THResult ServiceTime(int32_t& Value) = 0;            // 25
    virtual THResult Open(int16_t& Status) = 0;                  // 27
    virtual THResult Close() = 0;                                // 28

protected:
    ~_server_info() = default;
};

// An action on one component: "retire" (Value 0), "setmax" (Value = the new
// maximum) or "clear" (Value 0). After Execute, -1 or a non-zero ErrorCode
// means the action failed, as ErrorText explains.
class _server_action : public IComUnknown {
public:
    static constexpr TGUID IID = TGUID::Parse("{8BF69436-2332-11D3-9BF4-00C04FF38315}");

    virtual THResult ErrorText(std::u16string& Value) = 0;       // 8
    virtual THResult Component(const std::u16string& Value) = 0; // 18
    virtual THResult Action(const std::u16string& Value) = 0;    // 19
    virtual THResult Value(int32_t NewValue) = 0;                // 20
    virtual THResult ErrorCode(int32_t& Value) = 0;              // 21
    virtual THResult Execute(int16_t& Status) = 0;               // 22
    virtual THResult Close() = 0;                                // 23

protected:
    ~_server_action() = default;
};

// A version lookup for the component put into Component. A non-zero NotFound
// means no answer; a zero ErrorCode means Version holds the text. Only ever
// received from _Monitor.VersionInfo, so it needs no identifier.
class _version : public IComUnknown {
public:
    virtual THResult Component(const std::u16string& Value) = 0; // 18
    virtual THResult Version(std::u16string& Value) = 0;         // 19
    virtual THResult ErrorCode(int32_t& Value) = 0;              // 20
    virtual THResult NotFound(int16_t& Value) = 0;               // 22
    virtual THResult Close() = 0;                                // 23

protected:
    ~_version() = default;
};

// The monitor server itself. Connect returns exactly -1 when the broker
// refuses (reason in ErrorText); anything else means connected.
class _Monitor : public IComUnknown {
public:
    static constexpr TGUID IID = TGUID::Parse("{8BF6942E-2332-11D3-9BF4-00C04FF38315}");

    virtual THResult ErrorText(std::u16string& Value) = 0; // 7
    virtual THResult Connect(std::u16string& BrokerName, std::u16string& Text2, std::u16string& Text3,
                             int16_t& Result) = 0;                     // 8
    virtual THResult Disconnect(int16_t& Result) = 0;                  // 9
    virtual THResult Servers(TComPtr<_servers>& Value) = 0;            // 10
    virtual THResult Services(TComPtr<_services>& Value) = 0;          // 11
    virtual THResult ServerInfo(TComPtr<_server_info>& Value) = 0;     // 12
    virtual THResult ServerAction(TComPtr<_server_action>& Value) = 0; // 13
    virtual THResult VersionInfo(TComPtr<_version>& Value) = 0;        // 16
    virtual THResult Params(TComPtr<_params>& Value) = 0;              // 19

protected:
    ~_Monitor() = default;
};

// Creates the relay object and asks it for IOmniRelay. Throws ECOMError with
// the failure's message when either step fails.
class CoOmniRelay {
public:
    static TComPtr<IOmniRelay> Create();
};

// The wrapper that holds the one _Monitor reference of a connection.
// Creating it contacts nothing: it only checks that the monitor server class
// is known (ECOMError otherwise). The server object is created and asked for
// _Monitor on the first call made through the wrapper. Every call turns a
// failed status into an ECOMError; an interface handed back empty is a
// failure too.
class TMonitor {
public:
    TMonitor();
    TMonitor(const TMonitor&) = delete;
    TMonitor& operator=(const TMonitor&) = delete;

    // Whether the server object has been created (and so must be told to
    // disconnect).
    bool Activated() const { return bool(FIntf); }

    std::u16string ErrorText();
    int16_t Connect(std::u16string& BrokerName, std::u16string& Text2, std::u16string& Text3);
    int16_t Disconnect();
    TComPtr<_servers> Servers();
    TComPtr<_services> Services();
    TComPtr<_server_info> ServerInfo();
    TComPtr<_server_action> ServerAction();
    TComPtr<_version> VersionInfo();
    TComPtr<_params> Params();

    // Lets the server object go; the wrapper is inactive again.
    void Release() { FIntf.Reset(); }

private:
    _Monitor& DefaultInterface();

    TComPtr<_Monitor> FIntf;
};

// Reads one out value of an interface member, throwing ECOMError on failure.
template <class T, class I> T ComGet(I& Intf, THResult (I::*Member)(T&)) {
    T value{};
    ComCheck((Intf.*Member)(value));
    return value;
}

} // namespace wdx::monitor
