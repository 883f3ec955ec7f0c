#pragma once
// What the stand-in tests share: a temporary settings store, the relay and
// monitor server registered for their class identifiers, a simulated broker
// on loopback, and broker definitions pointing at it.

#include "brokersim/SimHarness.h"
#include "brokerstore/BrokerStore.h"
#include "monitorapi/ComFactory.h"
#include "monitorapi/MonitorIntf.h"
#include "statshost/StandIns.h"
#include "support/TempStore.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>

namespace wdx::testing {

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

class TStandInHarness {
public:
    explicit TStandInHarness(const std::string& Scenario = SmallScenario) : FSim(Scenario) {}

    TSimHarness& Sim() { return FSim; }

    // A definition of Name under Scope; the port and time-out texts go in as given.
    static void Define(const std::string& Name, const std::string& Host, const std::string& Port,
                       const std::string& TimeOut = "5",
                       brokerstore::TBrokerScope Scope = brokerstore::scUser) {
        brokerstore::TBrokerDefinition D;
        D.Name = Name;
        D.Scope = Scope;
        D.HostName = Host;
        D.Port = Port;
        D.TimeOut = TimeOut;
        if (!brokerstore::WriteBrokerDefinition(D))
            throw std::runtime_error("cannot write the definition of " + Name);
    }
    // Name defined on the simulator.
    void DefineSim(const std::string& Name, const std::string& TimeOut = "5",
                   brokerstore::TBrokerScope Scope = brokerstore::scUser) {
        Define(Name, "127.0.0.1", std::to_string(FSim.Port()), TimeOut, Scope);
    }

    static brokersim::TFault Fault(const std::string& Path, brokersim::TFaultKind Kind, int Millis = 0) {
        brokersim::TFault F;
        F.Path = Path;
        F.Kind = Kind;
        F.Millis = Millis;
        return F;
    }
    // A status-200 answer with Body verbatim.
    static brokersim::TFault Answer(const std::string& Path, const std::string& Body) {
        brokersim::TFault F = Fault(Path, brokersim::TFaultKind::Body);
        F.Status = 200;
        F.Text = Body;
        return F;
    }

private:
    testsupport::TTempStore FStore; // before the simulator, gone after it
    monitor::TClassRegistrationScope FMonitorClass{monitor::CLSID_Monitor, statshost::MonitorFactory()};
    monitor::TClassRegistrationScope FRelayClass{monitor::CLSID_OmniRelay, statshost::RelayFactory()};
    TSimHarness FSim;
};

inline double SecondsSince(std::chrono::steady_clock::time_point Start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
}

} // namespace wdx::testing
