#pragma once
// A loopback port that refuses connections, for the "broker not reachable"
// cases of the tests.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace wdx::testsupport {

// A loopback port that refuses connections: bound, so nobody else takes it
// while the test runs, but not listening.
class TRefusingPort {
public:
    TRefusingPort() : FFd(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in A{};
        A.sin_family = AF_INET;
        A.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t Len = sizeof A;
        if (FFd < 0 || bind(FFd, reinterpret_cast<sockaddr*>(&A), sizeof A) != 0 ||
            getsockname(FFd, reinterpret_cast<sockaddr*>(&A), &Len) != 0)
            throw std::runtime_error("cannot bind a loopback port");
        FPort = ntohs(A.sin_port);
    }
    ~TRefusingPort() { close(FFd); }
    TRefusingPort(const TRefusingPort&) = delete;
    TRefusingPort& operator=(const TRefusingPort&) = delete;
    int Port() const { return FPort; }

private:
    int FFd;
    int FPort = 0;
};

} // namespace wdx::testsupport
