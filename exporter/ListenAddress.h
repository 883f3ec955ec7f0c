#pragma once
// The address the exporter serves on, as given with --listen HOST:PORT.

#include <optional>
#include <string>

namespace wdx::exporter {

inline constexpr const char* DefaultListen = "127.0.0.1:9563";

struct TListenAddress {
    std::string Host; // a numeric IPv4 address
    int Port = 0;     // 0: any free port, chosen when the server binds
    std::string Text() const { return Host + ":" + std::to_string(Port); }
};

// HOST:PORT, where HOST is an IPv4 address or a name that resolves to one
// (taken as its first IPv4 address) and PORT is 0 to 65535. Empty, with
// Error set to a sentence, when the text cannot be used.
std::optional<TListenAddress> ParseListenAddress(const std::string& Text, std::string& Error);

// A port on Host (a numeric IPv4 address) that is free at this moment, from
// the kernel; 0 when none can be had. Another program may take it before the
// caller binds it, so the caller tries again with a new one when that fails.
int FreePort(const std::string& Host);

} // namespace wdx::exporter
