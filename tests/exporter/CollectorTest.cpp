// The exporter in-process against simulated brokers on loopback: what
// /metrics serves equals the brokers' own figures, dead and stalling brokers
// delay no other, names are escaped, definitions are read on every scrape.

#include "ExpositionText.h"
#include "WdxVersion.h"
#include "exporter/ExporterServer.h"
#include "statshost/StandInHarness.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <mutex>

using namespace wdx::exporter;
namespace brokerstore = wdx::brokerstore;
namespace brokersim = wdx::brokersim;
namespace statshost = wdx::statshost;
namespace wt = wdx::testing;
using wdx::testing::TExposition;
using TLabels = std::map<std::string, std::string>;

namespace {

struct TLog {
    std::mutex Lock;
    std::vector<std::string> Lines;
    TLogSink Sink() {
        return [this](const std::string& L) {
            std::lock_guard G(Lock);
            Lines.push_back(L);
        };
    }
    std::string All() {
        std::lock_guard G(Lock);
        std::string R;
        for (auto& L : Lines)
            R += L + "\n";
        return R;
    }
};

TExporterOptions Loopback(std::vector<std::string> Brokers = {}, bool Services = false) {
    TExporterOptions O;
    O.Listen = {"127.0.0.1", 0};
    O.Collector = {std::move(Brokers), Services};
    return O;
}

using wdx::testing::SecondsSince;
using wdx::testing::TStandInHarness;

class ExporterTest : public ::testing::Test {
protected:
    TStandInHarness H; // temporary store, simulator with the small scenario
    TLog Log;
};

TEST_F(ExporterTest, FiguresEqualTheBrokersOwnListAndEveryFamilyIsDescribed) {
    H.DefineSim("Main");
    TExporterServer Server(Loopback({}, true), Log.Sink());
    TExposition E = wt::Scrape(Server.Address().Port);

    const TLabels B{{"broker", "Main"}, {"scope", "User"}};
    EXPECT_EQ(E.Value("wdx_broker_up", B), 1);
    EXPECT_EQ(E.Value("wdx_broker_check_status", B), 0);
    EXPECT_EQ(E.Value("wdx_broker_service_lists_failed", B), 0);
    TLabels Info = B;
    Info.insert(
        {{"host", "127.0.0.1"}, {"port", std::to_string(H.Sim().Port())}, {"version", "4.2.1 (test)"}});
    EXPECT_EQ(E.Value("wdx_broker_info", Info), 1);
    EXPECT_EQ(E.Value("wdx_exporter_build_info", TLabels{{"version", wdx::Version}}), 1);

    int Components = 0, Services = 0;
    for (const char* Name : {"Orders", "Price Engine/\u03b1%", "Billing"}) {
        auto Own = H.Sim().Broker().Snapshot(Name);
        ASSERT_TRUE(Own) << Name;
        TLabels C = B;
        C["component"] = Name;
        EXPECT_EQ(E.Value("wdx_component_active_instances", C), Own->Active) << Name;
        EXPECT_EQ(E.Value("wdx_component_max_instances", C), Own->Maximum) << Name;
        EXPECT_EQ(E.Value("wdx_component_requests_total", C), Own->Requests) << Name;
        EXPECT_EQ(E.Value("wdx_component_queued_requests", C), Own->Queued) << Name;
        EXPECT_DOUBLE_EQ(E.Value("wdx_component_queue_time_seconds", C).value_or(-1),
                         Own->QueueTime / 1000.0);
        EXPECT_DOUBLE_EQ(E.Value("wdx_component_service_time_seconds", C).value_or(-1),
                         Own->ServiceTime / 1000.0);
        ++Components;

        auto List = nlohmann::json::parse(H.Sim().Broker().Services(Name).Body);
        for (const auto& S : List["services"]) {
            TLabels L = C;
            L["service"] = S["name"].get<std::string>();
            EXPECT_EQ(E.Value("wdx_service_requests_total", L), S["requests"].get<int>()) << L["service"];
            EXPECT_EQ(E.Value("wdx_service_queued_requests", L), S["queued"].get<int>());
            EXPECT_DOUBLE_EQ(E.Value("wdx_service_queue_time_seconds", L).value_or(-1),
                             S["queueTime"].get<int>() / 1000.0);
            EXPECT_DOUBLE_EQ(E.Value("wdx_service_service_time_seconds", L).value_or(-1),
                             S["serviceTime"].get<int>() / 1000.0);
            ++Services;
        }
    }
    EXPECT_EQ(E.Find("wdx_component_active_instances").size(), static_cast<std::size_t>(Components));
    EXPECT_EQ(E.Find("wdx_service_requests_total").size(), static_cast<std::size_t>(Services));
    // The largest count a broker sends arrives exact, not rounded.
    EXPECT_NE(E.Text.find("component=\"Billing\"} 2147483647\n"), std::string::npos);

    for (const wt::TSample& S : E.Samples) {
        if (S.Name.rfind("wdx_", 0) != 0)
            continue;
        EXPECT_FALSE(E.Help[S.Name].empty()) << S.Name;
        EXPECT_EQ(E.Type[S.Name], S.Name.ends_with("_total") ? "counter" : "gauge") << S.Name;
    }
    auto [Status, Findings] = wt::PromtoolCheckMetrics(E.Text);
    EXPECT_EQ(Status, 0) << Findings;
    EXPECT_EQ(Findings, "");
    EXPECT_EQ(Log.All(), "");
}

TEST_F(ExporterTest, WithoutServicesNoServiceSeriesAndNoServiceRequests) {
    H.DefineSim("Main");
    // A service list asked for would fail and show in the count.
    H.Sim().Faults().Add(TStandInHarness::Fault("/v1/components/*", brokersim::TFaultKind::Error));
    TExporterServer Server(Loopback(), Log.Sink());
    TExposition E = wt::Scrape(Server.Address().Port);
    EXPECT_EQ(E.Value("wdx_broker_up", {{"broker", "Main"}}), 1);
    EXPECT_EQ(E.Find("wdx_component_requests_total").size(), 3u);
    EXPECT_TRUE(E.Find("wdx_service_requests_total").empty());
    EXPECT_TRUE(E.Find("wdx_broker_service_lists_failed").empty());
}

TEST_F(ExporterTest, DeadAndStallingBrokersDelayNoOther) {
    wt::TRefusingPort Closed;
    wt::TSimHarness Stalling;
    Stalling.Faults().Add(TStandInHarness::Fault("*", brokersim::TFaultKind::Stall, 60000));
    wt::TSimHarness ListStalls; // healthy, but its list never comes
    ListStalls.Faults().Add(TStandInHarness::Fault("/v1/components", brokersim::TFaultKind::Stall, 60000));
    H.DefineSim("Live", "5");
    wdx::testsupport::Define(brokerstore::scUser, "Closed", "127.0.0.1", std::to_string(Closed.Port()), "5");
    wdx::testsupport::Define(brokerstore::scUser, "Stalling", "127.0.0.1", std::to_string(Stalling.Port()),
                             "2");
    wdx::testsupport::Define(brokerstore::scUser, "ListStalls", "127.0.0.1",
                             std::to_string(ListStalls.Port()), "1");
    TExporterServer Server(Loopback(), Log.Sink());

    auto Start = std::chrono::steady_clock::now();
    TExposition E = wt::Scrape(Server.Address().Port);
    double Took = SecondsSince(Start);
    EXPECT_LT(Took, 2.0 + 1.0);
    EXPECT_GE(Took, 1.9); // it did wait for the stalling one, not give up early

    EXPECT_EQ(E.Value("wdx_broker_up", {{"broker", "Live"}}), 1);
    EXPECT_EQ(E.Find("wdx_component_active_instances", {{"broker", "Live"}}).size(), 3u);
    EXPECT_EQ(E.Find("wdx_component_service_time_seconds", {{"broker", "Live"}}).size(), 3u);
    for (const char* Dead : {"Closed", "Stalling", "ListStalls"}) {
        EXPECT_EQ(E.Value("wdx_broker_up", {{"broker", Dead}, {"scope", "User"}}), 0) << Dead;
        EXPECT_TRUE(E.Find("wdx_component_active_instances", {{"broker", Dead}}).empty()) << Dead;
        EXPECT_EQ(E.Find("wdx_broker_info", {{"broker", Dead}}).size(), 1u) << Dead;
    }
    EXPECT_EQ(E.Value("wdx_broker_check_status", {{"broker", "Closed"}}), statshost::rsNotReachable);
    EXPECT_EQ(E.Value("wdx_broker_check_status", {{"broker", "Stalling"}}), statshost::rsNotReachable);
    EXPECT_EQ(E.Value("wdx_broker_check_status", {{"broker", "ListStalls"}}), statshost::rsHealthy);
    double Stalled = E.Value("wdx_broker_scrape_duration_seconds", {{"broker", "Stalling"}}).value_or(0);
    EXPECT_GE(Stalled, 1.9);
    EXPECT_LT(Stalled, 3.0);
    EXPECT_LT(E.Value("wdx_broker_scrape_duration_seconds", {{"broker", "Live"}}).value_or(9), 1.0);

    // Each dead broker is told once, with its reason; the next scrape tells nothing new.
    std::string Told = Log.All();
    EXPECT_NE(Told.find("broker \"Closed\" (User) is down: "), std::string::npos) << Told;
    EXPECT_NE(Told.find("broker \"Stalling\" (User) is down: Time-out"), std::string::npos) << Told;
    EXPECT_EQ(Told.find("\"Live\""), std::string::npos) << Told;
    wt::Scrape(Server.Address().Port);
    EXPECT_EQ(Log.All(), Told);
}

TEST_F(ExporterTest, ServiceListsStayWithinTheBrokersTimeOut) {
    H.DefineSim("Main", "2");
    H.Sim().Faults().Add(TStandInHarness::Fault("/v1/components/*", brokersim::TFaultKind::Stall, 60000));
    TExporterServer Server(Loopback({}, true), Log.Sink());
    auto Start = std::chrono::steady_clock::now();
    TExposition E = wt::Scrape(Server.Address().Port);
    EXPECT_LT(SecondsSince(Start), 2.0 + 1.0);
    const TLabels B{{"broker", "Main"}};
    EXPECT_EQ(E.Value("wdx_broker_up", B), 1);
    EXPECT_EQ(E.Value("wdx_broker_service_lists_failed", B), 3);
    EXPECT_EQ(E.Find("wdx_component_requests_total", B).size(), 3u);
    EXPECT_TRUE(E.Find("wdx_service_requests_total", B).empty());
    EXPECT_NE(Log.All().find("is up, but: 3 of 3 service lists could not be read"), std::string::npos)
        << Log.All();
}

TEST_F(ExporterTest, NamesAreEscapedAsTheExpositionFormatRequires) {
    wt::TSimHarness Odd(R"json({"components": [
        {"name": "Say \"hi\"", "maximum": 3, "active": 1},
        {"name": "C:\\Apps\\Orders", "maximum": 3, "services": [{"name": "back\\slash \"q\"", "requests": 7}]},
        {"name": "two words", "maximum": 3},
        {"name": "Grüße 東京", "maximum": 3},
        {"name": "line\nbreak", "maximum": 3}]})json");
    wdx::testsupport::Define(brokerstore::scUser, "Brøker \"Q\" 1", "127.0.0.1", std::to_string(Odd.Port()),
                             "5");
    TExporterServer Server(Loopback({}, true), Log.Sink());
    TExposition E = wt::Scrape(Server.Address().Port);

    const std::string B = R"(broker="Brøker \"Q\" 1",scope="User",)";
    for (const char* Line :
         {R"(component="Say \"hi\""} 1)", R"(component="C:\\Apps\\Orders"} 0)", R"(component="two words"} 0)",
          R"(component="Grüße 東京"} 0)", R"(component="line\nbreak"} 0)"})
        EXPECT_NE(E.Text.find("wdx_component_active_instances{" + B + Line + "\n"), std::string::npos)
            << Line;
    EXPECT_NE(E.Text.find("wdx_service_requests_total{" + B +
                          R"(component="C:\\Apps\\Orders",service="back\\slash \"q\""} 7)"),
              std::string::npos);
    // And read back, every name is what the broker sent.
    for (const char* Name : {"Say \"hi\"", "C:\\Apps\\Orders", "two words", "Grüße 東京", "line\nbreak"})
        EXPECT_EQ(E.Value("wdx_component_max_instances", {{"broker", "Brøker \"Q\" 1"}, {"component", Name}}),
                  3)
            << Name;
    auto [Status, Findings] = wt::PromtoolCheckMetrics(E.Text);
    EXPECT_EQ(Status, 0) << Findings;
}

TEST_F(ExporterTest, DefinitionsAreReadOnEveryScrapeAndNarrowedByName) {
    H.DefineSim("Both", "5", brokerstore::scUser);
    wdx::testsupport::Define(brokerstore::scSystem, "BOTH", "127.0.0.1", "1",
                             "5"); // shadowed by the User one
    H.DefineSim("Plant", "5", brokerstore::scSystem);
    wdx::testsupport::Define(brokerstore::scUser, "Broken", "127.0.0.1", "http", "5");

    {
        TExporterServer All(Loopback(), Log.Sink());
        TExposition E = wt::Scrape(All.Address().Port);
        EXPECT_EQ(E.Find("wdx_broker_up").size(), 3u);
        EXPECT_EQ(E.Value("wdx_broker_up", {{"broker", "Both"}, {"scope", "User"}}), 1);
        EXPECT_EQ(E.Value("wdx_broker_up", {{"broker", "Plant"}, {"scope", "System"}}), 1);
        EXPECT_EQ(E.Value("wdx_broker_up", {{"broker", "Broken"}}), 0);
        EXPECT_EQ(E.Value("wdx_broker_check_status", {{"broker", "Broken"}}), statshost::rsBadDefinition);
        EXPECT_TRUE(E.Find("wdx_broker_info", {{"broker", "Broken"}}).empty());
        EXPECT_NE(
            Log.All().find("broker \"Broken\" (User) is down: The Component Broker \"Broken\" (User) has the "
                           "port \"http\""),
            std::string::npos)
            << Log.All();

        // A definition made while it runs is in the next scrape, one removed is gone.
        H.DefineSim("Later");
        ASSERT_TRUE(brokerstore::DeleteBrokerDefinition(brokerstore::scSystem, "Plant"));
        E = wt::Scrape(All.Address().Port);
        EXPECT_EQ(E.Value("wdx_broker_up", {{"broker", "Later"}}), 1);
        EXPECT_TRUE(E.Find("wdx_broker_up", {{"broker", "Plant"}}).empty());
    }

    TLog Narrow;
    TExporterServer Some(Loopback({"later", "Nowhere", "LATER"}), Narrow.Sink());
    EXPECT_NE(Narrow.All().find("broker \"Nowhere\" is not defined"), std::string::npos) << Narrow.All();
    TExposition E = wt::Scrape(Some.Address().Port);
    ASSERT_EQ(E.Find("wdx_broker_up").size(), 2u);
    EXPECT_EQ(E.Value("wdx_broker_up", {{"broker", "Later"}, {"scope", "User"}}), 1); // spelled as stored
    EXPECT_EQ(E.Value("wdx_broker_up", {{"broker", "Nowhere"}}), 0);
    EXPECT_EQ(E.Value("wdx_broker_check_status", {{"broker", "Nowhere"}}), statshost::rsNotDefined);
}

TEST_F(ExporterTest, ServesALandingPageAndNothingElse) {
    TExporterServer Server(Loopback(), Log.Sink());
    int Port = Server.Address().Port;
    auto Page = wt::Get(Port, "/");
    EXPECT_EQ(Page->status, 200);
    EXPECT_NE(Page->get_header_value("Content-Type").find("text/html"), std::string::npos);
    EXPECT_NE(Page->body.find("<a href=\"/metrics\">"), std::string::npos);
    EXPECT_EQ(wt::Get(Port, "/v1/components")->status, 404);
    httplib::Client C("127.0.0.1", Port);
    C.set_read_timeout(10);
    auto Post = C.Post("/", "{}", "application/json");
    ASSERT_TRUE(Post);
    EXPECT_EQ(Post->status, 405);
    auto PostMetrics = C.Post("/metrics", "{}", "application/json");
    ASSERT_TRUE(PostMetrics);
    EXPECT_NE(PostMetrics->status, 200);
}

TEST_F(ExporterTest, StartUpFailuresSayWhy) {
    TExporterServer First(Loopback(), Log.Sink());
    TExporterOptions Same = Loopback();
    Same.Listen.Port = First.Address().Port;
    try {
        TExporterServer Second(Same, Log.Sink());
        ADD_FAILURE() << "a taken port was bound";
    } catch (const EExporterStartup& E) {
        EXPECT_NE(std::string(E.what()).find("Address already in use"), std::string::npos) << E.what();
    }

    const char* System = std::getenv("WDX_SYSTEM_STORE");
    std::ofstream(System) << "this is not a settings store";
    try {
        TExporterServer Damaged(Loopback(), Log.Sink());
        ADD_FAILURE() << "a damaged store was taken";
    } catch (const EExporterStartup& E) {
        EXPECT_NE(std::string(E.what()).find(std::string("The System settings (") + System),
                  std::string::npos)
            << E.what();
    }
}

TEST(ListenAddress, TakesIpv4Ipv6AndNamesAndRefusesTheRest) {
    std::string Error;
    auto A = ParseListenAddress("127.0.0.1:0", Error);
    ASSERT_TRUE(A) << Error;
    EXPECT_EQ(A->Text(), "127.0.0.1:0");
    A = ParseListenAddress("localhost:9563", Error);
    ASSERT_TRUE(A) << Error;
    EXPECT_EQ(A->Text(), "127.0.0.1:9563");
    A = ParseListenAddress("[0:0::1]:9563", Error);
    ASSERT_TRUE(A) << Error;
    EXPECT_EQ(A->Host, "::1");
    EXPECT_EQ(A->Text(), "[::1]:9563");
    for (const char* Bad :
         {"::1", "::1:9563", "[::1]", "[::1]9563", "[127.0.0.1]:80", "[::1:80", "127.0.0.1", ":9563",
          "127.0.0.1:", "127.0.0.1:65536", "127.0.0.1:+80", "127.0.0.1:http", "no-such-host.invalid:80"}) {
        Error.clear();
        EXPECT_FALSE(ParseListenAddress(Bad, Error)) << Bad;
        EXPECT_NE(Error.find(std::string("\"") + Bad + "\""), std::string::npos) << Error;
    }
}

TEST(ListenAddress, FreePortIsOneNobodyListensOn) {
    const int Port = FreePort("127.0.0.1");
    ASSERT_GT(Port, 0);
    EXPECT_FALSE(httplib::Client("127.0.0.1", Port).Get("/")); // nothing answers there
    EXPECT_GT(FreePort("::1"), 0);
    EXPECT_EQ(FreePort("localhost"), 0); // numeric addresses only
    EXPECT_EQ(FreePort(""), 0);
}

} // namespace
