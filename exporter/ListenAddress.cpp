#include "exporter/ListenAddress.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <charconv>

namespace wdx::exporter {

std::optional<TListenAddress> ParseListenAddress(const std::string& Text, std::string& Error) {
    const std::string Given = "The listen address \"" + Text + "\"";
    if (!Text.empty() && Text.front() == '[') {
        // The embedded web server of this build has no IPv6.
        Error = Given + " is an IPv6 address; only IPv4 addresses and host names can be listened on.";
        return std::nullopt;
    }
    std::size_t Colon = Text.rfind(':');
    if (Colon == std::string::npos || Colon == 0 || Colon + 1 == Text.size()) {
        Error = Given + " is not of the form HOST:PORT.";
        return std::nullopt;
    }
    std::string Host = Text.substr(0, Colon);
    if (Host.find(':') != std::string::npos) {
        Error = Given + " is an IPv6 address; only IPv4 addresses and host names can be listened on.";
        return std::nullopt;
    }
    std::string PortText = Text.substr(Colon + 1);
    int Port = -1;
    auto [End, Ec] = std::from_chars(PortText.data(), PortText.data() + PortText.size(), Port, 10);
    if (PortText.find_first_not_of("0123456789") != std::string::npos || Ec != std::errc() ||
        End != PortText.data() + PortText.size() || Port > 65535) {
        Error = Given + " has the port \"" + PortText + "\", which is not a number from 0 to 65535.";
        return std::nullopt;
    }

    TListenAddress A;
    A.Port = Port;
    in_addr Numeric{};
    if (inet_pton(AF_INET, Host.c_str(), &Numeric) == 1) {
        A.Host = Host;
        return A;
    }
    addrinfo Hints{};
    Hints.ai_family = AF_INET;
    Hints.ai_socktype = SOCK_STREAM;
    addrinfo* Found = nullptr;
    int Rc = getaddrinfo(Host.c_str(), nullptr, &Hints, &Found);
    if (Rc != 0 || !Found) {
        Error = Given + " names the host \"" + Host + "\", which has no IPv4 address here (" +
                gai_strerror(Rc) + ").";
        return std::nullopt;
    }
    char Buf[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(Found->ai_addr)->sin_addr, Buf, sizeof Buf);
    freeaddrinfo(Found);
    A.Host = Buf;
    return A;
}

int FreePort(const std::string& Host) {
    sockaddr_in A{};
    A.sin_family = AF_INET;
    if (inet_pton(AF_INET, Host.c_str(), &A.sin_addr) != 1)
        return 0;
    int Fd = socket(AF_INET, SOCK_STREAM, 0);
    if (Fd < 0)
        return 0;
    socklen_t Len = sizeof A;
    int Port = 0;
    if (bind(Fd, reinterpret_cast<sockaddr*>(&A), sizeof A) == 0 &&
        getsockname(Fd, reinterpret_cast<sockaddr*>(&A), &Len) == 0)
        Port = ntohs(A.sin_port);
    close(Fd);
    return Port;
}

} // namespace wdx::exporter
