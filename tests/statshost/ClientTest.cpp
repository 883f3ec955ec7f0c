// The statistics client against a simulated broker on loopback: answers,
// failures, and the deadline against brokers that stall or trickle. The same
// tests run on both transports (TestBroker.h).

#include "TestBroker.h"
#include "brokersim/SimModel.h"
#include "statshost/StatsClient.h"
#include "support/RefusingPort.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace wdx::statshost;
using namespace wdx::brokersim;
using wdx::testing::TTestSim;

namespace {

using TClock = std::chrono::steady_clock;

double SecondsSince(TClock::time_point Start) {
    return std::chrono::duration<double>(TClock::now() - Start).count();
}

TFault Fault(const std::string& Path, TFaultKind Kind, int Millis = 0) {
    TFault f;
    f.Path = Path;
    f.Kind = Kind;
    f.Millis = Millis;
    return f;
}

} // namespace

TEST(StatsClient, ReadsEveryAnswerOfTheBroker) {
    TTestSim sim;
    TStatsClient client("127.0.0.1", sim.Port(), 5);

    auto broker = client.GetBroker();
    ASSERT_TRUE(broker.Ok()) << broker.Error().Text;
    EXPECT_EQ(broker.Value().Name, "Test broker");
    EXPECT_EQ(broker.Value().Protocol, 1);

    auto comps = client.GetComponents();
    ASSERT_TRUE(comps.Ok()) << comps.Error().Text;
    ASSERT_EQ(comps.Value().size(), 3u);
    EXPECT_EQ(comps.Value()[0], (TComponentStats{"Orders", 3, 8, 120, 2, 15, 40}));
    EXPECT_EQ(comps.Value()[1].Name, "Price Engine/\xce\xb1%");
    EXPECT_EQ(comps.Value()[2].Requests, 2147483647);

    // A name with a blank, a slash, a non-ASCII letter and a percent sign.
    auto svcs = client.GetServices("Price Engine/\xce\xb1%");
    ASSERT_TRUE(svcs.Ok()) << svcs.Error().Text;
    ASSERT_EQ(svcs.Value().size(), 1u);
    EXPECT_EQ(svcs.Value()[0].Name, "Shared.Lookup");

    auto params = client.GetParameters("Orders.Create");
    ASSERT_TRUE(params.Ok()) << params.Error().Text;
    ASSERT_EQ(params.Value().size(), 3u);
    EXPECT_EQ(params.Value()[1], (TParamInfo{"Amount", 2, 3, 15, 2}));
    EXPECT_EQ(params.Value()[2].Mode, 5);

    auto details = client.GetComponentDetails("Orders");
    ASSERT_TRUE(details.Ok()) << details.Error().Text;
    EXPECT_EQ(details.Value(), (TComponentDetails{"Orders", "ws-01, ws-02", 3, 8, 120, 2, 15, 40}));

    auto version = client.GetVersion("wdxappserver");
    ASSERT_TRUE(version.Ok());
    EXPECT_TRUE(version.Value().Found);
    EXPECT_EQ(version.Value().Version, "4.2.1 (test)");
    auto none = client.GetVersion("nothing");
    ASSERT_TRUE(none.Ok());
    EXPECT_FALSE(none.Value().Found);

    // A client can be handed on; the new owner keeps the broker and deadline.
    TStatsClient moved(std::move(client));
    auto health = moved.GetHealth();
    ASSERT_TRUE(health.Ok()) << health.Error().Text;
    EXPECT_EQ(health.Value().State, THealthState::Healthy);
    EXPECT_EQ(moved.TimeOutSeconds(), 5);

    // The one request with a body: an action, answered with what was done.
    // The maximum Orders already has, so the broker is left as it was for
    // the other tests.
    auto done = moved.PerformAction("Orders", "setmax", 8);
    ASSERT_TRUE(done.Ok()) << done.Error().Text;
    EXPECT_EQ(done.Value().Component, "Orders");
    EXPECT_EQ(done.Value().Action, "setmax");
    EXPECT_EQ(done.Value().Value, 8);
    auto refused = moved.PerformAction("Orders", "explode", 1);
    ASSERT_FALSE(refused.Ok());
    EXPECT_EQ(refused.Error().Kind, TStatsFailure::BrokerError);
    EXPECT_EQ(refused.Error().HttpStatus, 400) << refused.Error().Text;
}

TEST(StatsClient, BrokerErrorsCarryTheBrokersText) {
    TTestSim sim;
    TStatsClient client("127.0.0.1", sim.Port(), 5);
    auto missing = client.GetServices("Nope");
    ASSERT_FALSE(missing.Ok());
    EXPECT_EQ(missing.Error().Kind, TStatsFailure::BrokerError);
    EXPECT_EQ(missing.Error().HttpStatus, 404);
    EXPECT_EQ(missing.Error().Code, ecUnknownComponent);
    EXPECT_EQ(missing.Error().Text, "The component \"Nope\" is not known to this broker.");

    TFault busy = Fault("/v1/components", TFaultKind::Error);
    busy.Status = 503;
    busy.Text = "Broker is busy.";
    sim.AddFault(busy);
    auto r = client.GetComponents();
    ASSERT_FALSE(r.Ok());
    EXPECT_EQ(r.Error().HttpStatus, 503);
    EXPECT_EQ(r.Error().Code, ecSimulatedFailure);
    EXPECT_EQ(r.Error().Text, "Broker is busy.");
}

TEST(StatsClient, BadAnswersOnTheWireBecomeFailures) {
    TTestSim sim;
    TStatsClient client("127.0.0.1", sim.Port(), 5);

    sim.AddFault(Fault("/v1/components", TFaultKind::Malformed));
    auto cut = client.GetComponents();
    ASSERT_FALSE(cut.Ok());
    EXPECT_EQ(cut.Error().Kind, TStatsFailure::Malformed);

    TFault typed = Fault("/v1/components/Orders", TFaultKind::Body);
    typed.Status = 200;
    typed.Text = R"({"name":"Orders","invokedBy":"x","active":"3","maximum":8,"requests":1,"queued":0,)"
                 R"("queueTime":0,"serviceTime":0})";
    sim.AddFault(typed);
    auto details = client.GetComponentDetails("Orders");
    ASSERT_FALSE(details.Ok());
    EXPECT_EQ(details.Error().Kind, TStatsFailure::Malformed);
    EXPECT_NE(details.Error().Text.find("active must be an integer"), std::string::npos)
        << details.Error().Text;

    sim.AddFault(Fault("/v1/health", TFaultKind::Refuse));
    auto refused = client.GetHealth();
    ASSERT_FALSE(refused.Ok());
    EXPECT_EQ(refused.Error().Kind, TStatsFailure::Transport);
    EXPECT_NE(refused.Error().Text.find("closed without an answer"), std::string::npos)
        << refused.Error().Text;

    // After all that the same client still works.
    sim.ClearFaults();
    EXPECT_TRUE(client.GetComponents().Ok());
    EXPECT_TRUE(client.GetHealth().Ok());
}

TEST(StatsClient, AnswersOverTheCapAreCutOff) {
    TTestSim sim;
    TStatsClient client("127.0.0.1", sim.Port(), 5);
    client.SetMaxBodyBytes(256 * 1024);

    // Chunked: no length is known ahead, so the cap acts while receiving.
    TFault big = Fault("/v1/components", TFaultKind::Oversize);
    big.Bytes = 64u * 1024 * 1024;
    sim.AddFault(big);
    auto start = TClock::now();
    auto r = client.GetComponents();
    ASSERT_FALSE(r.Ok());
    EXPECT_EQ(r.Error().Kind, TStatsFailure::TooLarge);
    EXPECT_LT(SecondsSince(start), 3.0);

    // With a declared length over the cap.
    TFault declared = Fault("/v1/health", TFaultKind::Body);
    declared.Status = 200;
    declared.Text = R"({"state":"healthy","text":")" + std::string(512 * 1024, 'x') + "\"}";
    sim.AddFault(declared);
    auto h = client.GetHealth();
    ASSERT_FALSE(h.Ok());
    EXPECT_EQ(h.Error().Kind, TStatsFailure::TooLarge);
    EXPECT_NE(h.Error().Text.find("larger than the limit of 262144 bytes"), std::string::npos);
}

// A server that stalls, and one that sends one byte at a time, are both held
// to the one deadline of the whole exchange.
TEST(StatsClient, DeadlineHoldsAgainstStallAndTrickle) {
    TTestSim sim;
    sim.AddFault(Fault("/v1/components", TFaultKind::Stall, 20000));
    sim.AddFault(Fault("/v1/health", TFaultKind::Trickle, 100));
    TStatsClient client("127.0.0.1", sim.Port(), 1);

    auto start = TClock::now();
    auto stalled = client.GetComponents();
    double took = SecondsSince(start);
    ASSERT_FALSE(stalled.Ok());
    EXPECT_EQ(stalled.Error().Kind, TStatsFailure::TimeOut);
    EXPECT_EQ(stalled.Error().Text, "Time-out: the broker at 127.0.0.1:" + std::to_string(sim.Port()) +
                                        " did not answer within 1 second.");
    EXPECT_GE(took, 0.9);
    EXPECT_LT(took, 2.5);

    // The health answer is about 30 bytes: at 10 bytes a second every single
    // read succeeds, and only a deadline over the whole exchange ends it.
    start = TClock::now();
    auto trickled = client.GetHealth();
    took = SecondsSince(start);
    ASSERT_FALSE(trickled.Ok());
    EXPECT_EQ(trickled.Error().Kind, TStatsFailure::TimeOut);
    EXPECT_GE(took, 0.9);
    EXPECT_LT(took, 2.5);

    sim.ClearFaults();
    auto after = client.GetComponents();
    EXPECT_TRUE(after.Ok()) << after.Error().Text;
}

TEST(StatsClient, NoBrokerListening) {
    wdx::testsupport::TRefusingPort closed;
    const int port = closed.Port();
    TStatsClient client("127.0.0.1", port, 2);
    auto start = TClock::now();
    auto r = client.GetComponents();
    ASSERT_FALSE(r.Ok());
    EXPECT_EQ(r.Error().Kind, TStatsFailure::Connect);
    EXPECT_NE(r.Error().Text.find("Cannot connect to the broker at 127.0.0.1:" + std::to_string(port)),
              std::string::npos)
        << r.Error().Text;
    EXPECT_LT(SecondsSince(start), 2.5);

    // A name no resolver knows (.invalid is never given out).
    TStatsClient unknown("no-such-broker.invalid", 7400, 2);
    auto u = unknown.GetHealth();
    ASSERT_FALSE(u.Ok());
    EXPECT_EQ(u.Error().Kind, TStatsFailure::Connect);
    EXPECT_EQ(u.Error().Text, "The broker's host \"no-such-broker.invalid\" is not known.");
}

TEST(StatsClient, UnusableArgumentsFailWithoutNetwork) {
    struct TCase {
        std::string Host;
        int Port;
        std::string Says;
    };
    for (const TCase& c :
         {TCase{"", 80, "No host name"}, TCase{"bad host", 80, "not a valid host name"},
          TCase{"evil.example/path?x=", 80, "not a valid host name"},
          TCase{"user@host", 80, "not a valid host name"}, TCase{"127.0.0.1", 0, "not between 1"},
          TCase{"127.0.0.1", 65536, "not between 1"}}) {
        TStatsClient client(c.Host, c.Port, 1);
        auto r = client.GetHealth();
        ASSERT_FALSE(r.Ok()) << c.Host;
        EXPECT_EQ(r.Error().Kind, TStatsFailure::InvalidArgument) << c.Host;
        EXPECT_NE(r.Error().Text.find(c.Says), std::string::npos) << r.Error().Text;
    }
    TStatsClient client("127.0.0.1", 1, 1);
    EXPECT_EQ(client.GetServices("").Error().Kind, TStatsFailure::InvalidArgument);
    EXPECT_EQ(client.GetParameters(std::string(MaxNameBytes + 1, 'a')).Error().Kind,
              TStatsFailure::InvalidArgument);
    EXPECT_EQ(client.PerformAction("Orders", "", 0).Error().Kind, TStatsFailure::InvalidArgument);

    EXPECT_EQ(TStatsClient("h", 1, 0).TimeOutSeconds(), DefaultTimeOutSeconds);
    EXPECT_EQ(TStatsClient("h", 1, -5).TimeOutSeconds(), DefaultTimeOutSeconds);
    EXPECT_EQ(TStatsClient("h", 1, 2000000000).TimeOutSeconds(), MaxTimeOutSeconds);
    EXPECT_EQ(TStatsClient("::1", 8080, 3).Endpoint(), "::1:8080");
}
