#pragma once
// What the stand-in tests share: a temporary settings store, the relay and
// monitor server registered for their class identifiers, a simulated broker
// on loopback (TestBroker.h: in-process on Linux, the Linux side's on
// Windows), and broker definitions pointing at it (others:
// testsupport::Define, support/BrokerDefinitions.h).
//
// On Windows, with WDX_TEST_STANDINS=registered, the class table stays empty
// instead, so that COM activates the classes through their registration:
// WDXStatsHost.dll as regsvr32 registered it (the registered_server tests).

#include "../monitor/ComEnvironment.h"
#include "TestBroker.h"
#include "brokerstore/BrokerStore.h"
#include "monitor/NPXMonitor.h"
#include "monitorapi/ComFactory.h"
#include "monitorapi/MonitorIntf.h"
#include "statshost/StandIns.h"
#include "support/BrokerDefinitions.h"
#include "support/RefusingPort.h"
#include "support/TempStore.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

namespace wdx::testing {

using testsupport::TRefusingPort;

// Whether this run reaches the stand-ins through the system's registration.
inline bool StandInsRegistered() {
    const char* How = std::getenv("WDX_TEST_STANDINS");
    return How && std::string(How) == "registered";
}

class TStandInHarness {
public:
    TStandInHarness() {
        if (!StandInsRegistered()) {
            FMonitorClass.emplace(monitor::CLSID_Monitor, statshost::MonitorFactory());
            FRelayClass.emplace(monitor::CLSID_OmniRelay, statshost::RelayFactory());
        } else if (monitor::IsClassRegistered(monitor::CLSID_Monitor) ||
                   monitor::IsClassRegistered(monitor::CLSID_OmniRelay)) {
            throw std::logic_error("the class table must be empty when the stand-ins come from the system");
        }
    }

    TTestSim& Sim() { return FSim; }

    // Name defined on the simulator.
    void DefineSim(const std::string& Name, const std::string& TimeOut = "5",
                   brokerstore::TBrokerScope Scope = brokerstore::scUser) {
        testsupport::Define(Scope, Name, "127.0.0.1", std::to_string(FSim.Port()), TimeOut);
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
    std::optional<monitor::TClassRegistrationScope> FMonitorClass, FRelayClass;
    TTestSim FSim;
};

inline double SecondsSince(std::chrono::steady_clock::time_point Start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
}

// The ENPXException Call raises; a failed expectation when it raises none.
inline monitor::ENPXException Raised(const std::function<void()>& Call) {
    try {
        Call();
    } catch (const monitor::ENPXException& E) {
        return E;
    }
    ADD_FAILURE() << "no ENPXException";
    return monitor::ENPXException(0, "", u"");
}

} // namespace wdx::testing
