// The simulator keeps answering good requests while bad clients hold
// connections open: some hundreds that send a header byte a second, or a
// thousand that send nothing at all.

#include "Flood.h"
#include "brokersim/SimHarness.h"
#include "statshost/StatsClient.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace wdx;
using wdx::testing::TFlood;
using wdx::testing::TSimHarness;

namespace {

using TClock = std::chrono::steady_clock;

// The slowest of Count good requests, each on a new client (so a new
// connection), spaced out over the flood; fails the test on a failed one.
double SlowestGoodRequest(int Port, int Count, int SpacingMillis) {
    double slowest = 0;
    for (int i = 0; i < Count; ++i) {
        statshost::TStatsClient client("127.0.0.1", Port, 5);
        auto start = TClock::now();
        auto list = client.GetComponents();
        double took = std::chrono::duration<double>(TClock::now() - start).count();
        EXPECT_TRUE(list.Ok()) << list.Error().Text;
        slowest = std::max(slowest, took);
        std::this_thread::sleep_for(std::chrono::milliseconds(SpacingMillis));
    }
    return slowest;
}

} // namespace

TEST(SimFlood, GoodRequestsAreAnsweredUnderSlowHeaders) {
    if (wdx::testing::RaiseFileLimit() < 600)
        GTEST_SKIP() << "needs 600 open descriptors";
    TSimHarness sim;
    TFlood slow(sim.Port(), 200, 1000);
    ASSERT_EQ(slow.Open(), 200u);
    // Long enough that every slow connection has started its request and
    // the first read time-outs would have passed.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LT(SlowestGoodRequest(sim.Port(), 5, 500), 1.0);
}

TEST(SimFlood, GoodRequestsAreAnsweredUnderIdleConnections) {
    if (wdx::testing::RaiseFileLimit() < 2200)
        GTEST_SKIP() << "needs 2200 open descriptors";
    TSimHarness sim;
    TFlood idle(sim.Port(), 1000, 0);
    ASSERT_EQ(idle.Open(), 1000u);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LT(SlowestGoodRequest(sim.Port(), 5, 300), 1.0);
}

// Past the cap, connections wait for a thread: a small cap filled by idle
// connections delays a good request until their keep-alive time ends, and
// it is then answered, not dropped.
TEST(SimFlood, PastTheCapConnectionsWaitTheirTurn) {
    brokersim::TSimServerOptions options;
    options.Threads = 4;
    TSimHarness sim(wdx::testing::SmallScenario, 1, options);
    TFlood idle(sim.Port(), 4, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    statshost::TStatsClient client("127.0.0.1", sim.Port(), 10);
    auto start = TClock::now();
    auto list = client.GetComponents();
    double took = std::chrono::duration<double>(TClock::now() - start).count();
    ASSERT_TRUE(list.Ok()) << list.Error().Text;
    EXPECT_GT(took, 1.0); // the idle ones held every thread for their 2 s
    EXPECT_LT(took, 4.0);
}
