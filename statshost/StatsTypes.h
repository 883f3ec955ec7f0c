#pragma once
// Answers of a broker's statistics endpoint as plain values, and the result
// type every request of the statistics client returns.
//
// Figures are kept in the width the monitor's interfaces give them: counts and
// times as 32-bit signed integers, parameter codes as 16-bit signed integers.
// The decoder refuses a figure that does not fit rather than wrapping it.

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace wdx::statshost {

// One component with its live counters (the component list).
struct TComponentStats {
    std::string Name;
    int32_t Active = 0;
    int32_t Maximum = 0;
    int32_t Requests = 0;
    int32_t Queued = 0;
    int32_t QueueTime = 0;   // average, ms
    int32_t ServiceTime = 0; // average, ms
    bool operator==(const TComponentStats&) const = default;
};

// One service of a component.
struct TServiceStats {
    std::string Name;
    int32_t Requests = 0;
    int32_t Queued = 0;
    int32_t QueueTime = 0;
    int32_t ServiceTime = 0;
    bool operator==(const TServiceStats&) const = default;
};

// One parameter of a service. The codes pass through as the broker sends
// them; the windows turn them into words.
struct TParamInfo {
    std::string Name;
    int16_t DataType = 0; // 1 char, 2 number, 3 date, 4 boolean, 5 binary
    int16_t Mode = 0;     // 1 Input, 2 Output, 3 In/Out, 5 Result
    int16_t Precision = 0;
    int16_t Scale = 0;
    bool operator==(const TParamInfo&) const = default;
};

// The details of one component.
struct TComponentDetails {
    std::string Name;
    std::string InvokedBy;
    int32_t Active = 0;
    int32_t Maximum = 0;
    int32_t Requests = 0;
    int32_t Queued = 0;
    int32_t QueueTime = 0;
    int32_t ServiceTime = 0;
    bool operator==(const TComponentDetails&) const = default;
};

// Who the broker is and which protocol version it speaks.
struct TBrokerInfo {
    std::string Name;
    int32_t Protocol = 0;
};

enum class THealthState { Healthy, Warning };

// The broker's own judgement of its state, for the check before connecting.
struct THealth {
    THealthState State = THealthState::Healthy;
    std::string Text; // empty when healthy
};

// The answer to a performed action: what the broker says it did.
struct TActionDone {
    std::string Component;
    std::string Action;
    int32_t Value = 0;
};

// The version of one named component. Found is false when the broker does
// not know the component.
struct TVersionInfo {
    bool Found = false;
    std::string Version;
};

// How a client reaches its broker beyond host and port, from the broker
// definition: TLS (1.2 or later, the broker's certificate and host name
// checked against the system's trusted certificates or CaFile), and a bearer
// token read from TokenFile. All off: plain HTTP, as protocol version 1
// began.
struct TTransportSettings {
    bool UseTls = false;
    std::string CaFile;    // empty: the system's trusted certificates
    std::string TokenFile; // empty: no token is sent
};

enum class TStatsFailure {
    InvalidArgument, // the request could not be made from what the caller gave
    Connect,         // no connection (refused, host unknown, unreachable)
    TimeOut,         // the whole exchange did not finish within the deadline
    Transport,       // the connection broke off or the answer was not HTTP
    TooLarge,        // the answer is larger than the body cap
    BrokerError,     // the broker answered with an error status and text
    Malformed,       // the answer is not what the protocol says
};

// Why a request failed. Text is a complete sentence for the operator; it is
// what the monitor's interfaces report as their error text.
struct TStatsError {
    TStatsFailure Kind = TStatsFailure::Transport;
    int HttpStatus = 0; // the answer's status when one arrived, else 0
    int32_t Code = 0;   // the broker's error code for BrokerError, else 0
    std::string Text;
};

// Either the decoded answer or the failure; never both, never neither.
template <class T> class TStatsResult {
public:
    TStatsResult(T Value) : FData(std::in_place_index<0>, std::move(Value)) {}
    TStatsResult(TStatsError Error) : FData(std::in_place_index<1>, std::move(Error)) {}

    bool Ok() const { return FData.index() == 0; }
    explicit operator bool() const { return Ok(); }

    // Value() of a failed result, or Error() of a good one, is a programming
    // error and throws std::bad_variant_access.
    const T& Value() const& { return std::get<0>(FData); }
    T& Value() & { return std::get<0>(FData); }
    T&& Value() && { return std::get<0>(std::move(FData)); }
    const TStatsError& Error() const { return std::get<1>(FData); }

private:
    std::variant<T, TStatsError> FData;
};

} // namespace wdx::statshost
