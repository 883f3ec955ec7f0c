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

#include "statshost/StatsProtocol.h"
#include "statshost/transport/HttpTransport.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <memory>
#include <new>
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
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE |
                                 FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             GetModuleHandleW(L"winhttp.dll"), Error, 0, reinterpret_cast<wchar_t*>(&text), 0,
                             nullptr);
    std::string out;
    if (n && text) {
        int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
        out.resize(static_cast<std::size_t>(bytes > 0 ? bytes : 0));
        if (bytes > 0)
            WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(n), out.data(), bytes, nullptr, nullptr);
        while (!out.empty() &&
               (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
            out.pop_back();
    }
    if (text)
        LocalFree(text);
    if (out.empty())
        out = "WinHTTP error " + std::to_string(Error);
    return out;
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

void CALLBACK StatusCallback(HINTERNET, DWORD_PTR Context, DWORD Status, LPVOID Info, DWORD Length) {
    auto* call = reinterpret_cast<TCall*>(Context);
    if (!call)
        return; // the session's and the connection's own handles
    switch (Status) {
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
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
    TWinHttpTransport(const TWinHttpTransport&) = delete;
    TWinHttpTransport& operator=(const TWinHttpTransport&) = delete;
    std::optional<TStatsError> Exchange(bool Post, const std::string& Path, const std::string& Body,
                                        TClock::time_point Deadline, std::size_t MaxBodyBytes,
                                        THttpAnswer& Answer) override;

private:
    bool SetUp();
    std::optional<TStatsError> Run(HINTERNET Request, TCall& Call, bool Post, const std::string& Body,
                                   TClock::time_point Deadline, std::size_t MaxBodyBytes,
                                   THttpAnswer& Answer);

    // Closes Request; Call is freed once WinHTTP has let go of it.
    static void Finish(HINTERNET Request, std::unique_ptr<TCall> Call);

    THttpTarget FTarget;
    // Closed in this order (members go in reverse): the connection first.
    THandle FSession;
    THandle FConnection;
};

void TWinHttpTransport::Finish(HINTERNET Request, std::unique_ptr<TCall> Call) {
    WinHttpCloseHandle(Request);
    int owned = TCall::Owned;
    if (Call->State.compare_exchange_strong(owned, TCall::LetGo))
        Call.release(); // the handle's last callback frees it
}

bool TWinHttpTransport::SetUp() {
    // The broker is reached directly, never through a proxy.
    FSession.reset(WinHttpOpen(L"WDX statistics client", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                               WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC));
    if (!FSession)
        return false;
    if (WinHttpSetStatusCallback(FSession.get(), &StatusCallback,
                                 WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES,
                                 0) == WINHTTP_INVALID_STATUS_CALLBACK) {
        FSession.reset();
        return false;
    }
    FConnection.reset(WinHttpConnect(FSession.get(), Widen(FTarget.Host).c_str(),
                                     static_cast<INTERNET_PORT>(FTarget.Port), 0));
    if (!FConnection) {
        FSession.reset();
        return false;
    }
    return true;
}

// Whole milliseconds left until Deadline, 0 once it has passed.
DWORD MillisLeft(TClock::time_point Deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - TClock::now()).count();
    return left <= 0 ? 0 : static_cast<DWORD>(left);
}

std::optional<TStatsError> TWinHttpTransport::Exchange(bool Post, const std::string& Path,
                                                       const std::string& Body, TClock::time_point Deadline,
                                                       std::size_t MaxBodyBytes, THttpAnswer& Answer) {
    // This transport does not speak TLS or send tokens yet: such a
    // definition is refused before anything is sent, never served in plain
    // HTTP or without its token.
    if (FTarget.Security.UseTls || !FTarget.Security.TokenFile.empty())
        return Failure(TStatsFailure::InvalidArgument,
                       "The definition of the broker at " + FTarget.Endpoint +
                           " asks for TLS or a token, which this build on Windows cannot give yet; nothing "
                           "was sent.");
    if (!FConnection && !SetUp())
        return SetupFailure();
    if (MillisLeft(Deadline) == 0)
        return TimeOutFailure(FTarget);
    auto call = std::make_unique<TCall>();
    if (!call->Done)
        return SetupFailure();
    // The path is encoded already: WinHTTP is told to send it as it is.
    HINTERNET request = WinHttpOpenRequest(FConnection.get(), Post ? L"POST" : L"GET", Widen(Path).c_str(),
                                           nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                           WINHTTP_FLAG_ESCAPE_DISABLE | WINHTTP_FLAG_ESCAPE_DISABLE_QUERY);
    if (!request)
        return ExchangeFailure(FTarget, ErrorText(GetLastError()));
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
    auto wait = [&]() -> DWORD {
        DWORD ms = MillisLeft(Deadline);
        if (ms == 0 || WaitForSingleObject(Call.Done, ms) != WAIT_OBJECT_0)
            return ERROR_WINHTTP_TIMEOUT;
        return Call.Error;
    };
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
        case ERROR_WINHTTP_CONNECTION_ERROR:
        case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
            // The broker closed the connection before any answer came.
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
    DWORD disable = WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_COOKIES;
    WinHttpSetOption(Request, WINHTTP_OPTION_DISABLE_FEATURE, &disable, sizeof disable);
    DWORD headerCap = static_cast<DWORD>(MaxHeaderBytes);
    WinHttpSetOption(Request, WINHTTP_OPTION_MAX_RESPONSE_HEADER_SIZE, &headerCap, sizeof headerCap);

    const wchar_t* headers = L"Accept: application/json\r\nContent-Type: application/json\r\n";
    void* data = Post ? const_cast<char*>(Body.data()) : WINHTTP_NO_REQUEST_DATA;
    DWORD size = Post ? static_cast<DWORD>(Body.size()) : 0;
    if (!WinHttpSendRequest(Request, headers, static_cast<DWORD>(-1L), data, size, size,
                            reinterpret_cast<DWORD_PTR>(&Call)))
        return failed(GetLastError());
    if (DWORD e = wait())
        return failed(e);
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

} // namespace

std::unique_ptr<THttpTransport> MakeHttpTransport(const THttpTarget& Target) {
    return std::make_unique<TWinHttpTransport>(Target);
}

} // namespace wdx::statshost
