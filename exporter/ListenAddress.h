#pragma once
// The address the exporter serves on, as given with --listen HOST:PORT.

#include <optional>
#include <string>

namespace wdx::exporter {

inline constexpr const char* DefaultListen = "127.0.0.1:9563";

struct TListenAddress {
    std::string Host; // a numeric IPv4 or IPv6 address (IPv6 without brackets)
    int Port = 0;     // 0: any free port, chosen when the server binds
    bool IsIpv6() const { return Host.find(':') != std::string::npos; }
    // HOST:PORT, IPv6 in brackets: [::1]:9563.
    std::string Text() const;
};

// HOST:PORT, where HOST is an IPv4 address, an IPv6 address in brackets
// ([::] serves IPv6 and IPv4 alike, [::1] IPv6 loopback) or a name that
// resolves to an IPv4 address (taken as its first), and PORT is 0 to 65535.
// Empty, with Error set to a sentence, when the text cannot be used.
std::optional<TListenAddress> ParseListenAddress(const std::string& Text, std::string& Error);

// A port on Host (a numeric IPv4 or IPv6 address) that is free at this
// moment, from the kernel; 0 when none can be had. Another program may take
// it before the caller binds it, so the caller tries again with a new one
// when that fails.
int FreePort(const std::string& Host);

} // namespace wdx::exporter
