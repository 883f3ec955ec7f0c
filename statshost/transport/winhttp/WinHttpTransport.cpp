// The statistics client's HTTP exchange on WinHTTP. The session and the
// connection handle live as long as the client, so that WinHTTP keeps the
// connection to the broker from call to call; every request has its own
// request handle.
//
// Requests run asynchronously: each step (send, headers, every piece of the
// body) is started and then waited for with what is left of the deadline.
// When the deadline passes the request handle is closed, which ends whatever
// is in progress, so a broker that trickles its bytes cannot hold the caller
// beyond the deadline however each single read is paced. The state the
// status callback writes into is kept until WinHTTP reports the handle gone,
// which may come after the call has returned (Wine finishes a read in
// progress first); then the last callback frees it.
//
// With TLS, WinHTTP checks the broker's certificate against the system's
// trusted certificates, with TLS 1.2 or later only. With a CA file the
// system's roots are not the ones to trust: WinHTTP is told to let only an
// unknown root pass, and the certificate is checked against the file's
// certificates (ServerCheck.h) when WinHTTP reports the request about to go
// out, the first moment the certificate is known; a refused one ends the
// request there. The body follows only once the request went out unrefused.

#include "statshost/StatsProtocol.h"
#include "statshost/transport/HttpTransport.h"
#include "statshost/transport/winhttp/ServerCheck.h"
#include "statshost/transport/winhttp/WideText.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <memory>
#include <new>
#include <optional>
#include <string>

namespace wdx::statshost {

namespace {

using TClock = std::chrono::steady_clock;

std::wstring Widen(const std::string& Text) {
    // Host names and encoded paths are ASCII (the client checks the host
    // and encodes the path); anything else would be refused by the server.
    return std::wstring(Text.begin(), Text.end());
}

// The system's text for a WinHTTP error, or its number.
std::string ErrorText(DWORD Error) {
    std::string text = SystemText(Error, GetModuleHandleW(L"winhttp.dll"));
    return text.empty() ? "WinHTTP error " + std::to_string(Error) : text;
}

// What the status callback hands back for one request. Lives until WinHTTP
// says the request handle is closing, its last callback for the handle:
// freed by the transport when that came before the transport let go of the
// handle, else by that callback.
struct TCall {
    enum : int { Owned, LetGo, Closed };
    std::atomic<int> State{Owned};
    HANDLE Done = nullptr; // a step completed (or failed)
    DWORD Error = 0;       // the failed step's error, 0 when it completed
    DWORD Bytes = 0;       // bytes available or read
    DWORD SecureFlags = 0; // what WinHTTP found wrong with the TLS connection
    // With TLS: the check of the broker's certificate, the host it is for,
    // and its verdict once the request was about to go out. A diagnosis only
    // checks, and never lets the request go.
    std::shared_ptr<const TServerCheck> Check;
    std::wstring Host;
    bool DiagnosisOnly = false;
    bool Checked = false;
    std::optional<TServerCheck::TRefusal> Refused;
    std::atomic<bool> HandleClosed{false}; // by the refusal or the transport, whichever came first
    static constexpr DWORD BufferBytes = 64 * 1024;
    char Buffer[BufferBytes];

    TCall() { Done = CreateEventW(nullptr, FALSE, FALSE, nullptr); }
    ~TCall() {
        if (Done)
            CloseHandle(Done);
    }
    TCall(const TCall&) = delete;
    TCall& operator=(const TCall&) = delete;
};

// Whether WinHTTP here is Wine's, which writes a request even when the
// status callback closed it on seeing the server's certificate.
bool WritesRefusedRequests() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The broker's certificate checked before the request goes out (again where
// WinHTTP checked it: a connection it keeps may have been made for another
// definition's check). A refused one closes the request, so that nothing is
// written to that server, and wakes the caller.
void CheckBeforeSending(HINTERNET Request, TCall& Call) {
    PCCERT_CONTEXT cert = nullptr;
    DWORD size = sizeof cert;
    if (!WinHttpQueryOption(Request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &cert, &size) || !cert) {
        Call.Refused =
            TServerCheck::TRefusal{TCertificateProblem::Untrusted,
                                   "the server's certificate is not available: " + ErrorText(GetLastError())};
    } else {
        Call.Refused = Call.Check->Check(cert, Call.Host);
        Call.Checked = true;
        CertFreeCertificateContext(cert);
    }
    if (!Call.Refused && !Call.DiagnosisOnly)
        return;
    if (!Call.HandleClosed.exchange(true))
        WinHttpCloseHandle(Request);
    Call.Error = ERROR_WINHTTP_OPERATION_CANCELLED;
    SetEvent(Call.Done);
}

void CALLBACK StatusCallback(HINTERNET Handle, DWORD_PTR Context, DWORD Status, LPVOID Info, DWORD Length) {
    auto* call = reinterpret_cast<TCall*>(Context);
    if (!call)
        return; // the session's and the connection's own handles
    switch (Status) {
    case WINHTTP_CALLBACK_STATUS_SENDING_REQUEST:
        if (call->Check)
            CheckBeforeSending(Handle, *call);
        break;
    case WINHTTP_CALLBACK_STATUS_SECURE_FAILURE:
        call->SecureFlags = *static_cast<DWORD*>(Info);
        break;
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_WRITE_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
        call->Error = 0;
        SetEvent(call->Done);
        break;
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
        call->Error = 0;
        call->Bytes = *static_cast<DWORD*>(Info);
        SetEvent(call->Done);
        break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
        call->Error = 0;
        call->Bytes = Length;
        SetEvent(call->Done);
        break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
        call->Error = static_cast<WINHTTP_ASYNC_RESULT*>(Info)->dwError;
        if (call->Error == 0)
            call->Error = ERROR_WINHTTP_INTERNAL_ERROR;
        SetEvent(call->Done);
        break;
    case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
        // Nothing touches the call after this in either case.
        if (call->State.exchange(TCall::Closed) == TCall::LetGo)
            delete call;
        break;
    default:
        break;
    }
}

struct THandleCloser {
    void operator()(void* H) const { WinHttpCloseHandle(H); }
};
using THandle = std::unique_ptr<void, THandleCloser>;

class TWinHttpTransport : public THttpTransport {
public:
    explicit TWinHttpTransport(THttpTarget Target) : FTarget(std::move(Target)) {}
    ~TWinHttpTransport() override {
        SecureZeroMemory(FAuthorization.data(), FAuthorization.size() * sizeof(wchar_t));
    }
    TWinHttpTransport(const TWinHttpTransport&) = delete;
    TWinHttpTransport& operator=(const TWinHttpTransport&) = delete;
    std::optional<TStatsError> Exchange(bool Post, const std::string& Path, const std::string& Body,
                                        TClock::time_point Deadline, std::size_t MaxBodyBytes,
                                        THttpAnswer& Answer) override;

private:
    std::optional<TStatsError> SetUp();
    std::optional<TStatsError> SetUpTls();
    std::optional<TStatsError> Run(HINTERNET Request, TCall& Call, bool Post, const std::string& Body,
                                   TClock::time_point Deadline, std::size_t MaxBodyBytes,
                                   THttpAnswer& Answer);

    // Why the TLS connection failed with Error, where WinHTTP does not say.
    TStatsError Diagnose(DWORD Error, TClock::time_point Deadline);

    // Closes Request; Call is freed once WinHTTP has let go of it.
    static void Finish(HINTERNET Request, std::unique_ptr<TCall> Call);

    THttpTarget FTarget;
    std::wstring FAuthorization;                // the header line with the token, when there is one
    std::shared_ptr<const TServerCheck> FCheck; // with TLS
    // Closed in this order (members go in reverse): the connection first.
    THandle FSession;
    THandle FConnection;
};

void TWinHttpTransport::Finish(HINTERNET Request, std::unique_ptr<TCall> Call) {
    int owned = TCall::Owned;
    if (!Call->HandleClosed.exchange(true))
        WinHttpCloseHandle(Request);
    if (Call->State.compare_exchange_strong(owned, TCall::LetGo))
        Call.release(); // the handle's last callback frees it
}

std::optional<TStatsError> TWinHttpTransport::SetUp() {
    // Nothing goes out that the definition would not allow: the token only
    // where it may go, and read before anything is sent.
    std::string line;
    if (auto refused = AuthorizationLine(FTarget, line))
        return refused;
    if (!line.empty())
        FAuthorization = std::wstring(line.begin(), line.end()) + L"\r\n"; // visible ASCII only
    std::fill(line.begin(), line.end(), '\0');
    // WinHTTP may call StatusCallback after the last handle is closed (a
    // request given up on a silent broker calls back when the connection
    // ends). Where this code is in a DLL that COM unloads once its objects
    // are gone, that call would run code that is no longer there: the module
    // stays loaded until the process ends from the first session on.
    HMODULE Self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                            reinterpret_cast<LPCWSTR>(&StatusCallback), &Self))
        return SetupFailure();
    // The broker is reached directly, never through a proxy.
    FSession.reset(WinHttpOpen(L"WDX statistics client", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                               WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC));
    if (!FSession)
        return SetupFailure();
    if (WinHttpSetStatusCallback(FSession.get(), &StatusCallback,
                                 WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES |
                                     WINHTTP_CALLBACK_FLAG_SEND_REQUEST |
                                     WINHTTP_CALLBACK_FLAG_SECURE_FAILURE,
                                 0) == WINHTTP_INVALID_STATUS_CALLBACK) {
        FSession.reset();
        return SetupFailure();
    }
    if (FTarget.Security.UseTls) {
        if (auto failed = SetUpTls()) {
            FSession.reset();
            return failed;
        }
    }
    FConnection.reset(WinHttpConnect(FSession.get(), Widen(FTarget.Host).c_str(),
                                     static_cast<INTERNET_PORT>(FTarget.Port), 0));
    if (!FConnection) {
        FSession.reset();
        return SetupFailure();
    }
    return std::nullopt;
}

std::optional<TStatsError> TWinHttpTransport::SetUpTls() {
    // TLS 1.2 and 1.3; where the system does not know 1.3, 1.2 alone.
    DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
    if (!WinHttpSetOption(FSession.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols)) {
        protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
        if (!WinHttpSetOption(FSession.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols))
            return TlsFailure(FTarget, "TLS 1.2 cannot be asked for: " + ErrorText(GetLastError()));
    }
    if (FTarget.Security.CaFile.empty()) {
        FCheck = TServerCheck::System();
        return std::nullopt;
    }
    std::string why;
    FCheck = TServerCheck::Load(FTarget.Security.CaFile, why);
    if (!FCheck)
        return CaFileFailure(FTarget, why);
    // The CA file's check can stop a request only where WinHTTP honours the
    // close; elsewhere the token would reach a broker that is then refused.
    if (!FTarget.Security.TokenFile.empty() && WritesRefusedRequests())
        return Failure(
            TStatsFailure::InvalidArgument,
            "The definition of the broker at " + FTarget.Endpoint + " names the CA file \"" +
                FTarget.Security.CaFile + "\" and the token file \"" + FTarget.Security.TokenFile +
                "\": under Wine the token would go out before the broker's certificate is checked "
                "against that file, so nothing is sent. Trust the broker's CA in the system, or run "
                "on Windows.");
    return std::nullopt;
}

// Whole milliseconds left until Deadline, 0 once it has passed.
DWORD MillisLeft(TClock::time_point Deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - TClock::now()).count();
    return left <= 0 ? 0 : static_cast<DWORD>(left);
}

// Waits for the step of Call just started; its error, or
// ERROR_WINHTTP_TIMEOUT when the deadline passes first.
DWORD WaitStep(TCall& Call, TClock::time_point Deadline) {
    DWORD ms = MillisLeft(Deadline);
    if (ms == 0 || WaitForSingleObject(Call.Done, ms) != WAIT_OBJECT_0)
        return ERROR_WINHTTP_TIMEOUT;
    return Call.Error;
}

std::optional<TStatsError> TWinHttpTransport::Exchange(bool Post, const std::string& Path,
                                                       const std::string& Body, TClock::time_point Deadline,
                                                       std::size_t MaxBodyBytes, THttpAnswer& Answer) {
    if (!FConnection) {
        if (auto failed = SetUp())
            return failed;
    }
    if (MillisLeft(Deadline) == 0)
        return TimeOutFailure(FTarget);
    auto call = std::make_unique<TCall>();
    if (!call->Done)
        return SetupFailure();
    call->Check = FCheck;
    call->Host = Widen(FTarget.Host);
    // The path is encoded already: WinHTTP is told to send it as it is.
    HINTERNET request = WinHttpOpenRequest(FConnection.get(), Post ? L"POST" : L"GET", Widen(Path).c_str(),
                                           nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                           WINHTTP_FLAG_ESCAPE_DISABLE | WINHTTP_FLAG_ESCAPE_DISABLE_QUERY |
                                               (FTarget.Security.UseTls ? WINHTTP_FLAG_SECURE : 0));
    if (!request)
        return ExchangeFailure(FTarget, ErrorText(GetLastError()));
    if (!FTarget.Security.CaFile.empty()) {
        // Only an unknown root passes WinHTTP's own check: the CA file's
        // check follows before anything is sent.
        DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
        if (!WinHttpSetOption(request, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags)) {
            DWORD error = GetLastError();
            WinHttpCloseHandle(request);
            return TlsFailure(FTarget, "the CA file's check cannot be set up: " + ErrorText(error));
        }
    }
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(call.get());
    WinHttpSetOption(request, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context);
    std::optional<TStatsError> result;
    try {
        result = Run(request, *call, Post, Body, Deadline, MaxBodyBytes, Answer);
    } catch (...) {
        Finish(request, std::move(call)); // out of memory: the request still goes
        throw;
    }
    Finish(request, std::move(call));
    return result;
}

std::optional<TStatsError> TWinHttpTransport::Run(HINTERNET Request, TCall& Call, bool Post,
                                                  const std::string& Body, TClock::time_point Deadline,
                                                  std::size_t MaxBodyBytes, THttpAnswer& Answer) {
    int step = 0; // 0 sending, 1 waiting for the headers, 2 taking in the body
    // Waits for the step just started; its error, or ERROR_WINHTTP_TIMEOUT
    // when the deadline passes first.
    auto wait = [&] { return WaitStep(Call, Deadline); };
    auto failed = [&](DWORD Error) -> TStatsError {
        switch (Error) {
        case ERROR_WINHTTP_TIMEOUT:
            return TimeOutFailure(FTarget);
        case ERROR_WINHTTP_NAME_NOT_RESOLVED:
            return UnknownHostFailure(FTarget);
        case ERROR_WINHTTP_CANNOT_CONNECT:
            return ConnectFailure(FTarget, ErrorText(Error));
        case ERROR_WINHTTP_HEADER_SIZE_OVERFLOW:
            return HeadersTooLargeFailure(FTarget);
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            throw std::bad_alloc();
        case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
            return CertificateFailure(FTarget, TCertificateProblem::Expired, ErrorText(Error));
        case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
            return CertificateFailure(FTarget, TCertificateProblem::WrongHost, ErrorText(Error));
        case ERROR_WINHTTP_SECURE_INVALID_CA:
        case ERROR_WINHTTP_SECURE_INVALID_CERT:
        case ERROR_WINHTTP_SECURE_CERT_REVOKED:
        case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
            return CertificateFailure(FTarget, TCertificateProblem::Untrusted, ErrorText(Error));
        case ERROR_WINHTTP_SECURE_FAILURE:
            // Which check failed comes with the secure-failure notification
            // (not from Wine).
            if (Call.SecureFlags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID)
                return CertificateFailure(FTarget, TCertificateProblem::Expired, ErrorText(Error));
            if (Call.SecureFlags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID)
                return CertificateFailure(FTarget, TCertificateProblem::WrongHost, ErrorText(Error));
            if (Call.SecureFlags &
                (WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA | WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CERT |
                 WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED | WINHTTP_CALLBACK_STATUS_FLAG_CERT_WRONG_USAGE))
                return CertificateFailure(FTarget, TCertificateProblem::Untrusted, ErrorText(Error));
            return Diagnose(Error, Deadline);
        case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
            // The handshake failed: most often no TLS on the other side.
            // Wine gives this for a refused certificate too.
            return Diagnose(Error, Deadline);
        case ERROR_WINHTTP_CONNECTION_ERROR:
        case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
        case WSAECONNRESET: // Wine passes the socket's own error on at times
        case WSAECONNABORTED:
            // The broker closed the connection before any answer came.
            if (FTarget.Security.UseTls && step == 0)
                return NotTlsFailure(FTarget, ErrorText(Error));
            if (!FTarget.Security.UseTls && step < 2)
                return ClosedToPlainFailure(FTarget, ErrorText(Error));
            if (step < 2)
                return NoAnswerFailure(FTarget);
            return ExchangeFailure(FTarget, ErrorText(Error));
        default:
            return ExchangeFailure(FTarget, ErrorText(Error));
        }
    };

    // WinHTTP's own bounds: no single step may outlast the deadline either
    // (0 would mean none at all).
    int ms = static_cast<int>(std::max<DWORD>(MillisLeft(Deadline), 1));
    WinHttpSetTimeouts(Request, ms, ms, ms, ms);
    // No redirects are followed, nothing is stored or sent on the user's
    // behalf, and the headers are refused past the cap as they arrive.
    DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    WinHttpSetOption(Request, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
    // Wine keeps TLS connections for every session of the process and does
    // not check a kept one again, nor stop a request the check here refused:
    // there no TLS connection is kept, so that each is checked by WinHTTP
    // for its own definition before anything is written.
    DWORD disable = WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_COOKIES |
                    (FTarget.Security.UseTls && WritesRefusedRequests() ? WINHTTP_DISABLE_KEEP_ALIVE : 0);
    WinHttpSetOption(Request, WINHTTP_OPTION_DISABLE_FEATURE, &disable, sizeof disable);
    DWORD headerCap = static_cast<DWORD>(MaxHeaderBytes);
    WinHttpSetOption(Request, WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE, &headerCap, sizeof headerCap);

    std::wstring headers = L"Accept: application/json\r\nContent-Type: application/json\r\n" + FAuthorization;
    // The body is written once the request went out, after the CA file's
    // check of the broker.
    DWORD size = Post ? static_cast<DWORD>(Body.size()) : 0;
    BOOL sent = WinHttpSendRequest(Request, headers.c_str(), static_cast<DWORD>(headers.size()),
                                   WINHTTP_NO_REQUEST_DATA, 0, size, reinterpret_cast<DWORD_PTR>(&Call));
    DWORD sendError = sent ? 0 : GetLastError();
    SecureZeroMemory(headers.data(), headers.size() * sizeof(wchar_t));
    if (!sent)
        return failed(sendError);
    DWORD e = wait();
    if (e != ERROR_WINHTTP_TIMEOUT && Call.Refused)
        return CertificateFailure(FTarget, Call.Refused->Problem, Call.Refused->Detail);
    if (e)
        return failed(e);
    if (size) {
        if (!WinHttpWriteData(Request, Body.data(), size, nullptr))
            return failed(GetLastError());
        if (DWORD w = wait())
            return failed(w);
    }
    step = 1;
    if (!WinHttpReceiveResponse(Request, nullptr))
        return failed(GetLastError());
    if (DWORD e = wait())
        return failed(e);

    // All header lines together, the status line included, against the cap
    // (where WinHTTP did not refuse them already).
    DWORD headerBytes = 0;
    WinHttpQueryHeaders(Request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                        WINHTTP_NO_OUTPUT_BUFFER, &headerBytes, WINHTTP_NO_HEADER_INDEX);
    if (headerBytes / sizeof(wchar_t) > MaxHeaderBytes)
        return HeadersTooLargeFailure(FTarget);
    DWORD status = 0;
    DWORD statusSize = sizeof status;
    if (!WinHttpQueryHeaders(Request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &statusSize, WINHTTP_NO_HEADER_INDEX))
        return ExchangeFailure(FTarget, ErrorText(GetLastError()));

    // A declared length over the cap is refused before any of the body is
    // read; within it, the body is taken in one allocation of that size.
    wchar_t length[32];
    DWORD lengthSize = sizeof length;
    if (WinHttpQueryHeaders(Request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, length,
                            &lengthSize, WINHTTP_NO_HEADER_INDEX)) {
        std::string digits;
        for (DWORD i = 0; i < lengthSize / sizeof(wchar_t); ++i)
            digits += static_cast<char>(length[i]);
        unsigned long long declared = 0;
        auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), declared);
        if (ec == std::errc::result_out_of_range || (ec == std::errc() && declared > MaxBodyBytes))
            return BodyTooLargeFailure(FTarget, MaxBodyBytes);
        if (ec == std::errc() && declared > 0 && !Answer.Body.Reserve(static_cast<std::size_t>(declared)))
            throw std::bad_alloc();
    }

    step = 2;
    for (;;) {
        if (!WinHttpQueryDataAvailable(Request, nullptr))
            return failed(GetLastError());
        if (DWORD e = wait())
            return failed(e);
        if (Call.Bytes == 0)
            break; // the whole body is in
        if (Answer.Body.Size() + Call.Bytes > MaxBodyBytes)
            return BodyTooLargeFailure(FTarget, MaxBodyBytes);
        DWORD want = Call.Bytes < TCall::BufferBytes ? Call.Bytes : TCall::BufferBytes;
        if (!WinHttpReadData(Request, Call.Buffer, want, nullptr))
            return failed(GetLastError());
        if (DWORD e = wait())
            return failed(e);
        if (Call.Bytes == 0)
            break;
        if (Answer.Body.Size() + Call.Bytes > MaxBodyBytes)
            return BodyTooLargeFailure(FTarget, MaxBodyBytes);
        if (!Answer.Body.Append(Call.Buffer, Call.Bytes))
            throw std::bad_alloc();
    }
    Answer.Status = static_cast<int>(status);
    return std::nullopt;
}

// The handshake is made once more with every certificate error let pass by
// WinHTTP, on a connection that is not kept, to check the certificate here;
// the request is closed before it goes out (Wine writes it: it holds neither
// token nor body). A handshake that fails even so met no TLS.
TStatsError TWinHttpTransport::Diagnose(DWORD Error, TClock::time_point Deadline) {
    const TStatsError handshake = NotTlsFailure(FTarget, ErrorText(Error));
    // A handshake is quick; a server that is not TLS may hold this one until
    // its own time-out, which is no reason to spend the caller's.
    Deadline = std::min(Deadline, TClock::now() + std::chrono::seconds(2));
    auto call = std::make_unique<TCall>();
    if (!FCheck || !call->Done || MillisLeft(Deadline) == 0)
        return handshake;
    call->Check = FCheck;
    call->Host = Widen(FTarget.Host);
    call->DiagnosisOnly = true;
    HINTERNET request = WinHttpOpenRequest(FConnection.get(), L"GET", L"/", nullptr, WINHTTP_NO_REFERER,
                                           WINHTTP_DEFAULT_ACCEPT_TYPES, WINHTTP_FLAG_SECURE);
    if (!request)
        return handshake;
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(call.get());
    WinHttpSetOption(request, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context);
    DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                  SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;
    DWORD noKeep = WINHTTP_DISABLE_KEEP_ALIVE | WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_COOKIES;
    int ms = static_cast<int>(std::max<DWORD>(MillisLeft(Deadline), 1));
    TStatsError result = handshake;
    if (WinHttpSetOption(request, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags) &&
        WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &noKeep, sizeof noKeep) &&
        WinHttpSetTimeouts(request, ms, ms, ms, ms) &&
        WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                           context)) {
        DWORD e = WaitStep(*call, Deadline);
        if (e == ERROR_WINHTTP_TIMEOUT)
            result = handshake;
        else if (call->Refused)
            result = CertificateFailure(FTarget, call->Refused->Problem, call->Refused->Detail);
        else if (call->Checked)
            result = TlsFailure(FTarget, ErrorText(Error)); // the certificate is fine: something else failed
    }
    Finish(request, std::move(call));
    return result;
}

} // namespace

std::unique_ptr<THttpTransport> MakeHttpTransport(const THttpTarget& Target) {
    return std::make_unique<TWinHttpTransport>(Target);
}

} // namespace wdx::statshost
