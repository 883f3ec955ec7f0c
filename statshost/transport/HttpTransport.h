#pragma once
// The HTTP exchange of a statistics client with its broker: the seam between
// the client (StatsClient.h: requests, deadline, caps, decoding) and the
// platform's HTTP library. One implementation per platform, in its own
// folder: curl/ (libcurl) on Linux, winhttp/ (WinHTTP) on Windows. Both give
// the same failure kinds and texts, which are made here.
//
// A transport belongs to one client and is used by one thread at a time.

#include "statshost/StatsTypes.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace wdx::statshost {

// An answer's body as it arrives. Grown with realloc, which for large
// blocks moves the pages instead of copying them, so that taking in an
// answer never holds it twice; with a declared length it is taken in one
// allocation of that size.
class THttpBody {
public:
    THttpBody() = default;
    THttpBody(const THttpBody&) = delete;
    THttpBody& operator=(const THttpBody&) = delete;
    ~THttpBody();
    std::string_view View() const { return {FData ? FData : "", FSize}; }
    std::size_t Size() const { return FSize; }
    // False when memory runs out.
    bool Reserve(std::size_t Bytes);
    bool Append(const char* Data, std::size_t N);

private:
    void Release(); // frees FData, as it was made

    char* FData = nullptr;
    std::size_t FSize = 0;
    std::size_t FCapacity = 0;
    bool FLarge = false; // FData is a large block (operator new), not the C library's
};

struct THttpAnswer {
    int Status = 0;
    THttpBody Body;
};

// The broker as the failure texts name it, and where requests go.
struct THttpTarget {
    std::string Host;     // as the definition gives it
    std::string Endpoint; // "host:port"
    std::string BaseUrl;  // "http://host:port" ("https://" with TLS), the host checked and bracketed
    int TimeOutSeconds = 0;
    int Port = 0;
    TTransportSettings Security;
};

class THttpTransport {
public:
    virtual ~THttpTransport() = default;
    // One request: Path (already encoded) below the target's URL, with Body
    // when Post. Takes in the answer's status and body within Deadline, and
    // refuses a body over MaxBodyBytes or headers over MaxHeaderBytes as they
    // arrive. A failure of the exchange (not an answer with a status other
    // than 200) is returned, with the texts below where they apply. Throws
    // std::bad_alloc only.
    virtual std::optional<TStatsError> Exchange(bool Post, const std::string& Path, const std::string& Body,
                                                std::chrono::steady_clock::time_point Deadline,
                                                std::size_t MaxBodyBytes, THttpAnswer& Answer) = 0;
};

// The platform's transport to Target; nullptr when it cannot be set up.
std::unique_ptr<THttpTransport> MakeHttpTransport(const THttpTarget& Target);

// The failure texts every transport and the client share.
TStatsError Failure(TStatsFailure Kind, std::string Text);
TStatsError TimeOutFailure(const THttpTarget& Target);
TStatsError HeadersTooLargeFailure(const THttpTarget& Target);
TStatsError BodyTooLargeFailure(const THttpTarget& Target, std::size_t MaxBodyBytes);
TStatsError SetupFailure();
TStatsError UnknownHostFailure(const THttpTarget& Target);
// Detail: the HTTP library's own text for the failure.
TStatsError ConnectFailure(const THttpTarget& Target, const std::string& Detail);
TStatsError NoAnswerFailure(const THttpTarget& Target);
TStatsError TakeInFailure(const THttpTarget& Target, const std::string& Detail);
TStatsError ExchangeFailure(const THttpTarget& Target, const std::string& Detail);

// Why the broker's certificate was not accepted; Detail: the TLS library's
// own text.
enum class TCertificateProblem { Untrusted, Expired, WrongHost };
TStatsError CertificateFailure(const THttpTarget& Target, TCertificateProblem Problem,
                               const std::string& Detail);
// With TLS: what came back is not TLS (a broker that serves plain HTTP).
TStatsError NotTlsFailure(const THttpTarget& Target, const std::string& Detail);
// Without TLS: the connection closed without an answer that could be read,
// as a broker that serves TLS does to plain HTTP.
TStatsError ClosedToPlainFailure(const THttpTarget& Target, const std::string& Detail);
TStatsError TlsFailure(const THttpTarget& Target, const std::string& Detail);
TStatsError CaFileFailure(const THttpTarget& Target, const std::string& Detail);

// The bytes of the token file Path, once the platform has checked that it is
// a file and that no other user may read or write it (POSIX: its mode;
// Windows: its access list); at most MaxBytes + 1 of them. File is how the
// texts name it. Used by ReadTokenFile.
std::optional<TStatsError> ReadPrivateFile(const std::string& Path, const std::string& File,
                                           std::size_t MaxBytes, std::string& Text);

// The token of Target's token file: refused (with a text that names the
// file, never its content) when the file is not a regular file, can be read
// or written by other users than its owner, is larger than 4 KiB, or does not
// hold one token of visible ASCII characters (blanks and line ends around it
// are dropped). The path is UTF-8 on every platform.
std::optional<TStatsError> ReadTokenFile(const std::string& Path, std::string& Token);

// A token goes in clear text only to a broker on this machine: with a token
// file and without TLS, a host other than loopback is refused before anything
// is sent (the text names the file and the broker, never the token).
std::optional<TStatsError> RefuseTokenInClear(const THttpTarget& Target);

// The "Authorization: Bearer ..." line (without a line end) that Target's
// requests carry; empty when the definition names no token file. Checks
// both rules above before the token is read. The caller wipes the line when
// it is done with it.
std::optional<TStatsError> AuthorizationLine(const THttpTarget& Target, std::string& Line);

// The failure an answer of 401 or 403 stands for, with what is wrong in
// words (no token given, token refused, token may only read) before the
// broker's own text.
TStatsError AccessRefusedFailure(const THttpTarget& Target, const TStatsError& BrokerSays);

} // namespace wdx::statshost
