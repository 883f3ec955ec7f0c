#include "statshost/StatsClient.h"

#include "statshost/transport/HttpTransport.h"

#include <algorithm>
#include <chrono>

namespace wdx::statshost {

namespace {

bool IsHostNameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
}

bool IsIPv6Char(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' || c == '.';
}

// The host goes into a URL, so only characters that cannot change its
// meaning are let through; anything else is a typing error in the definition.
std::string UrlHost(const std::string& Host) {
    if (Host.empty())
        return {};
    if (std::all_of(Host.begin(), Host.end(), IsHostNameChar))
        return Host;
    if (Host.find(':') != std::string::npos && std::all_of(Host.begin(), Host.end(), IsIPv6Char))
        return "[" + Host + "]";
    return {};
}

} // namespace

TStatsClient::TStatsClient(std::string Host, int Port, int TimeOutSeconds)
    : FHost(std::move(Host)), FPort(Port) {
    FTimeOutSeconds =
        TimeOutSeconds <= 0 ? DefaultTimeOutSeconds : std::min(TimeOutSeconds, MaxTimeOutSeconds);
    FEndpoint = FHost + ":" + std::to_string(FPort);
    std::string host = UrlHost(FHost);
    if (FHost.empty())
        FSetupError = "No host name is given for the broker.";
    else if (host.empty())
        FSetupError = "The broker's host name \"" + FHost + "\" is not a valid host name or address.";
    else if (FPort < 1 || FPort > 65535)
        FSetupError = "The broker's port " + std::to_string(FPort) + " is not between 1 and 65535.";
    else
        FBaseUrl = "http://" + host + ":" + std::to_string(FPort);
}

TStatsClient::~TStatsClient() = default;
TStatsClient::TStatsClient(TStatsClient&&) noexcept = default;
TStatsClient& TStatsClient::operator=(TStatsClient&&) noexcept = default;

TStatsError TStatsClient::TimeOutError() const {
    return TimeOutFailure({FHost, FEndpoint, FBaseUrl, FTimeOutSeconds, FPort});
}

std::optional<TStatsError> TStatsClient::Exchange(bool Post, const std::string& Path, const std::string& Body,
                                                  TClock::time_point Deadline, THttpAnswer& Answer) {
    if (FBaseUrl.empty())
        return Failure(TStatsFailure::InvalidArgument, FSetupError);
    if (!FTransport)
        FTransport = MakeHttpTransport({FHost, FEndpoint, FBaseUrl, FTimeOutSeconds, FPort});
    if (!FTransport)
        return SetupFailure();
    return FTransport->Exchange(Post, Path, Body, Deadline, FLimits.MaxBodyBytes, Answer);
}

template <class T, class D>
TStatsResult<T> TStatsClient::Request(bool Post, const std::string& Path, const std::string& Body,
                                      D Decoder) {
    // One deadline for the whole call: connect, send, wait, receive and
    // decode. The answer's body is freed before the records are returned.
    TDecodeLimits limits = FLimits;
    limits.Deadline = TClock::now() + std::chrono::seconds(FTimeOutSeconds);
    THttpAnswer answer;
    if (auto failed = Exchange(Post, Path, Body, limits.Deadline, answer))
        return std::move(*failed);
    if (answer.Status != 200) {
        TStatsError error = DecodeErrorAnswer(answer.Status, answer.Body.View(), limits);
        if (error.Kind == TStatsFailure::TimeOut)
            return TimeOutError();
        return error;
    }
    TStatsResult<T> result = Decoder(answer.Body.View(), limits);
    if (!result.Ok() && result.Error().Kind == TStatsFailure::TimeOut)
        return TimeOutError();
    return result;
}

std::optional<TStatsError> TStatsClient::CheckName(std::string_view Name, const char* What) {
    if (Name.empty())
        return Failure(TStatsFailure::InvalidArgument, std::string("No ") + What + " name is given.");
    if (Name.size() > MaxNameBytes)
        return Failure(TStatsFailure::InvalidArgument, std::string("The ") + What + " name is longer than " +
                                                           std::to_string(MaxNameBytes) + " bytes.");
    return std::nullopt;
}

TStatsResult<TBrokerInfo> TStatsClient::GetBroker() {
    return Request<TBrokerInfo>(false, BrokerPath(), {}, DecodeBrokerInfo);
}

TStatsResult<THealth> TStatsClient::GetHealth() {
    return Request<THealth>(false, HealthPath(), {}, DecodeHealth);
}

TStatsResult<std::vector<TComponentStats>> TStatsClient::GetComponents() {
    return Request<std::vector<TComponentStats>>(false, ComponentsPath(), {}, DecodeComponents);
}

TStatsResult<std::vector<TServiceStats>> TStatsClient::GetServices(std::string_view Component) {
    if (auto bad = CheckName(Component, "component"); bad)
        return *bad;
    return Request<std::vector<TServiceStats>>(false, ServicesPath(Component), {}, DecodeServices);
}

TStatsResult<std::vector<TParamInfo>> TStatsClient::GetParameters(std::string_view Service) {
    if (auto bad = CheckName(Service, "service"); bad)
        return *bad;
    return Request<std::vector<TParamInfo>>(false, ParametersPath(Service), {}, DecodeParameters);
}

TStatsResult<TComponentDetails> TStatsClient::GetComponentDetails(std::string_view Component) {
    if (auto bad = CheckName(Component, "component"); bad)
        return *bad;
    return Request<TComponentDetails>(false, ComponentPath(Component), {}, DecodeComponentDetails);
}

TStatsResult<TActionDone> TStatsClient::PerformAction(std::string_view Component, std::string_view Action,
                                                      int32_t Value) {
    if (auto bad = CheckName(Component, "component"); bad)
        return *bad;
    if (auto bad = CheckName(Action, "action"); bad)
        return *bad;
    return Request<TActionDone>(true, ActionPath(Component), EncodeActionRequest(Action, Value),
                                DecodeActionDone);
}

TStatsResult<TVersionInfo> TStatsClient::GetVersion(std::string_view Component) {
    if (auto bad = CheckName(Component, "component"); bad)
        return *bad;
    return Request<TVersionInfo>(false, VersionPath(Component), {}, DecodeVersion);
}

} // namespace wdx::statshost
