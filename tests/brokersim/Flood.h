#pragma once
// Bad clients for the simulator, all on loopback: connections that stay
// idle, and connections that send a request's head one byte at a time.
// Used by the simulator's tests and by bench/SimFloodBench.cpp.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>
#include <thread>
#include <vector>

namespace wdx::testing {

// Raises this process's limit of open descriptors to what the system allows;
// returns the limit now in force.
inline std::size_t RaiseFileLimit() {
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) != 0)
        return 0;
    if (files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
        getrlimit(RLIMIT_NOFILE, &files);
    }
    return static_cast<std::size_t>(files.rlim_cur);
}

class TFlood {
public:
    // Opens Count connections to 127.0.0.1:Port. With ByteMillis > 0 each
    // of them then sends the head of a GET one byte per ByteMillis, from one
    // thread, never finishing it; with 0 they send nothing. Open() tells how
    // many connections were made.
    TFlood(int Port, std::size_t Count, int ByteMillis) {
        for (std::size_t i = 0; i < Count; ++i) {
            int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            if (fd < 0)
                break;
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(static_cast<uint16_t>(Port));
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
                ::close(fd);
                break;
            }
            FFds.push_back(fd);
        }
        if (ByteMillis > 0)
            FTrickler = std::thread([this, ByteMillis] { Trickle(ByteMillis); });
    }
    ~TFlood() {
        FStop = true;
        if (FTrickler.joinable())
            FTrickler.join();
        for (int fd : FFds)
            ::close(fd);
    }
    TFlood(const TFlood&) = delete;
    TFlood& operator=(const TFlood&) = delete;

    std::size_t Open() const { return FFds.size(); }

private:
    void Trickle(int ByteMillis) {
        static const std::string Head =
            "GET /v1/components HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: " + std::string(1 << 16, 's');
        std::size_t at = 0;
        while (!FStop) {
            char c = Head[at++ % Head.size()];
            for (int fd : FFds)
                ::send(fd, &c, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            for (int waited = 0; waited < ByteMillis && !FStop; waited += 10)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    std::vector<int> FFds;
    std::atomic<bool> FStop{false};
    std::thread FTrickler;
};

} // namespace wdx::testing
