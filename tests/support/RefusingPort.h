#pragma once
// A loopback port that refuses connections, for the "broker not reachable"
// cases of the tests.

#ifdef _WIN32
#include <winsock2.h>
#else
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <stdexcept>

namespace wdx::testsupport {

// A loopback port that refuses connections: bound, so nobody else takes it
// while the test runs, but not listening.
class TRefusingPort {
public:
#ifdef _WIN32
    using TSocket = SOCKET;
    static constexpr TSocket NoSocket = INVALID_SOCKET;
    static void CloseSocket(TSocket S) {
        closesocket(S);
    }
#else
    using TSocket = int;
    static constexpr TSocket NoSocket = -1;
    static void CloseSocket(TSocket S) {
        close(S);
    }
#endif

    TRefusingPort() {
#ifdef _WIN32
        WSADATA Data;
        if (WSAStartup(MAKEWORD(2, 2), &Data) != 0)
            throw std::runtime_error("Windows sockets cannot be started");
#endif
        FFd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in A{};
        A.sin_family = AF_INET;
        A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
#ifdef _WIN32
        int Len = sizeof A;
#else
        socklen_t Len = sizeof A;
#endif
        if (FFd == NoSocket || bind(FFd, reinterpret_cast<sockaddr*>(&A), sizeof A) != 0 ||
            getsockname(FFd, reinterpret_cast<sockaddr*>(&A), &Len) != 0) {
            if (FFd != NoSocket)
                CloseSocket(FFd);
#ifdef _WIN32
            WSACleanup();
#endif
            throw std::runtime_error("cannot bind a loopback port");
        }
        FPort = ntohs(A.sin_port);
    }
    ~TRefusingPort() {
        CloseSocket(FFd);
#ifdef _WIN32
        WSACleanup();
#endif
    }
    TRefusingPort(const TRefusingPort&) = delete;
    TRefusingPort& operator=(const TRefusingPort&) = delete;
    int Port() const {
        return FPort;
    }

private:
    TSocket FFd = NoSocket;
    int FPort = 0;
};

} // namespace wdx::testsupport
