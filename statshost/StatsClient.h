#pragma once
// Client of a broker's statistics endpoint: one call per request of the
// statistics protocol (docs/protocol.md), each returning the decoded answer or
// a failure with a text for the operator. No call throws, except
// std::bad_alloc when memory runs out.
//
// Bounds: every call has one deadline for the whole call (connect, send,
// wait, receive, decode), taken from the broker definition's time-out; a
// broker that stalls, sends a byte at a time or sends an answer too large to
// decode in time cannot hold the caller longer. An answer larger than the
// body cap, or with headers larger than MaxHeaderBytes, is refused as it
// arrives. Memory: a call holds the answer's body once, plus the records
// decoded from it, never a parsed copy.
//
// A client keeps one connection to its broker and reuses it from call to
// call. It is used by one thread at a time; separate clients are independent.

#include "statshost/StatsDecoder.h"
#include "statshost/StatsTypes.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wdx::statshost {

class THttpTransport;
struct THttpAnswer;

class TStatsClient {
public:
    // Host is a host name, an IPv4 address or an IPv6 address (without
    // brackets). TimeOutSeconds is the definition's time-out: 0 or less means
    // DefaultTimeOutSeconds, more than MaxTimeOutSeconds is cut to it. A host
    // or port that cannot be used makes every call fail with InvalidArgument.
    TStatsClient(std::string Host, int Port, int TimeOutSeconds);
    ~TStatsClient();
    TStatsClient(const TStatsClient&) = delete;
    TStatsClient& operator=(const TStatsClient&) = delete;
    TStatsClient(TStatsClient&&) noexcept;
    TStatsClient& operator=(TStatsClient&&) noexcept;

    // The deadline in force, in seconds.
    int TimeOutSeconds() const { return FTimeOutSeconds; }
    // "host:port", as the failure texts name the broker.
    const std::string& Endpoint() const { return FEndpoint; }
    // Lowers (or raises) the body cap, DefaultMaxBodyBytes by default.
    void SetMaxBodyBytes(std::size_t Bytes) { FLimits.MaxBodyBytes = Bytes; }

    TStatsResult<TBrokerInfo> GetBroker();
    TStatsResult<THealth> GetHealth();
    TStatsResult<std::vector<TComponentStats>> GetComponents();
    TStatsResult<std::vector<TServiceStats>> GetServices(std::string_view Component);
    TStatsResult<std::vector<TParamInfo>> GetParameters(std::string_view Service);
    TStatsResult<TComponentDetails> GetComponentDetails(std::string_view Component);
    // Action is passed through as given ("retire", "setmax", "clear"); the
    // broker refuses words it does not know with an error answer.
    TStatsResult<TActionDone> PerformAction(std::string_view Component, std::string_view Action,
                                            int32_t Value);
    TStatsResult<TVersionInfo> GetVersion(std::string_view Component);

private:
    using TClock = std::chrono::steady_clock;
    std::optional<TStatsError> Exchange(bool Post, const std::string& Path, const std::string& Body,
                                        TClock::time_point Deadline, THttpAnswer& Answer);
    TStatsError TimeOutError() const;
    template <class T, class D>
    TStatsResult<T> Request(bool Post, const std::string& Path, const std::string& Body, D Decoder);
    static std::optional<TStatsError> CheckName(std::string_view Name, const char* What);

    std::string FHost;
    int FPort = 0;
    int FTimeOutSeconds = DefaultTimeOutSeconds;
    std::string FEndpoint;
    std::string FBaseUrl;    // empty when host or port cannot be used
    std::string FSetupError; // why, in that case
    TDecodeLimits FLimits;
    std::unique_ptr<THttpTransport> FTransport; // made at the first call
};

} // namespace wdx::statshost
