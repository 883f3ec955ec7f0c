#include "statshost/StatsClient.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace wdx::statshost {

namespace {

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

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

std::string Seconds(int N) {
    return std::to_string(N) + (N == 1 ? " second" : " seconds");
}

TStatsError Failure(TStatsFailure Kind, std::string Text) {
    return TStatsError{Kind, 0, 0, std::move(Text)};
}

} // namespace

// An answer's body as it arrives. Grown with realloc, which for large
// blocks moves the pages instead of copying them, so that taking in an
// answer never holds it twice; with a declared length it is taken in one
// allocation of that size.
class TStatsClient::TBody {
public:
    TBody() = default;
    TBody(const TBody&) = delete;
    TBody& operator=(const TBody&) = delete;
    ~TBody() { std::free(FData); }
    std::string_view View() const { return {FData ? FData : "", FSize}; }
    std::size_t Size() const { return FSize; }
    // False when memory runs out.
    bool Reserve(std::size_t Bytes) {
        if (Bytes <= FCapacity)
            return true;
        void* grown = std::realloc(FData, Bytes);
        if (!grown)
            return false;
        FData = static_cast<char*>(grown);
        FCapacity = Bytes;
        return true;
    }
    bool Append(const char* Data, std::size_t N) {
        if (FSize + N > FCapacity && !Reserve(std::max(FSize + N, FCapacity + FCapacity / 2 + 4096)))
            return false;
        std::memcpy(FData + FSize, Data, N);
        FSize += N;
        return true;
    }

private:
    char* FData = nullptr;
    std::size_t FSize = 0;
    std::size_t FCapacity = 0;
};

struct TStatsClient::TAnswer {
    int Status = 0;
    TBody Body;
};

struct TStatsClient::TCurl {
    struct TEasyDeleter {
        void operator()(CURL* c) const { curl_easy_cleanup(c); }
    };
    struct TListDeleter {
        void operator()(curl_slist* l) const { curl_slist_free_all(l); }
    };
    std::unique_ptr<CURL, TEasyDeleter> Easy;
    std::unique_ptr<curl_slist, TListDeleter> Headers;
    char ErrorBuffer[CURL_ERROR_SIZE] = {};
    TBody* Sink = nullptr;
    std::size_t Cap = 0;
    std::size_t HeaderBytes = 0;
    bool Overflow = false;
    bool HeaderOverflow = false;
    bool HeadersEnded = false;
    bool NoMemory = false;

    // Returning less than was handed over ends the transfer at once.
    static size_t Write(char* Data, size_t Size, size_t Count, void* User) {
        auto* self = static_cast<TCurl*>(User);
        std::size_t n = Size * Count;
        if (self->Sink->Size() + n > self->Cap) {
            self->Overflow = true;
            return 0;
        }
        if (self->Sink->Size() == 0) {
            // The declared length is known once the body starts; take it in
            // one piece (it is within the cap, or curl refused it already).
            curl_off_t declared = -1;
            curl_easy_getinfo(self->Easy.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &declared);
            if (declared > 0 && static_cast<std::size_t>(declared) <= self->Cap &&
                !self->Sink->Reserve(static_cast<std::size_t>(declared))) {
                self->NoMemory = true;
                return 0;
            }
        }
        if (!self->Sink->Append(Data, n)) {
            self->NoMemory = true;
            return 0;
        }
        return n;
    }

    // Counts the header lines of every answer (a 100-continue or redirect
    // answer before the final one included) against MaxHeaderBytes.
    static size_t Header(char* Data, size_t Size, size_t Count, void* User) {
        auto* self = static_cast<TCurl*>(User);
        std::size_t n = Size * Count;
        self->HeaderBytes += n;
        self->HeadersEnded = n == 2 && Data[0] == '\r' && Data[1] == '\n';
        if (self->HeaderBytes > MaxHeaderBytes) {
            self->HeaderOverflow = true;
            return 0;
        }
        return n;
    }
};

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
    return Failure(TStatsFailure::TimeOut, "Time-out: the broker at " + FEndpoint +
                                               " did not answer within " + Seconds(FTimeOutSeconds) + ".");
}

std::optional<TStatsError> TStatsClient::Exchange(bool Post, const std::string& Path, const std::string& Body,
                                                  TClock::time_point Deadline, TAnswer& Answer) {
    if (FBaseUrl.empty())
        return Failure(TStatsFailure::InvalidArgument, FSetupError);
    if (!FCurl) {
        GlobalInit();
        auto c = std::make_unique<TCurl>();
        c->Easy.reset(curl_easy_init());
        curl_slist* h = nullptr;
        for (const char* line : {"Accept: application/json", "Content-Type: application/json",
                                 "Expect:" /* no 100-continue round trip */}) {
            curl_slist* next = curl_slist_append(h, line);
            if (!next) {
                curl_slist_free_all(h);
                h = nullptr;
                break;
            }
            h = next;
        }
        c->Headers.reset(h);
        if (!c->Easy || !h)
            return Failure(TStatsFailure::Transport, "The HTTP client could not be set up.");
        CURL* e = c->Easy.get();
        curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(e, CURLOPT_NOPROXY, "*"); // the broker is reached directly, never through a proxy
        curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http");
        curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(e, CURLOPT_TCP_NODELAY, 1L);
        curl_easy_setopt(e, CURLOPT_HTTPHEADER, c->Headers.get());
        curl_easy_setopt(e, CURLOPT_ERRORBUFFER, c->ErrorBuffer);
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &TCurl::Write);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, c.get());
        curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &TCurl::Header);
        curl_easy_setopt(e, CURLOPT_HEADERDATA, c.get());
        FCurl = std::move(c);
    }
    CURL* e = FCurl->Easy.get();
    // The exchange gets what is left of the call's deadline (all of it, as
    // nothing went before); the decode gets the rest.
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - TClock::now()).count();
    if (left <= 0)
        return TimeOutError();
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(left));
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(left));
    FCurl->Sink = &Answer.Body;
    FCurl->Cap = FLimits.MaxBodyBytes;
    FCurl->HeaderBytes = 0;
    FCurl->Overflow = false;
    FCurl->HeaderOverflow = false;
    FCurl->HeadersEnded = false;
    FCurl->NoMemory = false;
    FCurl->ErrorBuffer[0] = '\0';
    // A declared length over the cap is refused before any of the body is read.
    curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(FLimits.MaxBodyBytes));
    std::string url = FBaseUrl + Path;
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    if (Post) {
        curl_easy_setopt(e, CURLOPT_POST, 1L);
        curl_easy_setopt(e, CURLOPT_POSTFIELDS, Body.data());
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(Body.size()));
    } else {
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    }
    CURLcode rc = curl_easy_perform(e);
    FCurl->Sink = nullptr;
    std::string detail = FCurl->ErrorBuffer[0] ? FCurl->ErrorBuffer : curl_easy_strerror(rc);
    const std::string at = "the broker at " + FEndpoint;
    switch (rc) {
    case CURLE_OK:
        break;
    case CURLE_OPERATION_TIMEDOUT:
        return TimeOutError();
    case CURLE_COULDNT_RESOLVE_HOST:
        return Failure(TStatsFailure::Connect, "The broker's host \"" + FHost + "\" is not known.");
    case CURLE_COULDNT_CONNECT:
        return Failure(TStatsFailure::Connect, "Cannot connect to " + at + ": " + detail + ".");
    case CURLE_OUT_OF_MEMORY:
        // curl refuses a single header line longer than its own buffer
        // (100 KiB) this way; that is the broker's fault, not a lack of
        // memory here.
        if (!FCurl->NoMemory && !FCurl->HeadersEnded)
            return HeadersTooLarge();
        throw std::bad_alloc();
    case CURLE_WRITE_ERROR:
    case CURLE_FILESIZE_EXCEEDED:
        if (FCurl->HeaderOverflow)
            return HeadersTooLarge();
        if (FCurl->NoMemory)
            throw std::bad_alloc();
        if (FCurl->Overflow || rc == CURLE_FILESIZE_EXCEEDED)
            return Failure(TStatsFailure::TooLarge, "The answer of " + at + " is larger than the limit of " +
                                                        std::to_string(FLimits.MaxBodyBytes) + " bytes.");
        return Failure(TStatsFailure::Transport,
                       "The answer of " + at + " could not be taken in: " + detail + ".");
    case CURLE_GOT_NOTHING:
        return Failure(TStatsFailure::Transport,
                       "The connection to " + at + " was closed without an answer.");
    default:
        return Failure(TStatsFailure::Transport, "The exchange with " + at + " failed: " + detail + ".");
    }
    long status = 0;
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
    Answer.Status = static_cast<int>(status);
    return std::nullopt;
}

TStatsError TStatsClient::HeadersTooLarge() const {
    return Failure(TStatsFailure::TooLarge, "The headers of the answer of the broker at " + FEndpoint +
                                                " are larger than the limit of " +
                                                std::to_string(MaxHeaderBytes) + " bytes.");
}

template <class T, class D>
TStatsResult<T> TStatsClient::Request(bool Post, const std::string& Path, const std::string& Body,
                                      D Decoder) {
    // One deadline for the whole call: connect, send, wait, receive and
    // decode. The answer's body is freed before the records are returned.
    TDecodeLimits limits = FLimits;
    limits.Deadline = TClock::now() + std::chrono::seconds(FTimeOutSeconds);
    TAnswer answer;
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
