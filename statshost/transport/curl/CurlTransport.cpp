// The statistics client's HTTP exchange on libcurl: one easy handle per
// client, kept from call to call so that the connection is reused.

#include "statshost/StatsProtocol.h"
#include "statshost/transport/HttpTransport.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <new>

namespace wdx::statshost {

namespace {

void GlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct TCurl {
    struct TEasyDeleter {
        void operator()(CURL* c) const { curl_easy_cleanup(c); }
    };
    struct TListDeleter {
        void operator()(curl_slist* l) const { curl_slist_free_all(l); }
    };
    std::unique_ptr<CURL, TEasyDeleter> Easy;
    std::unique_ptr<curl_slist, TListDeleter> Headers;
    char ErrorBuffer[CURL_ERROR_SIZE] = {};
    THttpBody* Sink = nullptr;
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

// X509_V_ERR_CERT_HAS_EXPIRED and X509_V_ERR_HOSTNAME_MISMATCH, as
// CURLINFO_SSL_VERIFYRESULT gives them with OpenSSL.
constexpr long VerifyExpired = 10;
constexpr long VerifyHostMismatch = 62;

class TCurlTransport : public THttpTransport {
public:
    explicit TCurlTransport(THttpTarget Target) : FTarget(std::move(Target)) {}
    std::optional<TStatsError> Exchange(bool Post, const std::string& Path, const std::string& Body,
                                        std::chrono::steady_clock::time_point Deadline,
                                        std::size_t MaxBodyBytes, THttpAnswer& Answer) override;

private:
    // Why the broker's certificate was not accepted.
    TStatsError RefusedCertificate(CURL* Easy, const std::string& Detail) const {
        long result = 0;
        curl_easy_getinfo(Easy, CURLINFO_SSL_VERIFYRESULT, &result);
        if (result == VerifyExpired || Detail.find("expired") != std::string::npos)
            return CertificateFailure(FTarget, TCertificateProblem::Expired, Detail);
        if (result == VerifyHostMismatch || Detail.find("name") != std::string::npos)
            return CertificateFailure(FTarget, TCertificateProblem::WrongHost, Detail);
        return CertificateFailure(FTarget, TCertificateProblem::Untrusted, Detail);
    }

    THttpTarget FTarget;
    std::unique_ptr<TCurl> FCurl;
};

std::optional<TStatsError> TCurlTransport::Exchange(bool Post, const std::string& Path,
                                                    const std::string& Body,
                                                    std::chrono::steady_clock::time_point Deadline,
                                                    std::size_t MaxBodyBytes, THttpAnswer& Answer) {
    if (!FCurl) {
        GlobalInit();
        auto c = std::make_unique<TCurl>();
        c->Easy.reset(curl_easy_init());
        std::string authorization;
        if (auto refused = AuthorizationLine(FTarget, authorization))
            return refused;
        curl_slist* h = nullptr;
        for (const char* line : {"Accept: application/json", "Content-Type: application/json",
                                 "Expect:" /* no 100-continue round trip */, authorization.c_str()}) {
            if (!*line)
                continue;
            curl_slist* next = curl_slist_append(h, line);
            if (!next) {
                curl_slist_free_all(h);
                h = nullptr;
                break;
            }
            h = next;
        }
        std::fill(authorization.begin(), authorization.end(), '\0');
        c->Headers.reset(h);
        if (!c->Easy || !h)
            return SetupFailure();
        CURL* e = c->Easy.get();
        curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(e, CURLOPT_NOPROXY, "*"); // the broker is reached directly, never through a proxy
        if (FTarget.Security.UseTls) {
            // Never plain HTTP instead, never a certificate left unchecked.
            curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "https");
            curl_easy_setopt(e, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
            curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
            curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
            if (!FTarget.Security.CaFile.empty())
                curl_easy_setopt(e, CURLOPT_CAINFO, FTarget.Security.CaFile.c_str());
        } else {
            curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http");
        }
        curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(e, CURLOPT_TCP_NODELAY, 1L);
        // A long list arrives in pieces of this size: 16 KiB (the default)
        // takes some 700 reads and as many waits for 11 MB.
        curl_easy_setopt(e, CURLOPT_BUFFERSIZE, 100L * 1024);
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
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - std::chrono::steady_clock::now())
            .count();
    if (left <= 0)
        return TimeOutFailure(FTarget);
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(left));
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(left));
    FCurl->Sink = &Answer.Body;
    FCurl->Cap = MaxBodyBytes;
    FCurl->HeaderBytes = 0;
    FCurl->Overflow = false;
    FCurl->HeaderOverflow = false;
    FCurl->HeadersEnded = false;
    FCurl->NoMemory = false;
    FCurl->ErrorBuffer[0] = '\0';
    // A declared length over the cap is refused before any of the body is read.
    curl_easy_setopt(e, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(MaxBodyBytes));
    std::string url = FTarget.BaseUrl + Path;
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
    switch (rc) {
    case CURLE_OK:
        break;
    case CURLE_OPERATION_TIMEDOUT:
        return TimeOutFailure(FTarget);
    case CURLE_COULDNT_RESOLVE_HOST:
        return UnknownHostFailure(FTarget);
    case CURLE_COULDNT_CONNECT:
        return ConnectFailure(FTarget, detail);
    case CURLE_OUT_OF_MEMORY:
        // curl refuses a single header line longer than its own buffer
        // (100 KiB) this way; that is the broker's fault, not a lack of
        // memory here.
        if (!FCurl->NoMemory && !FCurl->HeadersEnded)
            return HeadersTooLargeFailure(FTarget);
        throw std::bad_alloc();
    case CURLE_WRITE_ERROR:
    case CURLE_FILESIZE_EXCEEDED:
        if (FCurl->HeaderOverflow)
            return HeadersTooLargeFailure(FTarget);
        if (FCurl->NoMemory)
            throw std::bad_alloc();
        if (FCurl->Overflow || rc == CURLE_FILESIZE_EXCEEDED)
            return BodyTooLargeFailure(FTarget, MaxBodyBytes);
        return TakeInFailure(FTarget, detail);
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY:
        if (!FTarget.Security.UseTls)
            return ClosedToPlainFailure(FTarget, detail);
        if (rc == CURLE_GOT_NOTHING)
            return NoAnswerFailure(FTarget);
        return ExchangeFailure(FTarget, detail);
    case CURLE_PEER_FAILED_VERIFICATION:
        return RefusedCertificate(e, detail);
    case CURLE_SSL_CONNECT_ERROR:
        if (detail.find("wrong version number") != std::string::npos ||
            detail.find("packet length too long") != std::string::npos)
            return NotTlsFailure(FTarget, detail);
        return TlsFailure(FTarget, detail);
    case CURLE_SSL_CACERT_BADFILE:
        return CaFileFailure(FTarget, detail);
    default:
        return ExchangeFailure(FTarget, detail);
    }
    long status = 0;
    curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
    Answer.Status = static_cast<int>(status);
    return std::nullopt;
}

} // namespace

std::unique_ptr<THttpTransport> MakeHttpTransport(const THttpTarget& Target) {
    return std::make_unique<TCurlTransport>(Target);
}

} // namespace wdx::statshost
