#pragma once
// The interfaces of the two outside components the monitor talks to: the
// Omni Relay, which checks a broker before the monitor connects, and the
// StatsHost monitor server, which answers every question about a broker's
// components, services and parameters.
//
// These are the components' own tables, slot for slot: each interface is a
// dual interface (IUnknown's three members, IDispatch's four), and its own
// members follow at the positions the components give them (noted beside
// each). A position the monitor never calls keeps its place with an unused
// entry that answers E_NOTIMPL. Texts are BSTRs: an "in" text is lent by
// the caller, an out text is a new BSTR the caller frees, and the three
// texts of Connect are the caller's, which the server may replace. Every
// 16-bit and 32-bit result is signed and comes back through an out
// argument; the HRESULT says only whether the call itself worked.
//
// An unused entry stands for a member of the component's own whose
// arguments the monitor does not know; being called through the x64
// convention, where the caller clears its own arguments, it can answer
// without knowing them.
//
// Who implements them is decided by the class table (ComFactory.h).

#include "monitorapi/ComFactory.h"
#include "monitorapi/ComSupport.h"

#include <cstdint>
#include <string>

// A position in a table that the monitor never calls.
#define WDX_UNUSED_SLOT(N)                                                                                   \
    virtual HRESULT STDMETHODCALLTYPE Unused##N() {                                                          \
        return E_NOTIMPL;                                                                                    \
    }

namespace wdx::monitor {

inline constexpr CLSID CLSID_OmniRelay = ParseGUID("{64C45F05-FFB0-4B1C-A706-1E0034EC099A}");
// The monitor server class; its default interface is _Monitor.
inline constexpr CLSID CLSID_Monitor = ParseGUID("{8BF6942C-2332-11D3-9BF4-00C04FF38315}");

// The SDK declares IUnknown and IDispatch without destructors, by design:
// an object goes by Release. Ours keep theirs protected for the same reason.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// CheckBroker answers 0 when the broker is fine; the three numbers are
// passed as 0.
class IOmniRelay : public IDispatch {
public:
    static constexpr IID Iid = ParseGUID("{5ECED3A3-79E7-4756-8617-AB762CFDEDD4}");

    virtual HRESULT STDMETHODCALLTYPE ErrorText(BSTR* Value) = 0; // 7
    virtual HRESULT STDMETHODCALLTYPE CheckBroker(BSTR BrokerName, std::int32_t Arg1, std::int32_t Arg2,
                                                  std::int32_t Arg3, std::int16_t* Code) = 0; // 8

protected:
    ~IOmniRelay() = default;
};

// One list query: Open runs it (exactly -1 is failure, explained by
// ErrorText), Next makes the next row current (0 while there is one), the
// row members read the current row. Open may run again without Close;
// Close ends the object's work and comes at most once.
class _servers : public IDispatch {
public:
    static constexpr IID Iid = ParseGUID("{8BF69430-2332-11D3-9BF4-00C04FF38315}");

    WDX_UNUSED_SLOT(7)
    virtual HRESULT STDMETHODCALLTYPE ErrorText(BSTR* Value) = 0; // 8
    WDX_UNUSED_SLOT(9)
    WDX_UNUSED_SLOT(10)
    WDX_UNUSED_SLOT(11)
    WDX_UNUSED_SLOT(12)
    WDX_UNUSED_SLOT(13)
    WDX_UNUSED_SLOT(14)
    WDX_UNUSED_SLOT(15)
    WDX_UNUSED_SLOT(16)
    WDX_UNUSED_SLOT(17)
    virtual HRESULT STDMETHODCALLTYPE Name(BSTR* Value) = 0;                // 18
    virtual HRESULT STDMETHODCALLTYPE Active(std::int32_t* Value) = 0;      // 19
    virtual HRESULT STDMETHODCALLTYPE Maximum(std::int32_t* Value) = 0;     // 20
    virtual HRESULT STDMETHODCALLTYPE Requests(std::int32_t* Value) = 0;    // 21
    virtual HRESULT STDMETHODCALLTYPE Queued(std::int32_t* Value) = 0;      // 22
    virtual HRESULT STDMETHODCALLTYPE QueueTime(std::int32_t* Value) = 0;   // 23
    virtual HRESULT STDMETHODCALLTYPE ServiceTime(std::int32_t* Value) = 0; // 24
    virtual HRESULT STDMETHODCALLTYPE Open(std::int16_t* Status) = 0;       // 25
    virtual HRESULT STDMETHODCALLTYPE Next(std::int16_t* NoMore) = 0;       // 26
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;                          // 27

protected:
    ~_servers() = default;
};

// The services of the component put into Component.
class _services : public IDispatch {
public:
    static constexpr IID Iid = ParseGUID("{8BF69432-2332-11D3-9BF4-00C04FF38315}");

    WDX_UNUSED_SLOT(7)
    virtual HRESULT STDMETHODCALLTYPE ErrorText(BSTR* Value) = 0; // 8
    WDX_UNUSED_SLOT(9)
    WDX_UNUSED_SLOT(10)
    WDX_UNUSED_SLOT(11)
    WDX_UNUSED_SLOT(12)
    WDX_UNUSED_SLOT(13)
    WDX_UNUSED_SLOT(14)
    WDX_UNUSED_SLOT(15)
    WDX_UNUSED_SLOT(16)
    WDX_UNUSED_SLOT(17)
    virtual HRESULT STDMETHODCALLTYPE Component(BSTR Value) = 0; // 18
    WDX_UNUSED_SLOT(19)
    virtual HRESULT STDMETHODCALLTYPE Name(BSTR* Value) = 0;                // 20
    virtual HRESULT STDMETHODCALLTYPE Requests(std::int32_t* Value) = 0;    // 21
    virtual HRESULT STDMETHODCALLTYPE Queued(std::int32_t* Value) = 0;      // 22
    virtual HRESULT STDMETHODCALLTYPE QueueTime(std::int32_t* Value) = 0;   // 23
    virtual HRESULT STDMETHODCALLTYPE ServiceTime(std::int32_t* Value) = 0; // 24
    virtual HRESULT STDMETHODCALLTYPE Open(std::int16_t* Status) = 0;       // 25
    virtual HRESULT STDMETHODCALLTYPE Next(std::int16_t* NoMore) = 0;       // 26
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;                          // 27

protected:
    ~_services() = default;
};

// The parameters of the service put into Service.
class _params : public IDispatch {
public:
    static constexpr IID Iid = ParseGUID("{8BF69442-2332-11D3-9BF4-00C04FF38315}");

    WDX_UNUSED_SLOT(7)
    virtual HRESULT STDMETHODCALLTYPE ErrorText(BSTR* Value) = 0; // 8
    WDX_UNUSED_SLOT(9)
    WDX_UNUSED_SLOT(10)
    WDX_UNUSED_SLOT(11)
    WDX_UNUSED_SLOT(12)
    WDX_UNUSED_SLOT(13)
    WDX_UNUSED_SLOT(14)
    WDX_UNUSED_SLOT(15)
    WDX_UNUSED_SLOT(16)
    WDX_UNUSED_SLOT(17)
    virtual HRESULT STDMETHODCALLTYPE Service(BSTR Value) = 0;            // 18
    virtual HRESULT STDMETHODCALLTYPE Name(BSTR* Value) = 0;              // 19
    virtual HRESULT STDMETHODCALLTYPE DataType(std::int32_t* Value) = 0;  // 20
    virtual HRESULT STDMETHODCALLTYPE Mode(std::int32_t* Value) = 0;      // 21
    virtual HRESULT STDMETHODCALLTYPE Precision(std::int32_t* Value) = 0; // 22
    virtual HRESULT STDMETHODCALLTYPE Scale(std::int32_t* Value) = 0;     // 23
    virtual HRESULT STDMETHODCALLTYPE Open(std::int16_t* Status) = 0;     // 24
    virtual HRESULT STDMETHODCALLTYPE Next(std::int16_t* NoMore) = 0;     // 25
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;                        // 26

protected:
    ~_params() = default;
};

// The details of the component put into Component; Open fetches them.
class _server_info : public IDispatch {
public:
    static constexpr IID Iid = ParseGUID("{8BF69434-2332-11D3-9BF4-00C04FF38315}");

    WDX_UNUSED_SLOT(7)
    virtual HRESULT STDMETHODCALLTYPE ErrorText(BSTR* Value) = 0; // 8
    WDX_UNUSED_SLOT(9)
    WDX_UNUSED_SLOT(10)
    WDX_UNUSED_SLOT(11)
    WDX_UNUSED_SLOT(12)
    WDX_UNUSED_SLOT(13)
    WDX_UNUSED_SLOT(14)
    WDX_UNUSED_SLOT(15)
    WDX_UNUSED_SLOT(16)
    WDX_UNUSED_SLOT(17)
    virtual HRESULT STDMETHODCALLTYPE Component(BSTR Value) = 0;            // 18
    virtual HRESULT STDMETHODCALLTYPE InvokedBy(BSTR* Value) = 0;           // 19
    virtual HRESULT STDMETHODCALLTYPE Active(std::int32_t* Value) = 0;      // 20
    virtual HRESULT STDMETHODCALLTYPE Maximum(std::int32_t* Value) = 0;     // 21
    virtual HRESULT STDMETHODCALLTYPE Requests(std::int32_t* Value) = 0;    // 22
    virtual HRESULT STDMETHODCALLTYPE Queued(std::int32_t* Value) = 0;      // 23
    virtual HRESULT STDMETHODCALLTYPE QueueTime(std::int32_t* Value) = 0;   // 24
    virtual HRESULT STDMETHODCALLTYPE ServiceTime(std::int32_t* Value) = 0; // 25
    WDX_UNUSED_SLOT(26)
    virtual HRESULT STDMETHODCALLTYPE Open(std::int16_t* Status) = 0; // 27
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;                    // 28

protected:
    ~_server_info() = default;
};

// An action on one component: "retire" (Value 0), "setmax" (Value = the new
// maximum) or "clear" (Value 0). After Execute, -1 or a non-zero ErrorCode
// means the action failed, as ErrorText explains.
class _server_action : public IDispatch {
public:
    static constexpr IID Iid = ParseGUID("{8BF69436-2332-11D3-9BF4-00C04FF38315}");

    WDX_UNUSED_SLOT(7)
    virtual HRESULT STDMETHODCALLTYPE ErrorText(BSTR* Value) = 0; // 8
    WDX_UNUSED_SLOT(9)
    WDX_UNUSED_SLOT(10)
    WDX_UNUSED_SLOT(11)
    WDX_UNUSED_SLOT(12)
    WDX_UNUSED_SLOT(13)
    WDX_UNUSED_SLOT(14)
    WDX_UNUSED_SLOT(15)
    WDX_UNUSED_SLOT(16)
    WDX_UNUSED_SLOT(17)
    virtual HRESULT STDMETHODCALLTYPE Component(BSTR Value) = 0;          // 18
    virtual HRESULT STDMETHODCALLTYPE Action(BSTR Value) = 0;             // 19
    virtual HRESULT STDMETHODCALLTYPE Value(std::int32_t NewValue) = 0;   // 20
    virtual HRESULT STDMETHODCALLTYPE ErrorCode(std::int32_t* Value) = 0; // 21
    virtual HRESULT STDMETHODCALLTYPE Execute(std::int16_t* Status) = 0;  // 22
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;                        // 23

protected:
    ~_server_action() = default;
};

// A version lookup for the component put into Component. A non-zero NotFound
// means no answer; a zero ErrorCode means Version holds the text. Only ever
// received from _Monitor.VersionInfo, so it needs no identifier.
class _version : public IDispatch {
public:
    WDX_UNUSED_SLOT(7)
    WDX_UNUSED_SLOT(8)
    WDX_UNUSED_SLOT(9)
    WDX_UNUSED_SLOT(10)
    WDX_UNUSED_SLOT(11)
    WDX_UNUSED_SLOT(12)
    WDX_UNUSED_SLOT(13)
    WDX_UNUSED_SLOT(14)
    WDX_UNUSED_SLOT(15)
    WDX_UNUSED_SLOT(16)
    WDX_UNUSED_SLOT(17)
    virtual HRESULT STDMETHODCALLTYPE Component(BSTR Value) = 0;          // 18
    virtual HRESULT STDMETHODCALLTYPE Version(BSTR* Value) = 0;           // 19
    virtual HRESULT STDMETHODCALLTYPE ErrorCode(std::int32_t* Value) = 0; // 20
    WDX_UNUSED_SLOT(21)
    virtual HRESULT STDMETHODCALLTYPE NotFound(std::int16_t* Value) = 0; // 22
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;                       // 23

protected:
    ~_version() = default;
};

// The monitor server itself. Connect returns exactly -1 when the broker
// refuses (reason in ErrorText); anything else means connected. The three
// texts of Connect are passed by reference: the server may replace them.
class _Monitor : public IDispatch {
public:
    static constexpr IID Iid = ParseGUID("{8BF6942E-2332-11D3-9BF4-00C04FF38315}");

    virtual HRESULT STDMETHODCALLTYPE ErrorText(BSTR* Value) = 0; // 7
    virtual HRESULT STDMETHODCALLTYPE Connect(BSTR* BrokerName, BSTR* Text2, BSTR* Text3,
                                              std::int16_t* Result) = 0;        // 8
    virtual HRESULT STDMETHODCALLTYPE Disconnect(std::int16_t* Result) = 0;     // 9
    virtual HRESULT STDMETHODCALLTYPE Servers(_servers** Value) = 0;            // 10
    virtual HRESULT STDMETHODCALLTYPE Services(_services** Value) = 0;          // 11
    virtual HRESULT STDMETHODCALLTYPE ServerInfo(_server_info** Value) = 0;     // 12
    virtual HRESULT STDMETHODCALLTYPE ServerAction(_server_action** Value) = 0; // 13
    WDX_UNUSED_SLOT(14)
    WDX_UNUSED_SLOT(15)
    virtual HRESULT STDMETHODCALLTYPE VersionInfo(_version** Value) = 0; // 16
    WDX_UNUSED_SLOT(17)
    WDX_UNUSED_SLOT(18)
    virtual HRESULT STDMETHODCALLTYPE Params(_params** Value) = 0; // 19

protected:
    ~_Monitor() = default;
};
#pragma GCC diagnostic pop

// Creates the relay object and asks it for IOmniRelay. Throws ECOMError with
// the failure's message when either step fails.
class CoOmniRelay {
public:
    static TComPtr<IOmniRelay> Create();
};

// The wrapper that holds the one _Monitor reference of a connection.
// Creating it contacts no broker: it finds the monitor server class (on
// Windows that loads the server), and throws ECOMError when the class is
// not registered or its server cannot load. The server object is created
// and asked for _Monitor on the first call made through the wrapper. Every
// call turns a failed HRESULT into an ECOMError; an interface handed back
// empty is a failure too.
class TMonitor {
public:
    TMonitor();
    TMonitor(const TMonitor&) = delete;
    TMonitor& operator=(const TMonitor&) = delete;

    // Whether the server object has been created (and so must be told to
    // disconnect).
    bool Activated() const { return bool(FIntf); }

    std::u16string ErrorText();
    std::int16_t Connect(std::u16string& BrokerName, std::u16string& Text2, std::u16string& Text3);
    std::int16_t Disconnect();
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

    TComClass FClass;
    TComPtr<_Monitor> FIntf;
};

} // namespace wdx::monitor
