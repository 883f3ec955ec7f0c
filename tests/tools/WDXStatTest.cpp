// WDXStat as a user runs it, against a simulated broker on loopback: every
// command and format, rates across a clear, check's statuses, confirmation,
// and the failures with their texts.

#include "StatRun.h"
#include "brokersim/SimHarness.h"
#include "brokerstore/BrokerStore.h"
#include "registry/Registry.h"
#include "support/BrokerDefinitions.h"
#include "support/RefusingPort.h"
#include "support/TempStore.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <regex>

using namespace wdx;
using namespace wdx::testing;
using nlohmann::json;

namespace {

// Besides the small scenario's names: one with a comma and quotes, for CSV.
const char* const Scenario = R"json({
  "broker": "Test broker",
  "components": [
    {"name": "Orders", "invokedBy": "ws-01, ws-02", "maximum": 8, "active": 3, "requests": 120,
     "queued": 2, "queueTime": 15, "serviceTime": 40,
     "services": [
       {"name": "Orders.Create", "requests": 100, "queued": 2, "queueTime": 15, "serviceTime": 45,
        "parameters": [
          {"name": "Customer", "dataType": 1, "mode": 1, "precision": 40, "scale": 0},
          {"name": "Flag", "dataType": 4, "mode": 5},
          {"name": "Odd", "dataType": 9, "mode": 4}]},
       {"name": "Orders.Cancel", "requests": 20, "serviceTime": 12}]},
    {"name": "Price Engine/\u03b1%", "maximum": 2, "active": 1, "requests": 7, "services": [
       {"name": "Größe Ω", "requests": 3}]},
    {"name": "Billing, \"east\"", "maximum": 4, "active": 4, "requests": 2147483647, "queued": 5}
  ]
})json";

using TClosedPort = testsupport::TRefusingPort;

class WDXStatTest : public ::testing::Test {
protected:
    void SetUp() override { Define("Demo Ω", Sim.Port()); }

    static void Define(const std::string& Name, int Port, const std::string& TimeOut = "5",
                       brokerstore::TBrokerScope Scope = brokerstore::scUser,
                       const std::string& Host = "127.0.0.1") {
        testsupport::Define(Scope, Name, Host, std::to_string(Port), TimeOut);
    }
    void AddFault(const std::string& Path, brokersim::TFaultKind Kind, int Millis = 0, int Status = 0) {
        brokersim::TFault F;
        F.Path = Path;
        F.Kind = Kind;
        F.Millis = Millis;
        F.Status = Status;
        Sim.Faults().Add(F);
    }

    testsupport::TTempStore Store; // before the simulator, gone after it
    TSimHarness Sim{Scenario};
};

bool Has(const std::string& Text, const std::string& Part) {
    return Text.find(Part) != std::string::npos;
}

std::vector<std::string> Lines(const std::string& Text) {
    std::vector<std::string> Out;
    std::size_t B = 0, E;
    while ((E = Text.find('\n', B)) != std::string::npos) {
        Out.push_back(Text.substr(B, E - B));
        B = E + 1;
    }
    return Out;
}

} // namespace

TEST_F(WDXStatTest, BrokersListsUserFirstAndSaysWhichDefinitionIsUsed) {
    Define("demo ω", 7400, "0", brokerstore::scSystem, "other.example");
    Define("Night batch", 7401, "30", brokerstore::scSystem, "batch.example");
    // Whether a definition uses TLS and a token shows; the token never does.
    const std::string Key = std::string(brokerstore::ProductKey) + "\\Night batch";
    ASSERT_TRUE(registry::WriteText(registry::TRegRoot::System, Key, "UseTls", "Y"));
    ASSERT_TRUE(registry::WriteText(registry::TRegRoot::System, Key, "TokenFile", "/etc/wdx/night.token"));

    TStatRun R = RunStat({"brokers"});
    ASSERT_EQ(R.Status, 0) << R.Err;
    auto L = Lines(R.Out);
    ASSERT_GE(L.size(), 4u) << R.Out;
    EXPECT_EQ(L[0], "Name         Scope   Host name       Port  Time-out  Used  TLS  Token");
    EXPECT_TRUE(Has(L[1], "Demo Ω       User    127.0.0.1")) << R.Out;
    EXPECT_TRUE(Has(L[2], "other.example")) << R.Out;
    EXPECT_TRUE(Has(L[2], "no")) << R.Out;
    EXPECT_TRUE(Has(L[3], "Night batch  System  batch.example   7401        30  yes   yes  yes")) << R.Out;
    EXPECT_TRUE(Has(L[1], "yes   no   no")) << R.Out;
    EXPECT_FALSE(Has(R.Out, "night.token")) << R.Out;
    EXPECT_TRUE(Has(R.Out, "User first")) << R.Out;

    R = RunStat({"brokers", "--json"});
    ASSERT_EQ(R.Status, 0) << R.Err;
    json J = json::parse(R.Out);
    ASSERT_EQ(J.size(), 3u);
    EXPECT_EQ(J[0], json({{"name", "Demo Ω"},
                          {"scope", "User"},
                          {"hostName", "127.0.0.1"},
                          {"port", Sim.Port()},
                          {"timeOut", 5},
                          {"used", true},
                          {"tls", false},
                          {"token", false}}));
    EXPECT_EQ(J[2]["tls"], true);
    EXPECT_EQ(J[2]["token"], true);
    EXPECT_EQ(J[1]["scope"], "System");
    EXPECT_EQ(J[1]["used"], false); // the same name, without regard to case, is defined for the user
    EXPECT_EQ(J[2]["used"], true);

    R = RunStat({"brokers", "--csv"});
    EXPECT_EQ(Lines(R.Out)[0], "name,scope,hostName,port,timeOut,used,tls,token\r");
    EXPECT_EQ(Lines(R.Out)[3], "Night batch,System,batch.example,7401,30,true,true,true\r");
}

TEST_F(WDXStatTest, ComponentsInEachFormatSortedAndMatched) {
    TStatRun R = RunStat({"components", "Demo Ω"});
    ASSERT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(R.Out, "Name             Active  Maximum    Requests  Queued  Queue t  Service t\n"
                     "Orders                3        8         120       2       15         40\n"
                     "Price Engine/α%       1        2           7       0        0          0\n"
                     "Billing, \"east\"       4        4  2147483647       5        0          0\n");
    EXPECT_EQ(R.Err, "");

    R = RunStat({"components", "Demo Ω", "--json"});
    ASSERT_EQ(R.Status, 0) << R.Err;
    json J = json::parse(R.Out);
    EXPECT_EQ(J["broker"], "Demo Ω");
    ASSERT_EQ(J["components"].size(), 3u);
    EXPECT_EQ(J["components"][0], json({{"name", "Orders"},
                                        {"active", 3},
                                        {"maximum", 8},
                                        {"requests", 120},
                                        {"queued", 2},
                                        {"queueTime", 15},
                                        {"serviceTime", 40}}));
    EXPECT_EQ(J["components"][1]["name"], "Price Engine/α%");

    R = RunStat({"components", "Demo Ω", "--csv", "--sort", "Requests", "--reverse"});
    ASSERT_EQ(R.Status, 0) << R.Err;
    auto L = Lines(R.Out);
    ASSERT_EQ(L.size(), 4u);
    EXPECT_EQ(L[0], "name,active,maximum,requests,queued,queueTime,serviceTime\r");
    EXPECT_EQ(L[1], "\"Billing, \"\"east\"\"\",4,4,2147483647,5,0,0\r");
    EXPECT_EQ(L[3].substr(0, 17), "Price Engine/α%,");

    R = RunStat({"components", "Demo Ω", "--match", "ENGINE", "--json"});
    J = json::parse(R.Out);
    ASSERT_EQ(J["components"].size(), 1u);
    EXPECT_EQ(J["components"][0]["name"], "Price Engine/α%");

    R = RunStat({"components", "Demo Ω", "--sort", "colour"});
    EXPECT_EQ(R.Status, 2);
    EXPECT_TRUE(Has(R.Err, "no column colour")) << R.Err;
}

TEST_F(WDXStatTest, LongListsGoOutInPartsAsTheWholeTableWouldGo) {
    // More rows than go out at a time, names to escape on either side of
    // where the parts meet; names in order, so that sorting by name (which
    // makes the whole table first) gives the broker's order.
    json Rows = json::array();
    for (int I = 0; I < 9000; ++I) {
        char Name[32];
        std::snprintf(Name, sizeof Name, "C%05d", I);
        std::string Text = Name;
        if (I % 4096 == 4095 || I % 4096 == 0)
            Text += " \"quoted\", α\\";
        Rows.push_back(
            {{"name", Text}, {"maximum", 9}, {"active", I % 10 == 0 ? 9 : I % 9}, {"requests", I}});
    }
    TSimHarness Long{json({{"broker", "Long"}, {"components", Rows}}).dump()};
    Define("Long", Long.Port());
    for (const std::vector<std::string>& Format :
         {std::vector<std::string>{"--json"}, {"--csv"}, {"--json", "--match", "9"}}) {
        std::vector<std::string> Args{"components", "Long"};
        Args.insert(Args.end(), Format.begin(), Format.end());
        const TStatRun Parts = RunStat(Args);
        Args.insert(Args.end(), {"--sort", "name"});
        const TStatRun Whole = RunStat(Args);
        ASSERT_EQ(Parts.Status, 0) << Parts.Err;
        ASSERT_EQ(Whole.Status, 0) << Whole.Err;
        EXPECT_EQ(Parts.Out, Whole.Out) << Format[0];
    }
    const json J = json::parse(RunStat({"components", "Long", "--json"}).Out);
    ASSERT_EQ(J["components"].size(), 9000u);
    EXPECT_EQ(J["components"][4096]["name"], "C04096 \"quoted\", α\\");
    EXPECT_EQ(J["components"][8999]["requests"], 8999);
    EXPECT_EQ(Lines(RunStat({"components", "Long", "--csv", "--match", "C0819"}).Out).size(), 11u);

    // No rows at all, and none that match: the document and the heading
    // still go out whole.
    TSimHarness Empty{json({{"broker", "Empty"}, {"components", json::array()}}).dump()};
    Define("Empty", Empty.Port());
    EXPECT_EQ(RunStat({"components", "Empty", "--json"}).Out, "{\"broker\":\"Empty\",\"components\":[]}\n");
    EXPECT_EQ(RunStat({"components", "Long", "--json", "--match", "none"}).Out,
              "{\"broker\":\"Long\",\"components\":[]}\n");
    EXPECT_EQ(Lines(RunStat({"components", "Empty", "--csv"}).Out).size(), 1u);
}

TEST_F(WDXStatTest, ServicesParamsAndDetails) {
    TStatRun R = RunStat({"services", "Demo Ω", "Price Engine/α%"});
    ASSERT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(R.Out, "Name     Requests  Queued  Queue t  Service t\n"
                     "Größe Ω         3       0        0          0\n");
    R = RunStat({"services", "Demo Ω", "Orders", "--json", "--sort", "name"});
    json J = json::parse(R.Out);
    EXPECT_EQ(J["component"], "Orders");
    EXPECT_EQ(J["services"][0]["name"], "Orders.Cancel");

    R = RunStat({"params", "Demo Ω", "Orders.Create"});
    ASSERT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(R.Out, "Name      Type     Precision  Scale  Mode\n"
                     "Customer  char            40      0  Input\n"
                     "Flag      boolean          0      0  Result\n"
                     "Odd       9                0      0  4\n");
    R = RunStat({"params", "Demo Ω", "Orders.Create", "--json"});
    J = json::parse(R.Out);
    EXPECT_EQ(J["parameters"][1], json({{"name", "Flag"},
                                        {"dataType", 4},
                                        {"dataTypeText", "boolean"},
                                        {"precision", 0},
                                        {"scale", 0},
                                        {"mode", 5},
                                        {"modeText", "Result"}}));
    EXPECT_TRUE(J["parameters"][2]["modeText"].is_null());

    R = RunStat({"details", "Demo Ω", "Orders"});
    ASSERT_EQ(R.Status, 0) << R.Err;
    EXPECT_TRUE(Has(R.Out, "Invoked by:                 ws-01, ws-02\n")) << R.Out;
    EXPECT_TRUE(Has(R.Out, "Average service time (ms):  40\n")) << R.Out;
    R = RunStat({"details", "Demo Ω", "Orders", "--json"});
    J = json::parse(R.Out);
    EXPECT_EQ(J["invokedBy"], "ws-01, ws-02");
    EXPECT_EQ(J["maximum"], 8);

    R = RunStat({"services", "Demo Ω", "Nope"});
    EXPECT_EQ(R.Status, 1);
    EXPECT_TRUE(Has(R.Err, "WDXStat: Nope: Cannot access services: ")) << R.Err;
    EXPECT_EQ(Lines(R.Err).size(), 1u) << R.Err;
}

TEST_F(WDXStatTest, WatchAddsRatesAndNoneAcrossAClear) {
    // A stream read sample by sample, with the broker changed in between.
    int Out[2];
    ASSERT_EQ(pipe(Out), 0);
    auto V = Argv({"components", "Demo Ω", "--watch", "1", "--count", "3"});
    const pid_t Pid = fork();
    if (Pid == 0) {
        dup2(Out[1], 1);
        close(Out[0]);
        execv(V[0], V.data());
        _exit(127);
    }
    close(Out[1]);
    FILE* F = fdopen(Out[0], "r");
    auto NextSample = [&] {
        char Buf[65536];
        return fgets(Buf, sizeof Buf, F) ? json::parse(Buf) : json();
    };
    // No terminal and no format: JSON Lines, each with its time.
    json First = NextSample();
    ASSERT_TRUE(First.is_object());
    EXPECT_TRUE(std::regex_match(First["time"].get<std::string>(),
                                 std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)")));
    for (const auto& C : First["components"])
        EXPECT_TRUE(C["requestsPerSecond"].is_null()) << "no rate on the first sample";
    Sim.Broker().Tick(5);

    json Second = NextSample();
    ASSERT_TRUE(Second.is_object());
    const auto Orders = [](const json& S) { return S["components"][0]; };
    ASSERT_TRUE(Orders(Second)["requestsPerSecond"].is_number()) << Second;
    EXPECT_GT(Orders(Second)["requests"].get<int>(), 120);
    EXPECT_GT(Orders(Second)["requestsPerSecond"].get<double>(), 0);
    Sim.Broker().Action("Orders", R"({"action": "clear"})");

    json Third = NextSample();
    ASSERT_TRUE(Third.is_object());
    EXPECT_EQ(Orders(Third)["requests"], 0);
    EXPECT_TRUE(Orders(Third)["requestsPerSecond"].is_null()) << "a counter that went down has no rate";
    EXPECT_TRUE(NextSample().is_null()) << "--count 3 ends after three samples";
    fclose(F);
    int S = 0;
    waitpid(Pid, &S, 0);
    EXPECT_EQ(WEXITSTATUS(S), 0);

    // CSV: one header, then rows with their time.
    TStatRun R = RunStat({"services", "Demo Ω", "Orders", "--watch", "1", "--count", "2", "--csv"});
    ASSERT_EQ(R.Status, 0) << R.Err;
    auto L = Lines(R.Out);
    ASSERT_EQ(L.size(), 5u) << R.Out;
    EXPECT_EQ(L[0], "time,name,requests,queued,queueTime,serviceTime,requestsPerSecond\r");
    // Orders was cleared above and nothing has moved since: a rate of 0.
    EXPECT_TRUE(std::regex_search(L[3], std::regex(",Orders\\.Create,0,[0-9]+,[0-9]+,[0-9]+,0\\.000\r$")))
        << R.Out;
    EXPECT_GE(R.Seconds, 0.9);
}

TEST_F(WDXStatTest, WatchRedrawsInPlaceOnATerminal) {
    TStatRun R = RunStatOnTerminal({"components", "Demo Ω", "--watch", "1", "--count", "2"}, "");
    EXPECT_EQ(R.Status, 0) << R.Out;
    std::size_t Redraws = 0;
    for (std::size_t P = 0; (P = R.Out.find("\x1b[H\x1b[2J", P)) != std::string::npos; ++P)
        ++Redraws;
    EXPECT_EQ(Redraws, 2u) << R.Out;
    EXPECT_TRUE(Has(R.Out, "Demo Ω  ")) << R.Out;
    EXPECT_TRUE(Has(R.Out, "3 components  active 8  queued 7")) << R.Out;
    EXPECT_TRUE(Has(R.Out, "Requests/s")) << R.Out;
}

TEST_F(WDXStatTest, CheckAnswersAsAMonitoringPlugin) {
    const std::regex Perf(
        R"(\| components=3;;;0 active=8;;;0 queued=7;[0-9]*;[0-9]*;0 time=[0-9.]+s;;;0\n$)");
    TStatRun R = RunStat({"check", "Demo Ω"});
    EXPECT_EQ(R.Status, 0) << R.Out;
    EXPECT_TRUE(
        std::regex_search(R.Out, std::regex("^BROKER OK - Demo Ω: 3 components, 8 active, 7 queued ")))
        << R.Out;
    EXPECT_TRUE(std::regex_search(R.Out, Perf)) << R.Out;
    EXPECT_EQ(Lines(R.Out).size(), 1u);

    R = RunStat({"check", "Demo Ω", "--queued-warning", "6", "--queued-critical", "10"});
    EXPECT_EQ(R.Status, 1) << R.Out;
    EXPECT_TRUE(Has(R.Out, "BROKER WARNING - ")) << R.Out;
    EXPECT_TRUE(Has(R.Out, "queued=7;6;10;0")) << R.Out;
    R = RunStat({"check", "Demo Ω", "--queued-warning", "1", "--queued-critical", "6"});
    EXPECT_EQ(R.Status, 2) << R.Out;
    EXPECT_TRUE(Has(R.Out, "(queued 7 > 6)")) << R.Out;
    EXPECT_EQ(RunStat({"check", "Demo Ω", "--queued-critical", "7"}).Status, 0) << "7 is not more than 7";

    // Bad arguments and an undefined broker are UNKNOWN.
    EXPECT_EQ(RunStat({"check", "Demo Ω", "--queued-warning", "many"}).Status, 3);
    EXPECT_EQ(RunStat({"check", "Demo Ω", "--queued-warning", "9", "--queued-critical", "2"}).Status, 3);
    EXPECT_EQ(RunStat({"check"}).Status, 3);
    R = RunStat({"check", "Nobody"});
    EXPECT_EQ(R.Status, 3);
    EXPECT_TRUE(Has(R.Out, "BROKER UNKNOWN - Nobody: Invalid return from Omni Relay: 3 - ")) << R.Out;

    // The relay's warning.
    Sim.Broker().SetHealth({statshost::THealthState::Warning, "Licence expires in 3 days."});
    R = RunStat({"check", "Demo Ω"});
    EXPECT_EQ(R.Status, 1) << R.Out;
    EXPECT_TRUE(Has(R.Out,
                    "BROKER WARNING - Demo Ω: 3 components, 8 active, 7 queued; Invalid return from Omni "
                    "Relay: 2 - Licence expires in 3 days. | components=3"))
        << R.Out;
    Sim.Broker().SetHealth({});

    // The list not readable.
    AddFault("/v1/components", brokersim::TFaultKind::Error, 0, 503);
    R = RunStat({"check", "Demo Ω"});
    EXPECT_EQ(R.Status, 2) << R.Out;
    EXPECT_TRUE(
        Has(R.Out,
            "BROKER CRITICAL - Demo Ω: Cannot access components: The broker answered with HTTP status 503"))
        << R.Out;
}

TEST_F(WDXStatTest, CheckOfABrokerNotAnsweringIsCriticalWithinItsTimeOut) {
    TClosedPort Closed;
    Define("Closed", Closed.Port(), "3");
    TStatRun R = RunStat({"check", "Closed"});
    EXPECT_EQ(R.Status, 2) << R.Out;
    EXPECT_TRUE(Has(R.Out, "BROKER CRITICAL - Closed: Invalid return from Omni Relay: 4 - ")) << R.Out;
    EXPECT_LT(R.Seconds, 3.0);

    // A broker that takes the connection and never answers: the definition's
    // time-out of 1 s bounds the wait.
    AddFault("*", brokersim::TFaultKind::Stall, 20000);
    Define("Stalled", Sim.Port(), "1");
    R = RunStat({"check", "Stalled"});
    EXPECT_EQ(R.Status, 2) << R.Out;
    EXPECT_TRUE(Has(R.Out, "Time-out")) << R.Out;
    EXPECT_LT(R.Seconds, 4.0);
    R = RunStat({"components", "Stalled"});
    EXPECT_EQ(R.Status, 1);
    EXPECT_TRUE(Has(R.Err, "Time-out")) << R.Err;
    EXPECT_LT(R.Seconds, 4.0);
}

TEST_F(WDXStatTest, ActionsAskFirstAndRefusalsAreFailures) {
    auto Maximum = [&] { return Sim.Broker().Snapshot("Orders")->Maximum; };
    // No terminal to ask on: nothing is done without --yes.
    TStatRun R = RunStat({"action", "Demo Ω", "Orders", "setmax", "5"});
    EXPECT_EQ(R.Status, 1);
    EXPECT_TRUE(Has(R.Err, "--yes")) << R.Err;
    EXPECT_EQ(Maximum(), 8);

    R = RunStat({"action", "Demo Ω", "Orders", "setmax", "5", "--yes"});
    EXPECT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(R.Out, "Set the maximum of the component \"Orders\" of \"Demo Ω\" to 5.\n");
    EXPECT_EQ(Maximum(), 5);

    // On a terminal the answer decides.
    R = RunStatOnTerminal({"action", "Demo Ω", "Orders", "setmax", "6"}, "n\n");
    EXPECT_EQ(R.Status, 1) << R.Out;
    EXPECT_TRUE(Has(R.Out, "Set the maximum of the component \"Orders\" of \"Demo Ω\" to 6 (Yes/No)?"))
        << R.Out;
    EXPECT_EQ(Maximum(), 5);
    R = RunStatOnTerminal({"action", "Demo Ω", "Orders", "setmax", "6"}, "yes\n");
    EXPECT_EQ(R.Status, 0) << R.Out;
    EXPECT_EQ(Maximum(), 6);

    R = RunStat({"action", "Demo Ω", "Orders", "clear", "-y"});
    EXPECT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(Sim.Broker().Snapshot("Orders")->Requests, 0);

    // The broker refuses: the monitor's text and its reason.
    R = RunStat({"action", "Demo Ω", "Orders", "setmax", "0", "--yes"});
    EXPECT_EQ(R.Status, 1);
    EXPECT_TRUE(Has(R.Err, "WDXStat: Orders: Cannot process requested action: ")) << R.Err;
    EXPECT_TRUE(Has(R.Err, "10000")) << R.Err;
    EXPECT_EQ(Maximum(), 6);

    for (std::vector<std::string> Bad : {std::vector<std::string>{"setmax"},
                                         {"setmax", "five"},
                                         {"retire", "3"},
                                         {"setmax", "2147483648"},
                                         {"explode"}}) {
        std::vector<std::string> Args{"action", "Demo Ω", "Orders"};
        Args.insert(Args.end(), Bad.begin(), Bad.end());
        Args.push_back("--yes");
        EXPECT_EQ(RunStat(Args).Status, 2) << Bad[0];
    }
    EXPECT_EQ(Maximum(), 6);
}

TEST_F(WDXStatTest, OutputThatCannotBeWrittenIsAFailure) {
    // A full disk: a list in parts, a whole table, and check's status line.
    for (const std::vector<std::string>& Args : {std::vector<std::string>{"components", "Demo Ω", "--json"},
                                                 {"components", "Demo Ω", "--sort", "name"},
                                                 {"check", "Demo Ω"}}) {
        const TStatRun R = RunStat(Args, 30, "/dev/full");
        EXPECT_EQ(R.Status, Args[0] == "check" ? 3 : 1) << Args[0];
        EXPECT_TRUE(Has(R.Err, "WDXStat: the output could not be written")) << R.Err;
    }
}

TEST_F(WDXStatTest, FailuresAndArgumentsHaveOneLineAndTheirStatus) {
    TStatRun R = RunStat({"components", "Nobody"});
    EXPECT_EQ(R.Status, 1);
    EXPECT_EQ(R.Out, "");
    EXPECT_EQ(Lines(R.Err).size(), 1u) << R.Err;
    EXPECT_TRUE(Has(R.Err,
                    "WDXStat: Nobody: Invalid return from Omni Relay: 3 - The Component Broker \"Nobody\" "
                    "is not defined"))
        << R.Err;

    struct {
        std::vector<std::string> Args;
        int Status;
    } Cases[] = {{{}, 2},
                 {{"components"}, 2},
                 {{"components", "Demo Ω", "--watch", "0"}, 2},
                 {{"components", "Demo Ω", "--watch", "3601"}, 2},
                 {{"components", "Demo Ω", "--count", "2"}, 2},
                 {{"components", "Demo Ω", "--reverse"}, 2},
                 {{"components", "Demo Ω", "--json", "--csv"}, 2},
                 {{"frobnicate"}, 2},
                 {{"--help"}, 0},
                 {{"check", "--help"}, 0}};
    for (const auto& C : Cases) {
        R = RunStat(C.Args);
        EXPECT_EQ(R.Status, C.Status) << (C.Args.empty() ? "" : C.Args[0]) << "\n" << R.Err;
    }
    R = RunStat({"--version"});
    EXPECT_EQ(R.Status, 0);
    EXPECT_TRUE(std::regex_match(R.Out, std::regex("WDXStat [0-9]+\\.[0-9]+.*\n"))) << R.Out;
}
