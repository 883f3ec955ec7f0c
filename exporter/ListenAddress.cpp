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
    std::size_t Colon = Text.rfind(':');
    const bool Bracketed = !Text.empty() && Text.front() == '[';
    if (Bracketed) {
        std::size_t Close = Text.find(']');
        if (Close == std::string::npos || Close + 1 != Colon) {
            Error = Given + " is not of the form [IPv6]:PORT.";
            return std::nullopt;
        }
    }
    if (Colon == std::string::npos || Colon == 0 || Colon + 1 == Text.size()) {
        Error = Given + " is not of the form HOST:PORT.";
        return std::nullopt;
    }
    std::string Host = Bracketed ? Text.substr(1, Colon - 2) : Text.substr(0, Colon);
    if (!Bracketed && Host.find(':') != std::string::npos) {
        Error = Given + " holds an IPv6 address without brackets; write it as [ADDRESS]:PORT.";
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
    if (Bracketed) {
        in6_addr Numeric6{};
        if (inet_pton(AF_INET6, Host.c_str(), &Numeric6) != 1) {
            Error = Given + " has \"" + Host + "\" in brackets, which is not an IPv6 address.";
            return std::nullopt;
        }
        char Buf[INET6_ADDRSTRLEN] = {};
        inet_ntop(AF_INET6, &Numeric6, Buf, sizeof Buf);
        A.Host = Buf;
        return A;
    }
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

std::string TListenAddress::Text() const {
    return (IsIpv6() ? "[" + Host + "]" : Host) + ":" + std::to_string(Port);
}

int FreePort(const std::string& Host) {
    sockaddr_storage A{};
    socklen_t Len = 0;
    auto* V4 = reinterpret_cast<sockaddr_in*>(&A);
    auto* V6 = reinterpret_cast<sockaddr_in6*>(&A);
    if (inet_pton(AF_INET, Host.c_str(), &V4->sin_addr) == 1) {
        V4->sin_family = AF_INET;
        Len = sizeof *V4;
    } else if (inet_pton(AF_INET6, Host.c_str(), &V6->sin6_addr) == 1) {
        V6->sin6_family = AF_INET6;
        Len = sizeof *V6;
    } else {
        return 0;
    }
    int Fd = socket(A.ss_family, SOCK_STREAM, 0);
    if (Fd < 0)
        return 0;
    int Port = 0;
    if (bind(Fd, reinterpret_cast<sockaddr*>(&A), Len) == 0 &&
        getsockname(Fd, reinterpret_cast<sockaddr*>(&A), &Len) == 0)
        Port = ntohs(A.ss_family == AF_INET ? V4->sin_port : V6->sin6_port);
    close(Fd);
    return Port;
}

} // namespace wdx::exporter
