// TNPXMonitor, the monitor's connection, through the stand-ins to a
// simulated broker on loopback: what the windows get for every operation,
// what each action does, and how every kind of failure reaches them.

#include "StandInHarness.h"

#include "monitor/NPXMonitor.h"
#include "monitorapi/WideText.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace wdx;
using namespace wdx::monitor;
using brokersim::TFaultKind;
using wdx::testing::Raised;
using wdx::testing::TRefusingPort;
using wdx::testing::TStandInHarness;

namespace {

std::string DetailOf(const ENPXException& E) {
    return WideToUtf8(E.Detail);
}

bool Has(const std::string& Text, const std::string& Part) {
    return Text.find(Part) != std::string::npos;
}

class EndToEnd : public ::testing::Test {
protected:
    EndToEnd() { H.DefineSim("Sim"); }
    std::unique_ptr<TNPXMonitor> Connect(const char16_t* Name = u"Sim") {
        return std::make_unique<TNPXMonitor>(Name);
    }

    TStandInHarness H;
};

} // namespace

TEST_F(EndToEnd, ListsDetailsAndVersionAsTheBrokerHasThem) {
    auto C = Connect();
    EXPECT_EQ(C->GetVersion(), "4.2.1 (test)");

    TServerList Servers = C->GetServers();
    ASSERT_EQ(Servers.size(), 3u);
    EXPECT_EQ(Servers[0].Name, "Orders");
    EXPECT_EQ(Servers[0].Active, 3);
    EXPECT_EQ(Servers[0].Maximum, 8);
    EXPECT_EQ(Servers[0].Requests, 120);
    EXPECT_EQ(Servers[0].Queued, 2);
    EXPECT_EQ(Servers[0].QueueTime, 15);
    EXPECT_EQ(Servers[0].ServiceTime, 40);
    EXPECT_EQ(Servers[1].Name, "Price Engine/\xce\xb1%"); // through UTF-16 and back
    EXPECT_EQ(Servers[2].Name, "Billing");
    EXPECT_EQ(Servers[2].Requests, 2147483647);

    TServiceList Services = C->GetServices(Servers[1].Name);
    ASSERT_EQ(Services.size(), 1u);
    EXPECT_EQ(Services[0].Name, "Shared.Lookup");
    Services = C->GetServices("Orders");
    ASSERT_EQ(Services.size(), 2u);
    EXPECT_EQ(Services[0].Name, "Orders.Create");
    EXPECT_EQ(Services[0].Requests, 100);
    EXPECT_EQ(Services[0].ServiceTime, 45);

    TParamsList Params = C->GetParams("Orders.Create");
    ASSERT_EQ(Params.size(), 3u);
    EXPECT_EQ(Params[1].Name, "Amount");
    EXPECT_EQ(Params[1].DataType, 2);
    EXPECT_EQ(Params[1].Mode, 3);
    EXPECT_EQ(Params[1].Precision, 15);
    EXPECT_EQ(Params[1].Scale, 2);
    EXPECT_EQ(Params[2].Mode, 5);
    // A service name several components have: the first component's.
    Params = C->GetParams("Shared.Lookup");
    ASSERT_EQ(Params.size(), 1u);
    EXPECT_EQ(Params[0].Name, "Key");
    EXPECT_TRUE(C->GetServices("Billing").size() == 1 && C->GetParams("Orders.Cancel").empty());

    TServerMore More = C->GetServerMore("Orders");
    EXPECT_EQ(More.InvokedBy, "ws-01, ws-02");
    EXPECT_EQ(More.Maximum, 8);
    EXPECT_EQ(More.Active, 3);

    // Figures are fetched afresh on every query.
    H.Sim().Tick(5);
    TServerList Again = C->GetServers();
#ifdef _WIN32
    EXPECT_GT(Again[0].Requests, Servers[0].Requests); // the simulator is the Linux side's
#else
    auto Now = H.Sim().Broker().Snapshot("Orders");
    EXPECT_EQ(Again[0].Requests, Now->Requests);
    EXPECT_EQ(Again[0].Active, Now->Active);
#endif

    // Records outlive the connection.
    TNPXMonitor::Destroy(C);
    EXPECT_EQ(Servers[1].Name, "Price Engine/\xce\xb1%");
}

TEST_F(EndToEnd, EachActionTakesEffectAndRefusalsAreReported) {
    auto C = Connect();
    C->PerformAction("Orders", "setmax", 2);
    TServerMore More = C->GetServerMore("Orders");
    EXPECT_EQ(More.Maximum, 2);
    EXPECT_EQ(More.Active, 2); // instances above the new maximum end

    C->PerformAction("Orders", "retire", 0);
    EXPECT_EQ(C->GetServerMore("Orders").Active, 0);
    EXPECT_EQ(C->GetServers()[0].Active, 0);

    ASSERT_GT(C->GetServerMore("Orders").Requests, 0);
    C->PerformAction("Orders", "clear", 0);
    More = C->GetServerMore("Orders");
    EXPECT_EQ(More.Requests, 0);
    EXPECT_EQ(More.QueueTime, 0);
    EXPECT_EQ(More.ServiceTime, 0);
    EXPECT_EQ(More.Maximum, 2); // live figures stay
    for (const TService& S : C->GetServices("Orders"))
        EXPECT_EQ(S.Requests, 0) << S.Name;

    ENPXException E = Raised([&] { C->PerformAction("Orders", "setmax", 0); });
    EXPECT_EQ(E.MessageId, IdCannotProcessAction);
    EXPECT_EQ(E.Title, "Orders");
    EXPECT_TRUE(Has(DetailOf(E), "must be from 1 to 10000; 0 was asked for")) << DetailOf(E);
    EXPECT_EQ(C->GetServerMore("Orders").Maximum, 2);

    E = Raised([&] { C->PerformAction("Orders", "explode", 0); });
    EXPECT_EQ(E.MessageId, IdCannotProcessAction);
    EXPECT_TRUE(Has(DetailOf(E), "\"explode\" is not known")) << DetailOf(E);

    E = Raised([&] { C->PerformAction("Nope", "retire", 0); });
    EXPECT_EQ(E.MessageId, IdCannotProcessAction);
    EXPECT_EQ(E.Title, "Nope");

    E = Raised([&] { C->GetServerMore("Nope"); });
    EXPECT_EQ(E.MessageId, IdCannotAccessDetails);
    EXPECT_EQ(DetailOf(E), "The component \"Nope\" is not known to this broker.");
    // The connection goes on after a refusal.
    EXPECT_EQ(C->GetServers().size(), 3u);
}

TEST_F(EndToEnd, RefusedConnectsSayWhy) {
    TRefusingPort Dead;
    wdx::testsupport::Define(brokerstore::scUser, "Refusing", "127.0.0.1", std::to_string(Dead.Port()), "5");
    wdx::testsupport::Define(brokerstore::scUser, "Word port", "127.0.0.1", "http", "5");
    wdx::testsupport::Define(brokerstore::scUser, "Not the protocol", "127.0.0.1",
                             std::to_string(H.Sim().Port()), "5");

    struct TCase {
        const char16_t* Name;
        std::string Says;
    };
    for (const TCase& T :
         {TCase{u"Nowhere", "\"Nowhere\" is not defined"},
          TCase{u"Refusing", "Cannot connect to the broker at 127.0.0.1:" + std::to_string(Dead.Port())},
          TCase{u"Word port", "port \"http\", which is not a number from 1 to 65535"}}) {
        ENPXException E = Raised([&] { TNPXMonitor M(T.Name); });
        EXPECT_EQ(E.MessageId, IdCannotAccessBroker);
        EXPECT_EQ(E.Title, WideToUtf8(T.Name));
        EXPECT_TRUE(Has(DetailOf(E), T.Says)) << DetailOf(E);
    }

    // Something answers, but not a broker of this protocol.
    H.Sim().AddFault(TStandInHarness::Answer("/v1/broker", "<html>It works!</html>"));
    ENPXException E = Raised([&] { TNPXMonitor M(u"Not the protocol"); });
    EXPECT_EQ(E.MessageId, IdCannotAccessBroker);
    EXPECT_FALSE(DetailOf(E).empty());

    // The whole exchange is held to the definition's time-out.
    H.DefineSim("Slow", "1");
    H.Sim().AddFault(TStandInHarness::Fault("/v1/broker", TFaultKind::Trickle, 200));
    auto Start = std::chrono::steady_clock::now();
    E = Raised([&] { TNPXMonitor M(u"Slow"); });
    EXPECT_LT(wdx::testing::SecondsSince(Start), 4.0);
    EXPECT_EQ(E.MessageId, IdCannotAccessBroker);
    EXPECT_TRUE(Has(DetailOf(E), "did not answer within 1 second")) << DetailOf(E);
}

TEST_F(EndToEnd, BadAnswersBecomeFailuresNeverFigures) {
    auto C = Connect();
    auto Fails = [&](const std::string& What) {
        ENPXException E = Raised([&] { C->GetServers(); });
        EXPECT_EQ(E.MessageId, IdCannotAccessComponents) << What;
        EXPECT_EQ(E.Title, "") << What;
        return DetailOf(E);
    };
    const std::string Row = R"("active":1,"maximum":2,"queued":0,"queueTime":0,"serviceTime":0)";

    // A counter past 32 bits is refused, not wrapped to 5.
    H.Sim().AddFault(TStandInHarness::Answer(
        "/v1/components", R"({"components":[{"name":"A","requests":4294967301,)" + Row + "}]}"));
    std::string Why = Fails("past 32 bits");
    EXPECT_TRUE(Has(Why, "requests")) << Why;

    H.Sim().AddFault(TStandInHarness::Fault("/v1/components", TFaultKind::Malformed));
    EXPECT_FALSE(Fails("cut in half").empty());

    brokersim::TFault Big = TStandInHarness::Fault("/v1/components", TFaultKind::Oversize);
    Big.Bytes = 65u * 1024 * 1024;
    H.Sim().AddFault(Big);
    Why = Fails("oversize");
    EXPECT_TRUE(Has(Why, "larger than the limit")) << Why;

    H.Sim().AddFault(TStandInHarness::Fault("/v1/components", TFaultKind::Refuse));
    EXPECT_TRUE(Has(Fails("refused"), "closed without an answer"));

    // Version failures are swallowed: no version is shown.
    H.Sim().AddFault(TStandInHarness::Answer("/v1/versions/wdxappserver", R"({"found":true})"));
    EXPECT_EQ(C->GetVersion(), "");

    ENPXException E = Raised([&] { C->GetParams("Nope"); });
    EXPECT_EQ(E.MessageId, IdCannotAccessServices);
    EXPECT_EQ(E.Title, "Nope");
    EXPECT_TRUE(Has(DetailOf(E), "not known")) << DetailOf(E);

    H.Sim().ClearFaults();
    EXPECT_EQ(C->GetServers().size(), 3u);
    EXPECT_EQ(C->GetVersion(), "4.2.1 (test)");

#ifndef _WIN32 // the simulator is the Linux side's there, for every test
    // The broker goes away while connected.
    H.Sim().Server().Stop();
    E = Raised([&] { C->GetServices("Orders"); });
    EXPECT_EQ(E.MessageId, IdCannotAccessServices);
    EXPECT_EQ(E.Title, "Orders");
    EXPECT_FALSE(DetailOf(E).empty());
    EXPECT_EQ(C->GetVersion(), "");
#endif
}

TEST_F(EndToEnd, QueriesAfterConnectAreHeldToTheDeadline) {
    H.DefineSim("Quick", "1");
    auto C = Connect(u"Quick");
    H.Sim().AddFault(TStandInHarness::Fault("/v1/components/Orders/services", TFaultKind::Stall, 20000));
    auto Start = std::chrono::steady_clock::now();
    ENPXException E = Raised([&] { C->GetServices("Orders"); });
    EXPECT_LT(wdx::testing::SecondsSince(Start), 4.0);
    EXPECT_EQ(E.MessageId, IdCannotAccessServices);
    EXPECT_EQ(DetailOf(E), "Time-out: the broker at 127.0.0.1:" + std::to_string(H.Sim().Port()) +
                               " did not answer within 1 second.");
    H.Sim().ClearFaults();
    EXPECT_EQ(C->GetServices("Orders").size(), 2u);
}
