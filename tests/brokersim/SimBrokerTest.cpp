// The simulated broker as a client sees it: actions and their effects, the
// load model, and requests the protocol does not know.

#include "brokersim/SimHarness.h"
#include "statshost/StatsClient.h"

#include <httplib.h>

#include <gtest/gtest.h>

using namespace wdx::statshost;
using namespace wdx::brokersim;
using wdx::testing::TSimHarness;

namespace {

class SimBroker : public ::testing::Test {
protected:
    TSimHarness Sim;
    TStatsClient Client{"127.0.0.1", Sim.Port(), 5};

    TComponentDetails Details(const std::string& Name) {
        auto d = Client.GetComponentDetails(Name);
        EXPECT_TRUE(d.Ok()) << d.Error().Text;
        return d.Ok() ? d.Value() : TComponentDetails{};
    }
    TStatsError Refusal(const std::string& Component, const std::string& Action, int32_t Value) {
        auto r = Client.PerformAction(Component, Action, Value);
        EXPECT_FALSE(r.Ok()) << Action << " " << Value << " was accepted";
        return r.Ok() ? TStatsError{} : r.Error();
    }
};

} // namespace

TEST_F(SimBroker, SetMaxTakesEffectAndOutOfRangeValuesAreRefused) {
    auto done = Client.PerformAction("Orders", "setmax", 2);
    ASSERT_TRUE(done.Ok()) << done.Error().Text;
    EXPECT_EQ(done.Value().Action, "setmax");
    EXPECT_EQ(done.Value().Value, 2);
    TComponentDetails d = Details("Orders");
    EXPECT_EQ(d.Maximum, 2);
    EXPECT_EQ(d.Active, 2); // three were running; one over the new maximum ends

    for (int32_t bad : {0, -1, MaxInstances + 1}) {
        TStatsError e = Refusal("Orders", "setmax", bad);
        EXPECT_EQ(e.Code, ecValueOutOfRange);
        EXPECT_NE(e.Text.find("from 1 to 10000"), std::string::npos) << e.Text;
    }
    EXPECT_EQ(Details("Orders").Maximum, 2);

    // The component list shows the same.
    auto list = Client.GetComponents();
    ASSERT_TRUE(list.Ok());
    EXPECT_EQ(list.Value()[0].Maximum, 2);
}

TEST_F(SimBroker, RetireEndsTheInstancesAndClearResetsTheStatistics) {
    ASSERT_TRUE(Client.PerformAction("Orders", "retire", 0).Ok());
    TComponentDetails d = Details("Orders");
    EXPECT_EQ(d.Active, 0);
    EXPECT_EQ(d.Maximum, 8);
    EXPECT_EQ(d.Requests, 120);

    ASSERT_TRUE(Client.PerformAction("Orders", "clear", 0).Ok());
    d = Details("Orders");
    EXPECT_EQ(d.Requests, 0);
    EXPECT_EQ(d.QueueTime, 0);
    EXPECT_EQ(d.ServiceTime, 0);
    EXPECT_EQ(d.Queued, 2); // a live figure, not a statistic
    EXPECT_EQ(d.InvokedBy, "ws-01, ws-02");
    auto svcs = Client.GetServices("Orders");
    ASSERT_TRUE(svcs.Ok());
    for (const auto& s : svcs.Value()) {
        EXPECT_EQ(s.Requests, 0) << s.Name;
        EXPECT_EQ(s.ServiceTime, 0) << s.Name;
    }
    // Other components keep theirs.
    EXPECT_EQ(Details("Billing").Requests, 2147483647);
}

TEST_F(SimBroker, UnknownActionsAndComponentsAreRefusedWithText) {
    TStatsError e = Refusal("Orders", "explode", 0);
    EXPECT_EQ(e.Code, ecUnknownAction);
    EXPECT_EQ(e.Text, "The action \"explode\" is not known; use retire, setmax or clear.");
    e = Refusal("Nobody", "retire", 0);
    EXPECT_EQ(e.Code, ecUnknownComponent);
    EXPECT_EQ(e.HttpStatus, 404);

    auto d = Client.GetComponentDetails("Nobody");
    ASSERT_FALSE(d.Ok());
    EXPECT_EQ(d.Error().Code, ecUnknownComponent);
    auto p = Client.GetParameters("No.Such");
    ASSERT_FALSE(p.Ok());
    EXPECT_EQ(p.Error().Code, ecUnknownService);
}

TEST_F(SimBroker, ParametersOfTheFirstServiceOfThatNameUnlessNarrowed) {
    auto first = Client.GetParameters("Shared.Lookup");
    ASSERT_TRUE(first.Ok()) << first.Error().Text;
    ASSERT_EQ(first.Value().size(), 1u);
    EXPECT_EQ(first.Value()[0].Name, "Key");

    httplib::Client raw("127.0.0.1", Sim.Port());
    auto narrowed = raw.Get("/v1/services/Shared.Lookup/parameters?component=Billing");
    ASSERT_TRUE(narrowed);
    auto decoded = DecodeParameters(narrowed->body);
    ASSERT_TRUE(decoded.Ok());
    EXPECT_EQ(decoded.Value()[0].Name, "Other");
}

TEST_F(SimBroker, HealthAndVersion) {
    Sim.Broker().SetHealth({THealthState::Warning, "Licence expires in 3 days."});
    auto h = Client.GetHealth();
    ASSERT_TRUE(h.Ok());
    EXPECT_EQ(h.Value().State, THealthState::Warning);
    EXPECT_EQ(h.Value().Text, "Licence expires in 3 days.");
    auto v = Client.GetVersion("wdxappserver");
    ASSERT_TRUE(v.Ok());
    EXPECT_EQ(v.Value().Version, "4.2.1 (test)");
}

TEST_F(SimBroker, RequestsOutsideTheProtocolGetErrorAnswers) {
    httplib::Client raw("127.0.0.1", Sim.Port());
    auto unknown = raw.Get("/v1/everything");
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->status, 404);
    EXPECT_EQ(DecodeErrorAnswer(404, unknown->body).Code, ecNoSuchRequest);

    auto wrongMethod = raw.Post("/v1/components", "{}", "application/json");
    ASSERT_TRUE(wrongMethod);
    EXPECT_EQ(wrongMethod->status, 405);
    EXPECT_EQ(DecodeErrorAnswer(405, wrongMethod->body).Code, ecMethodNotAllowed);

    auto getAction = raw.Get("/v1/components/Orders/actions");
    ASSERT_TRUE(getAction);
    EXPECT_EQ(getAction->status, 405);

    auto brokenEscape = raw.Get("/v1/components/Ord%zzers");
    ASSERT_TRUE(brokenEscape);
    EXPECT_EQ(brokenEscape->status, 400);

    for (const char* body :
         {"not json", "[1]", R"({"value":3})", R"({"action":"setmax","value":"3"})",
          R"({"action":"setmax","value":4294967298})", R"({"action":"setmax","value":1e400})"}) {
        auto r = raw.Post("/v1/components/Orders/actions", body, "application/json");
        ASSERT_TRUE(r) << body;
        EXPECT_EQ(r->status, 400) << body;
        EXPECT_EQ(DecodeErrorAnswer(400, r->body).Code, ecBadRequest) << body;
    }
    // None of those changed anything.
    EXPECT_EQ(Details("Orders").Maximum, 8);

    // Without --control the control paths are unknown requests.
    auto control = raw.Get("/control/faults");
    ASSERT_TRUE(control);
    EXPECT_EQ(control->status, 404);
}

TEST(SimLoad, CountersMoveWithinTheirBoundsAndNeverWrap) {
    TSimHarness sim;
    auto before = sim.Broker().Snapshot("Orders");
    ASSERT_TRUE(before);
    bool moved = false;
    for (int i = 0; i < 200; ++i) {
        sim.Broker().Tick();
        for (const char* name : {"Orders", "Billing", "Price Engine/\xce\xb1%"}) {
            auto c = sim.Broker().Snapshot(name);
            ASSERT_TRUE(c);
            ASSERT_GE(c->Active, 0) << name;
            ASSERT_LE(c->Active, c->Maximum) << name;
            ASSERT_GE(c->Queued, 0) << name;
            ASSERT_GE(c->QueueTime, 0) << name;
            ASSERT_GT(c->ServiceTime, 0) << name;
        }
        auto now = sim.Broker().Snapshot("Orders");
        ASSERT_GE(now->Requests, before->Requests);
        moved = moved || now->Requests != before->Requests || now->Active != before->Active;
    }
    EXPECT_TRUE(moved);
    // Billing started at the top of the range: it stays there.
    EXPECT_EQ(sim.Broker().Snapshot("Billing")->Requests, 2147483647);

    // The client sees the moved figures, not an old copy.
    TStatsClient client("127.0.0.1", sim.Port(), 5);
    auto list = client.GetComponents();
    ASSERT_TRUE(list.Ok());
    EXPECT_EQ(list.Value()[0].Requests, sim.Broker().Snapshot("Orders")->Requests);
}

TEST(SimLoad, TheSeedMakesRunsRepeatable) {
    auto run = [](uint64_t Seed) {
        TSimBroker broker(GenerateScenario(50, 3, 1, 99), Seed);
        broker.Tick(25);
        return broker.Components().Body;
    };
    EXPECT_EQ(run(7), run(7));
    EXPECT_NE(run(7), run(8));
}

TEST(SimLoad, ControlEndpointStepsTheLoadAndSwitchesFaults) {
    TSimServerOptions options;
    options.Control = true;
    TSimHarness sim(wdx::testing::SmallScenario, 1, options);
    httplib::Client raw("127.0.0.1", sim.Port());
    TStatsClient client("127.0.0.1", sim.Port(), 5);

    auto fault =
        raw.Post("/control/faults", R"({"path":"/v1/components/*","kind":"error","status":503,"count":1})",
                 "application/json");
    ASSERT_TRUE(fault);
    EXPECT_EQ(fault->status, 200) << fault->body;
    auto hit = client.GetComponentDetails("Orders");
    ASSERT_FALSE(hit.Ok());
    EXPECT_EQ(hit.Error().HttpStatus, 503);
    // It was for one request only.
    EXPECT_TRUE(client.GetComponentDetails("Orders").Ok());
    // The list itself did not match the pattern.
    EXPECT_TRUE(client.GetComponents().Ok());

    auto bad =
        raw.Post("/control/faults", R"({"path":"/v1/health","kind":"stall","ms":-5})", "application/json");
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->status, 400);
    EXPECT_NE(bad->body.find("ms must be an integer"), std::string::npos) << bad->body;

    auto before = sim.Broker().Snapshot("Orders")->Requests;
    auto tick = raw.Post("/control/tick", R"({"count":50})", "application/json");
    ASSERT_TRUE(tick);
    EXPECT_EQ(tick->status, 200);
    EXPECT_GT(sim.Broker().Snapshot("Orders")->Requests, before);

    auto health =
        raw.Post("/control/health", R"({"state":"warning","text":"Overloaded"})", "application/json");
    ASSERT_TRUE(health);
    auto h = client.GetHealth();
    ASSERT_TRUE(h.Ok());
    EXPECT_EQ(h.Value().Text, "Overloaded");

    ASSERT_TRUE(raw.Post("/control/faults", R"({"path":"*","kind":"refuse"})", "application/json"));
    EXPECT_FALSE(client.GetHealth().Ok());
    // Control requests are never hit by faults, so they can be cleared.
    auto cleared = raw.Delete("/control/faults");
    ASSERT_TRUE(cleared);
    EXPECT_EQ(cleared->body, R"({"faults":[]})");
    EXPECT_TRUE(client.GetHealth().Ok());

    // A reset undoes all of it: faults, figures, maxima and health.
    ASSERT_TRUE(client.PerformAction("Orders", "setmax", 5).Ok());
    ASSERT_TRUE(raw.Post("/control/faults", R"({"path":"*","kind":"refuse"})", "application/json"));
    auto reset = raw.Post("/control/reset", "", "application/json");
    ASSERT_TRUE(reset);
    EXPECT_EQ(reset->status, 200);
    EXPECT_EQ(reset->body, R"({"faults":[]})");
    auto again = sim.Broker().Snapshot("Orders");
    EXPECT_EQ(again->Maximum, 8);
    EXPECT_EQ(again->Requests, before);
    h = client.GetHealth();
    ASSERT_TRUE(h.Ok());
    EXPECT_EQ(h.Value().Text, "");
}
