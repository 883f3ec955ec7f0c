#include "statshost/transport/HttpTransport.h"

#include "statshost/StatsProtocol.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace wdx::statshost {

namespace {
std::string Seconds(int N) {
    return std::to_string(N) + (N == 1 ? " second" : " seconds");
}
} // namespace

THttpBody::~THttpBody() {
    std::free(FData);
}

bool THttpBody::Reserve(std::size_t Bytes) {
    if (Bytes <= FCapacity)
        return true;
    void* grown = std::realloc(FData, Bytes);
    if (!grown)
        return false;
    FData = static_cast<char*>(grown);
    FCapacity = Bytes;
    return true;
}

bool THttpBody::Append(const char* Data, std::size_t N) {
    if (FSize + N > FCapacity && !Reserve(std::max(FSize + N, FCapacity + FCapacity / 2 + 4096)))
        return false;
    std::memcpy(FData + FSize, Data, N);
    FSize += N;
    return true;
}

TStatsError Failure(TStatsFailure Kind, std::string Text) {
    return TStatsError{Kind, 0, 0, std::move(Text)};
}

TStatsError TimeOutFailure(const THttpTarget& Target) {
    return Failure(TStatsFailure::TimeOut, "Time-out: the broker at " + Target.Endpoint +
                                               " did not answer within " + Seconds(Target.TimeOutSeconds) +
                                               ".");
}

TStatsError HeadersTooLargeFailure(const THttpTarget& Target) {
    return Failure(TStatsFailure::TooLarge, "The headers of the answer of the broker at " + Target.Endpoint +
                                                " are larger than the limit of " +
                                                std::to_string(MaxHeaderBytes) + " bytes.");
}

TStatsError BodyTooLargeFailure(const THttpTarget& Target, std::size_t MaxBodyBytes) {
    return Failure(TStatsFailure::TooLarge, "The answer of the broker at " + Target.Endpoint +
                                                " is larger than the limit of " +
                                                std::to_string(MaxBodyBytes) + " bytes.");
}

TStatsError SetupFailure() {
    return Failure(TStatsFailure::Transport, "The HTTP client could not be set up.");
}

TStatsError UnknownHostFailure(const THttpTarget& Target) {
    return Failure(TStatsFailure::Connect, "The broker's host \"" + Target.Host + "\" is not known.");
}

TStatsError ConnectFailure(const THttpTarget& Target, const std::string& Detail) {
    return Failure(TStatsFailure::Connect,
                   "Cannot connect to the broker at " + Target.Endpoint + ": " + Detail + ".");
}

TStatsError NoAnswerFailure(const THttpTarget& Target) {
    return Failure(TStatsFailure::Transport,
                   "The connection to the broker at " + Target.Endpoint + " was closed without an answer.");
}

TStatsError TakeInFailure(const THttpTarget& Target, const std::string& Detail) {
    return Failure(TStatsFailure::Transport, "The answer of the broker at " + Target.Endpoint +
                                                 " could not be taken in: " + Detail + ".");
}

TStatsError ExchangeFailure(const THttpTarget& Target, const std::string& Detail) {
    return Failure(TStatsFailure::Transport,
                   "The exchange with the broker at " + Target.Endpoint + " failed: " + Detail + ".");
}

} // namespace wdx::statshost
