#pragma once
// A hostile broker for the client's tests: listens on a free loopback port
// and answers every request it reads with what the test's script writes to
// the raw socket, byte for byte, headers included. Every wait is bounded, and
// the destructor ends the connection and joins the thread.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>

namespace wdx::testing {

class TScriptedBroker {
public:
    class TConnection {
    public:
        explicit TConnection(int Fd, const std::atomic<bool>& Stopping) : FFd(Fd), FStopping(Stopping) {}
        // Writes all of Data; false when the client has gone.
        bool Send(std::string_view Data) {
            while (!Data.empty()) {
                ssize_t n = ::send(FFd, Data.data(), Data.size(), MSG_NOSIGNAL);
                if (n <= 0)
                    return false;
                Data.remove_prefix(static_cast<std::size_t>(n));
            }
            return true;
        }
        // Waits up to Millis, cut short when the broker is stopped.
        bool Wait(int Millis) {
            auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(Millis);
            while (std::chrono::steady_clock::now() < until) {
                if (FStopping)
                    return false;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            return !FStopping;
        }

    private:
        int FFd;
        const std::atomic<bool>& FStopping;
    };
    using TScript = std::function<void(TConnection&)>;

    explicit TScriptedBroker(TScript Script) : FScript(std::move(Script)) {
        FListen = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (FListen < 0 || ::bind(FListen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(FListen, 8) != 0 || ::getsockname(FListen, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            throw std::runtime_error("the scripted broker cannot listen");
        FPort = ntohs(a.sin_port);
        FThread = std::thread([this] { Serve(); });
    }
    ~TScriptedBroker() {
        FStopping = true;
        FThread.join();
        ::close(FListen);
    }
    TScriptedBroker(const TScriptedBroker&) = delete;
    TScriptedBroker& operator=(const TScriptedBroker&) = delete;

    int Port() const { return FPort; }
    // Requests read so far.
    int Requests() const { return FRequests; }

    // A whole answer with the given status, headers and body.
    static std::string Answer(int Status, std::string_view Body, std::string_view ExtraHeaders = {}) {
        return "HTTP/1.1 " + std::to_string(Status) +
               " X\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(Body.size()) +
               "\r\n" + std::string(ExtraHeaders) + "\r\n" + std::string(Body);
    }

private:
    bool Readable(int Fd, int Millis) {
        pollfd p{Fd, POLLIN, 0};
        return ::poll(&p, 1, Millis) > 0;
    }

    void Serve() {
        while (!FStopping) {
            if (!Readable(FListen, 20))
                continue;
            int fd = ::accept(FListen, nullptr, nullptr);
            if (fd < 0)
                continue;
            // One request head per script run; requests carry no body here
            // but the action's, which is small and read along with it.
            std::string head;
            char buf[4096];
            while (!FStopping) {
                if (!Readable(fd, 20))
                    continue;
                ssize_t n = ::recv(fd, buf, sizeof buf, 0);
                if (n <= 0)
                    break;
                head.append(buf, static_cast<std::size_t>(n));
                if (head.find("\r\n\r\n") != std::string::npos) {
                    ++FRequests;
                    TConnection c(fd, FStopping);
                    FScript(c);
                    break;
                }
            }
            ::close(fd);
        }
    }

    TScript FScript;
    int FListen = -1;
    int FPort = 0;
    std::atomic<bool> FStopping{false};
    std::atomic<int> FRequests{0};
    std::thread FThread;
};

} // namespace wdx::testing
