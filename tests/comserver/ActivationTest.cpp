// The monitor's connection and relay check through the stand-ins on Windows,
// the same tests under both ways a program may get them:
//
//   InProcess/...  the class table holds the stand-ins (as on Linux);
//   System/...     the table is empty and COM activates the classes by their
//                  registration: WDXStatsHost.dll as regsvr32 registered it.
//                  ctest runs these after the registration (label
//                  registered_server, WDX_TEST_REGISTERED_SERVER=1).
//
// The brokers are a refusing port, definitions in the test's own store, and
// the Linux side's simulator (tests/statshost/TestBroker.h).

#include "../monitor/ComEnvironment.h"
#include "TestBroker.h"
#include "monitor/NPXMonitor.h"
#include "monitor/RelayCheck.h"
#include "monitorapi/MonitorIntf.h"
#include "monitorapi/WideText.h"
#include "statshost/StandIns.h"
#include "support/BrokerDefinitions.h"
#include "support/RefusingPort.h"
#include "support/TempStore.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>

using namespace wdx;
using namespace wdx::monitor;

namespace {

enum class TActivation { InProcess, System };

struct TAnswer {
    std::int16_t RelayStatus = -100;
    std::string RelayText;
    std::int32_t ConnectId = 0; // the connection's ENPXException, 0 when none
    std::string ConnectText;
};

// What the relay check and the connection say of Broker.
TAnswer Ask(const std::u16string& Broker) {
    TAnswer A;
    TRelayCheck Check = CheckBrokerThroughRelay(Broker);
    A.RelayStatus = Check.Status();
    A.RelayText = Check.Created() ? WideToUtf8(Check.ErrorText()) : "not created: " + Check.CreateFailure();
    try {
        TNPXMonitor Connection(Broker);
    } catch (const ENPXException& E) {
        A.ConnectId = E.MessageId;
        A.ConnectText = WideToUtf8(E.Detail);
    }
    return A;
}

bool Has(const std::string& Text, const std::string& Part) {
    return Text.find(Part) != std::string::npos;
}

class ThroughActivation : public ::testing::TestWithParam<TActivation> {
protected:
    void SetUp() override {
        if (GetParam() == TActivation::InProcess) {
            FMonitorClass.emplace(CLSID_Monitor, statshost::MonitorFactory());
            FRelayClass.emplace(CLSID_OmniRelay, statshost::RelayFactory());
            return;
        }
        if (!std::getenv("WDX_TEST_REGISTERED_SERVER"))
            GTEST_SKIP() << "needs WDXStatsHost.dll registered: ctest runs it so after regsvr32";
        ASSERT_FALSE(IsClassRegistered(CLSID_Monitor));
        ASSERT_FALSE(IsClassRegistered(CLSID_OmniRelay));
    }
    // Where the objects came from: the DLL is loaded exactly when COM
    // activated the classes through it.
    void ExpectServedAsAsked() const {
        EXPECT_EQ(GetModuleHandleW(L"WDXStatsHost.dll") != nullptr, GetParam() == TActivation::System);
    }

    testsupport::TTempStore FStore;
    std::optional<TClassRegistrationScope> FMonitorClass, FRelayClass;
};

} // namespace

TEST_P(ThroughActivation, RefusedBrokersSayWhy) {
    testsupport::TRefusingPort Dead;
    const std::string DeadPort = std::to_string(Dead.Port());
    testsupport::Define(brokerstore::scUser, "Refusing", "127.0.0.1", DeadPort, "5");
    testsupport::Define(brokerstore::scSystem, "Big port", "127.0.0.1", "70000", "5");

    TAnswer A = Ask(u"Nowhere");
    ExpectServedAsAsked();
    EXPECT_EQ(A.RelayStatus, statshost::rsNotDefined);
    const std::string Undefined =
        "The Component Broker \"Nowhere\" is not defined, neither for this user nor for this machine.";
    EXPECT_EQ(A.RelayText, Undefined);
    EXPECT_EQ(A.ConnectId, 2001);
    EXPECT_EQ(A.ConnectText, Undefined);

    // Found in the test's own store (by the DLL too), and refused.
    A = Ask(u"Refusing");
    EXPECT_EQ(A.RelayStatus, statshost::rsNotReachable);
    EXPECT_TRUE(Has(A.RelayText, "Cannot connect to the broker at 127.0.0.1:" + DeadPort)) << A.RelayText;
    EXPECT_EQ(A.ConnectId, 2001);
    EXPECT_TRUE(Has(A.ConnectText, "Cannot connect to the broker at 127.0.0.1:" + DeadPort)) << A.ConnectText;

    A = Ask(u"Big port");
    EXPECT_EQ(A.RelayStatus, statshost::rsBadDefinition);
    EXPECT_TRUE(Has(A.ConnectText, "port \"70000\", which is not a number from 1 to 65535")) << A.ConnectText;
}

TEST_P(ThroughActivation, ABrokersListsReachTheMonitor) {
    wdx::testing::TTestSim Sim;
    testsupport::Define(brokerstore::scUser, "Sim", "127.0.0.1", std::to_string(Sim.Port()), "5");
    const TAnswer A = Ask(u"Sim");
    EXPECT_EQ(A.RelayStatus, statshost::rsHealthy) << A.RelayText;
    EXPECT_EQ(A.ConnectId, 0) << A.ConnectText;

    auto Connection = std::make_unique<TNPXMonitor>(u"Sim");
    ExpectServedAsAsked();
    EXPECT_EQ(Connection->GetVersion(), "4.2.1 (test)");
    TServerList Servers = Connection->GetServers();
    ASSERT_EQ(Servers.size(), 3u);
    EXPECT_EQ(Servers[0].Name, "Orders");
    EXPECT_EQ(Servers[1].Name, "Price Engine/\xce\xb1%"); // through UTF-16 and back
    EXPECT_EQ(Servers[2].Requests, 2147483647);
    TServiceList Services = Connection->GetServices("Orders");
    ASSERT_EQ(Services.size(), 2u);
    EXPECT_EQ(Services[1].Name, "Orders.Cancel");
    TParamsList Params = Connection->GetParams("Orders.Create");
    ASSERT_EQ(Params.size(), 3u);
    EXPECT_EQ(Params[1].Precision, 15);

    // A broker that stops answering mid-session: the deadline, in words.
    brokersim::TFault Stall;
    Stall.Path = "/v1/components";
    Stall.Kind = brokersim::TFaultKind::Stall;
    Stall.Millis = 20000;
    Sim.AddFault(Stall);
    try {
        Connection->GetServers();
        ADD_FAILURE() << "a stalled list was read";
    } catch (const ENPXException& E) {
        EXPECT_EQ(E.MessageId, 2002);
        EXPECT_TRUE(Has(WideToUtf8(E.Detail), "did not answer within 5 seconds")) << WideToUtf8(E.Detail);
    }
    Sim.ClearFaults();
    TNPXMonitor::Destroy(Connection);
}

TEST_P(ThroughActivation, AFailedCallCarriesItsTextToTheClient) {
    TComPtr<_Monitor> Monitor;
    ASSERT_EQ(CreateComObject(CLSID_Monitor, Monitor), S_OK);
    ExpectServedAsAsked();
    TComPtr<_servers> Servers;
    ComCheck(Monitor->Servers(Servers.Out()));
    ComCheck(Servers->Close());

    // As a COM client asks: does the object keep error objects for it?
    TComPtr<ISupportErrorInfo> Support;
    ASSERT_EQ(Servers->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(Support.Out())), S_OK);
    EXPECT_EQ(Support->InterfaceSupportsErrorInfo(_servers::Iid), S_OK);
    try {
        ComCheck(Servers->Close());
        ADD_FAILURE() << "a second Close was accepted";
    } catch (const ECOMError& E) {
        EXPECT_STREQ(E.what(), "The component list has been closed.");
        EXPECT_EQ(E.ErrorCode(), E_FAIL);
    }
}

INSTANTIATE_TEST_SUITE_P(InProcess, ThroughActivation, ::testing::Values(TActivation::InProcess));
INSTANTIATE_TEST_SUITE_P(System, ThroughActivation, ::testing::Values(TActivation::System));
