#pragma once
// The brokers the client's tests talk to, the same on both transports.
//
// On Linux they are served in the test's own process. On Windows the tests
// run under Wine and the brokers are served on the Linux side by
// statshost_test_peer (TestPeer.cpp), which scripts/test-windows.sh starts
// and ends; it hands the ports over in WDX_TEST_PEER as "name=port,...":
// "sim" for the simulated broker (its faults switched through its control
// endpoint), one name per scripted broker of HostileScripts.h and per broker
// of SecureBrokers.h, and "pki" for the folder of the certificates.

#include "brokersim/Faults.h"
#include "statshost/StatsTypes.h"

#include <nlohmann/json.hpp>

#include <stdexcept>
#include <string>
#include <string_view>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>
#else
#include "brokersim/SimHarness.h"
#endif

namespace wdx::testing {

#ifdef _WIN32

// Whether this process runs under Wine rather than on Windows itself.
inline bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// What WDX_TEST_PEER gives for Name.
inline std::string PeerValue(std::string_view Name) {
    const char* peer = std::getenv("WDX_TEST_PEER");
    if (!peer)
        throw std::runtime_error("WDX_TEST_PEER is not set: the client's tests on Windows talk to brokers "
                                 "served on the Linux side; run them through scripts/test-windows.sh");
    std::string_view all(peer);
    std::string key = std::string(Name) + "=";
    for (std::size_t at = 0; at < all.size();) {
        std::size_t end = all.find(',', at);
        std::string_view item = all.substr(at, end == std::string_view::npos ? all.npos : end - at);
        if (item.substr(0, key.size()) == key)
            return std::string(item.substr(key.size()));
        if (end == std::string_view::npos)
            break;
        at = end + 1;
    }
    throw std::runtime_error("WDX_TEST_PEER names no broker \"" + std::string(Name) + "\"");
}

// The port the Linux side serves Name on.
inline int PeerPort(std::string_view Name) {
    return std::stoi(PeerValue(Name));
}

// One request to the simulator's control endpoint, on a connection of its
// own (not the transport under test); its status, or throws.
inline int ControlRequest(int Port, const std::string& Method, const std::string& Path,
                          const std::string& Body = {}) {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started)
        throw std::runtime_error("Windows sockets cannot be started");
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        throw std::runtime_error("no socket for the control request");
    DWORD timeout = 5000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<u_short>(Port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string request = Method + " " + Path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" +
                          "Content-Type: application/json\r\nContent-Length: " + std::to_string(Body.size()) +
                          "\r\n\r\n" + Body;
    std::string answer;
    bool sent =
        ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::send(s, request.data(), static_cast<int>(request.size()), 0) == static_cast<int>(request.size());
    char buf[4096];
    for (int n; sent && (n = ::recv(s, buf, sizeof buf, 0)) > 0;)
        answer.append(buf, static_cast<std::size_t>(n));
    ::closesocket(s);
    if (answer.rfind("HTTP/1.1 ", 0) != 0 || answer.size() < 12)
        throw std::runtime_error("the simulator's control endpoint did not answer " + Method + " " + Path);
    return std::stoi(answer.substr(9, 3));
}

// The simulated broker (SimHarness.h's small scenario) served by the Linux
// side, put back as it started for each test (no faults, the scenario's
// figures and health). The tests that use it run one at a time
// (tests/statshost/CMakeLists.txt).
class TTestSim {
public:
    TTestSim() : FPort(PeerPort("sim")) { Control("POST", "/control/reset", "", "reset"); }
    int Port() const { return FPort; }
    void AddFault(const brokersim::TFault& Fault) {
        Control("POST", "/control/faults", brokersim::FaultToJson(Fault).dump(), "add a fault");
    }
    void ClearFaults() { Control("DELETE", "/control/faults", "", "clear its faults"); }
    void SetHealth(const statshost::THealth& Health) {
        nlohmann::json Body{
            {"state", Health.State == statshost::THealthState::Warning ? "warning" : "healthy"},
            {"text", Health.Text}};
        Control("POST", "/control/health", Body.dump(), "change its health");
    }
    void Tick(int Count) {
        Control("POST", "/control/tick", nlohmann::json{{"count", Count}}.dump(), "tick");
    }

private:
    void Control(const std::string& Method, const std::string& Path, const std::string& Body,
                 const char* What) {
        if (ControlRequest(FPort, Method, Path, Body) != 200)
            throw std::runtime_error(std::string("the simulator did not ") + What);
    }

    int FPort;
};

#else

inline bool RunningUnderWine() {
    return false;
}

class TTestSim {
public:
    int Port() const { return FSim.Port(); }
    void AddFault(const brokersim::TFault& Fault) { FSim.Faults().Add(Fault); }
    void ClearFaults() { FSim.Faults().Clear(); }
    void SetHealth(const statshost::THealth& Health) { FSim.Broker().SetHealth(Health); }
    void Tick(int Count) { FSim.Broker().Tick(Count); }
    // What only an in-process simulator offers.
    brokersim::TSimBroker& Broker() { return FSim.Broker(); }
    brokersim::TFaultTable& Faults() { return FSim.Faults(); }
    brokersim::TSimServer& Server() { return FSim.Server(); }

private:
    TSimHarness FSim;
};

#endif

} // namespace wdx::testing
