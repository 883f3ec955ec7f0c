#include "statshost/transport/HttpTransport.h"

#include "statshost/StatsProtocol.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>

#ifndef _WIN32
#include <sys/stat.h>
#endif
#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace wdx::statshost {

namespace {

// A large body is written from its start to its end, every byte of it:
// where the system can back it with large pages, it takes a few hundred
// times fewer page faults (a tenth of a list's run at 100,000 components).
// Such a body is made to start on a large-page boundary, so that all of it
// but its last part of a large page can be; that is only a hint: when the
// system declines, the pages stay as they were. (It is not rounded up to
// whole large pages: the last one would count in full towards the memory
// the process holds.)
constexpr std::size_t LargePage = std::size_t{2} << 20;

std::string Seconds(int N) {
    return std::to_string(N) + (N == 1 ? " second" : " seconds");
}
} // namespace

THttpBody::~THttpBody() {
    Release();
}

void THttpBody::Release() {
    if (FLarge)
        ::operator delete (FData, FCapacity, std::align_val_t{LargePage});
    else
        std::free(FData);
}

bool THttpBody::Reserve(std::size_t Bytes) {
    if (Bytes <= FCapacity)
        return true;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // From the program's allocation functions rather than the C library's:
    // a program with functions of its own (WDXStat) can then hand the
    // body's pages, once it is read, to the records read from it.
    if (Bytes >= 2 * LargePage) {
        auto* block = static_cast<char*>(::operator new (Bytes, std::align_val_t{LargePage}, std::nothrow));
        if (!block)
            return false;
        madvise(block, Bytes & ~(LargePage - 1), MADV_HUGEPAGE);
        if (FSize)
            std::memcpy(block, FData, FSize);
        Release();
        FData = block;
        FCapacity = Bytes;
        FLarge = true;
        return true;
    }
#endif
    // Smaller, and so never a large block yet.
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

TStatsError CertificateFailure(const THttpTarget& Target, TCertificateProblem Problem,
                               const std::string& Detail) {
    const std::string Cert = "The certificate of the broker at " + Target.Endpoint;
    std::string Text;
    switch (Problem) {
    case TCertificateProblem::Expired:
        Text = Cert + " has expired";
        break;
    case TCertificateProblem::WrongHost:
        Text = Cert + " is not for the host name \"" + Target.Host + "\"";
        break;
    case TCertificateProblem::Untrusted:
        Text = Cert + " is not trusted: it was checked against " +
               (Target.Security.CaFile.empty() ? std::string("the system's trusted certificates")
                                               : "the CA file \"" + Target.Security.CaFile + "\"");
        break;
    }
    return Failure(TStatsFailure::Connect, Text + " (" + Detail + ").");
}

TStatsError NotTlsFailure(const THttpTarget& Target, const std::string& Detail) {
    return Failure(TStatsFailure::Connect,
                   "The broker at " + Target.Endpoint +
                       " does not answer with TLS, which this definition uses; it may "
                       "serve plain HTTP (" +
                       Detail + ").");
}

TStatsError ClosedToPlainFailure(const THttpTarget& Target, const std::string& Detail) {
    return Failure(TStatsFailure::Transport,
                   "The connection to the broker at " + Target.Endpoint +
                       " was closed without an answer it could read; a broker that serves TLS does this to "
                       "plain HTTP, and this definition does not use TLS (" +
                       Detail + ").");
}

TStatsError TlsFailure(const THttpTarget& Target, const std::string& Detail) {
    return Failure(TStatsFailure::Connect,
                   "The TLS connection to the broker at " + Target.Endpoint + " failed: " + Detail + ".");
}

TStatsError CaFileFailure(const THttpTarget& Target, const std::string& Detail) {
    return Failure(TStatsFailure::InvalidArgument,
                   "The CA file \"" + Target.Security.CaFile +
                       "\" that the definition names cannot be used: " + Detail + ".");
}

#ifndef _WIN32
std::optional<TStatsError> ReadPrivateFile(const std::string& Path, const std::string& File,
                                           std::size_t MaxBytes, std::string& Text) {
    auto Refused = [&](const std::string& Why) {
        return Failure(TStatsFailure::InvalidArgument, File + " " + Why);
    };
    struct stat St {};
    if (stat(Path.c_str(), &St) != 0)
        return Refused(std::string("cannot be read: ") + std::strerror(errno) + ".");
    if (!S_ISREG(St.st_mode))
        return Refused("is not a file.");
    // As ssh refuses a private key others can read: a token others can read
    // is no longer this user's.
    if ((St.st_mode & 077) != 0) {
        char Mode[8];
        std::snprintf(Mode, sizeof Mode, "%04o", static_cast<unsigned>(St.st_mode & 07777));
        return Refused(std::string("can be read or written by other users (mode ") + Mode +
                       "); it is not used. Make it its owner's only: chmod 600 \"" + Path + "\".");
    }
    if (static_cast<std::size_t>(St.st_size) > MaxBytes) {
        Text.assign(MaxBytes + 1, '\0');
        return std::nullopt;
    }
    std::ifstream In(Path, std::ios::binary);
    Text.assign((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
    if (!In.good() && !In.eof())
        return Refused(std::string("cannot be read: ") + std::strerror(errno) + ".");
    return std::nullopt;
}
#endif

std::optional<TStatsError> ReadTokenFile(const std::string& Path, std::string& Token) {
    const std::string File = "The token file \"" + Path + "\"";
    auto Refused = [&](const std::string& Why) {
        return Failure(TStatsFailure::InvalidArgument, File + " " + Why);
    };
    constexpr std::size_t MaxBytes = 4096;
    std::string Text;
    if (auto Unusable = ReadPrivateFile(Path, File, MaxBytes, Text))
        return Unusable;
    if (Text.size() > MaxBytes) {
        std::fill(Text.begin(), Text.end(), '\0');
        return Refused("is larger than 4096 bytes; it must hold one token.");
    }
    const char* Blank = " \t\r\n";
    std::size_t First = Text.find_first_not_of(Blank);
    std::size_t Last = Text.find_last_not_of(Blank);
    std::string Found = First == std::string::npos ? std::string() : Text.substr(First, Last + 1 - First);
    std::fill(Text.begin(), Text.end(), '\0');
    if (Found.empty())
        return Refused("holds no token.");
    // The token goes into a header line: nothing that could end or bend it.
    if (!std::all_of(Found.begin(), Found.end(), [](char C) { return C > 0x20 && C < 0x7f; })) {
        std::fill(Found.begin(), Found.end(), '\0');
        return Refused("holds more than one token, or characters a token cannot have.");
    }
    Token = std::move(Found);
    return std::nullopt;
}

std::optional<TStatsError> RefuseTokenInClear(const THttpTarget& Target) {
    if (Target.Security.TokenFile.empty() || Target.Security.UseTls)
        return std::nullopt;
    std::string Host = Target.Host;
    std::transform(Host.begin(), Host.end(), Host.begin(),
                   [](unsigned char C) { return char(std::tolower(C)); });
    if (Host == "localhost" || Host == "::1" || Host == "[::1]" || Host.rfind("127.", 0) == 0)
        return std::nullopt;
    return Failure(TStatsFailure::InvalidArgument,
                   "The definition names the token file \"" + Target.Security.TokenFile +
                       "\" but does not use TLS: the token is not sent in clear text to the broker at " +
                       Target.Endpoint + ". Set UseTls to Y, or reach the broker on this machine.");
}

std::optional<TStatsError> AuthorizationLine(const THttpTarget& Target, std::string& Line) {
    Line.clear();
    if (auto Refused = RefuseTokenInClear(Target))
        return Refused;
    if (Target.Security.TokenFile.empty())
        return std::nullopt;
    std::string Token;
    if (auto Refused = ReadTokenFile(Target.Security.TokenFile, Token))
        return Refused;
    Line = "Authorization: Bearer " + Token;
    std::fill(Token.begin(), Token.end(), '\0');
    return std::nullopt;
}

TStatsError AccessRefusedFailure(const THttpTarget& Target, const TStatsError& BrokerSays) {
    const std::string At = "the broker at " + Target.Endpoint;
    const std::string& File = Target.Security.TokenFile;
    std::string Text;
    if (BrokerSays.HttpStatus == 403)
        Text = "The token of \"" + File + "\" may not do this on " + At +
               ": it may only read, and actions need "
               "a token of the role operate.";
    else if (File.empty())
        Text =
            "The broker at " + Target.Endpoint + " asks for a token, and the definition names no token file.";
    else
        Text = "The broker at " + Target.Endpoint + " refused the token of \"" + File + "\".";
    TStatsError E = BrokerSays;
    E.Text = Text + " The broker says: " + BrokerSays.Text;
    return E;
}

} // namespace wdx::statshost
