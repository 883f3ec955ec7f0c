// WDXStat.exe end to end under Wine, driven from the Linux side: the Linux
// side serves the broker (WDXBrokerSim, started and ended here), registers
// the monitor's COM server in the private WINEPREFIX when it is built,
// defines the brokers with WDXReg.exe, and runs WDXStat.exe as a user does,
// reading its output and exit status. Every process is bounded in time and
// ended; scripts/test-windows.sh runs this after the Windows tests, with
// WINEPREFIX (its own) and WDX_WINDOWS_BUILD_DIR set.

#include "WineRun.h"
#include "brokerstore/BrokerStore.h"
#include "support/BrokerDefinitions.h"
#include "support/RefusingPort.h"
#include "support/TempStore.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <regex>

using namespace wdx;
using namespace wdx::testing;
using nlohmann::json;

namespace {

// Names beyond ASCII and East Asian wide characters, so that arguments,
// output bytes and column widths are seen to match Linux.
const char* const Scenario = R"json({
  "broker": "Wine broker",
  "components": [
    {"name": "Orders", "invokedBy": "ws-01, ws-02", "maximum": 8, "active": 3, "requests": 120,
     "queued": 2, "queueTime": 15, "serviceTime": 40,
     "services": [
       {"name": "Orders.Create", "requests": 100, "queued": 2, "queueTime": 15, "serviceTime": 45,
        "parameters": [{"name": "Customer", "dataType": 1, "mode": 1, "precision": 40, "scale": 0}]}]},
    {"name": "Price Engine/\u03b1%", "maximum": 2, "active": 1, "requests": 7, "serviceTime": 12},
    {"name": "\u6771\u4eac Billing, \"east\"", "maximum": 4, "active": 4, "requests": 2147483647,
     "queued": 5, "serviceTime": 9}
  ]
})json";

const std::string BrokerName = "Sim \u03a9";
const std::string ProductKey = std::string("HKCU\\") + brokerstore::ProductKey + "\\";

bool Has(const std::string& Text, const std::string& Part) {
    return Text.find(Part) != std::string::npos;
}

// What the harness sets up once and ends at the end: the simulator, the
// COM server's registration, the brokers' definitions on both sides.
struct TSetup {
    std::unique_ptr<TWineSession> Wine;
    std::unique_ptr<TSimProcess> Sim;
    std::unique_ptr<testsupport::TRefusingPort> Closed;
    std::unique_ptr<testsupport::TTempStore> LinuxStore; // for the Linux WDXStat beside it
    std::string Failure;                                 // why it could not be set up
};
TSetup* GSetup = nullptr;

// One definition, written as a user would with WDXReg.exe.
void DefineWithWDXReg(const std::string& Name, int Port, const std::string& TimeOut) {
    for (const auto& [Value, Data] : {std::pair<std::string, std::string>{"HostName", "127.0.0.1"},
                                      {"Port", std::to_string(Port)},
                                      {"TimeOut", TimeOut}}) {
        TChildRun R = GSetup->Wine->Run(
            {GSetup->Wine->Program("WDXReg"), "add", ProductKey + Name, "-v", Value, "-d", Data, "-f"});
        if (R.Status != 0)
            throw std::runtime_error("WDXReg.exe add " + Name + " " + Value + " failed (" +
                                     std::to_string(R.Status) + "): " + R.Err);
    }
}

class WineEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        GSetup = new TSetup;
        try {
            GSetup->Wine = std::make_unique<TWineSession>();
            GSetup->Sim = std::make_unique<TSimProcess>(Scenario);
            if (!GSetup->Wine->RegisterServer())
                std::cout << "[ note ] " << GSetup->Wine->ServerSkipReason() << "\n";
            DefineWithWDXReg(BrokerName, GSetup->Sim->Port(), "5");
            GSetup->Closed = std::make_unique<testsupport::TRefusingPort>();
            DefineWithWDXReg("Closed", GSetup->Closed->Port(), "3");
            DefineWithWDXReg("Stalled", GSetup->Sim->Port(), "1");
            // Wine's first run of a program after other work in the prefix
            // has taken seconds: paid here, not in the cases that time a run.
            GSetup->Wine->Run({GSetup->Wine->Program("WDXStat"), "--version"}, 60);
            GSetup->LinuxStore = std::make_unique<testsupport::TTempStore>();
            testsupport::Define(brokerstore::scUser, BrokerName, "127.0.0.1",
                                std::to_string(GSetup->Sim->Port()), "5");
        } catch (const std::exception& E) {
            GSetup->Failure = E.what();
        }
    }
    void TearDown() override {
        delete GSetup; // the simulator, then Wine's server when this started it
        GSetup = nullptr;
    }
};
const auto* const GEnvironment = ::testing::AddGlobalTestEnvironment(new WineEnvironment);

class WDXStatWineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(GSetup && GSetup->Failure.empty())
            << "the harness could not be set up: " << (GSetup ? GSetup->Failure : "");
        Sim().ClearFaults();
    }
    void TearDown() override {
        if (GSetup && GSetup->Failure.empty())
            Sim().ClearFaults();
    }
    static TSimProcess& Sim() { return *GSetup->Sim; }
    static TChildRun Stat(std::vector<std::string> Args, double LimitSeconds = 30) {
        Args.insert(Args.begin(), GSetup->Wine->Program("WDXStat"));
        return GSetup->Wine->Run(Args, LimitSeconds);
    }
    static TChildRun LinuxStat(const std::vector<std::string>& Args) {
        std::vector<std::string> Words{WDX_STAT_TOOL};
        Words.insert(Words.end(), Args.begin(), Args.end());
        return RunChild(Words, 30);
    }
};

} // namespace

TEST_F(WDXStatWineTest, BrokersListsWhatWDXRegDefined) {
    TChildRun R = Stat({"brokers", "--json"});
    ASSERT_EQ(R.Status, 0) << R.Err;
    const json J = json::parse(R.Out);
    ASSERT_TRUE(J.is_array()) << R.Out;
    std::optional<json> Sim;
    for (const auto& B : J)
        if (B["name"] == BrokerName)
            Sim = B;
    ASSERT_TRUE(Sim) << R.Out;
    EXPECT_EQ((*Sim)["scope"], "User");
    EXPECT_EQ((*Sim)["hostName"], "127.0.0.1");
    EXPECT_EQ((*Sim)["port"], GSetup->Sim->Port());
    EXPECT_EQ((*Sim)["timeOut"], 5);

    R = Stat({"brokers"});
    ASSERT_EQ(R.Status, 0) << R.Err;
    EXPECT_TRUE(std::regex_search(R.Out, std::regex("\n" + BrokerName + " +User +127\\.0\\.0\\.1 +" +
                                                    std::to_string(GSetup->Sim->Port()) + " +5 ")))
        << R.Out;
}

TEST_F(WDXStatWineTest, ComponentsAreTheBrokersOwnListInEveryFormat) {
    const json Own = Sim().Get("/v1/components");
    TChildRun R = Stat({"components", BrokerName, "--json"});
    ASSERT_EQ(R.Status, 0) << R.Err;
    const json J = json::parse(R.Out);
    EXPECT_EQ(J["broker"], BrokerName);
    EXPECT_EQ(J["components"], Own["components"]);

    // The table and the CSV byte for byte as on Linux: widths of wide
    // characters, UTF-8 on a pipe, and CSV's CRLF without a CR added.
    for (std::vector<std::string> Args : {std::vector<std::string>{"components", BrokerName},
                                          {"components", BrokerName, "--csv", "--sort", "name"},
                                          {"services", BrokerName, "Orders"},
                                          {"params", BrokerName, "Orders.Create"}}) {
        R = Stat(Args);
        const TChildRun L = LinuxStat(Args);
        ASSERT_EQ(L.Status, 0) << L.Err;
        EXPECT_EQ(R.Status, 0) << R.Err;
        EXPECT_EQ(R.Out, L.Out) << Args[0] << " " << Args.back();
    }
    EXPECT_TRUE(Has(R.Out, "Customer  char")) << R.Out;

    // Matching without regard to case beyond ASCII: the folding table.
    R = Stat({"components", BrokerName, "--match", "ENGINE/\u0391", "--json"});
    ASSERT_EQ(R.Status, 0) << R.Err;
    ASSERT_EQ(json::parse(R.Out)["components"].size(), 1u) << R.Out;
}

// A console shows names beyond ASCII whatever its code page; 437 is the
// default of a Western Windows console (under Wine it follows the locale).
TEST_F(WDXStatWineTest, AConsoleShowsNamesBeyondAsciiWhateverItsCodePage) {
    const std::string Command =
        "chcp 437 >NUL & " + WindowsPath(GSetup->Wine->Program("WDXStat")) + " brokers";
    const TChildRun R = GSetup->Wine->RunOnTerminal({"cmd", "/c", Command});
    EXPECT_EQ(R.Status, 0) << R.Out;
    EXPECT_TRUE(Has(R.Out, "\n" + BrokerName + "  ")) << R.Out;
}

TEST_F(WDXStatWineTest, DetailsOfOneComponent) {
    const json Own = Sim().Get("/v1/components/Orders");
    TChildRun R = Stat({"details", BrokerName, "Orders", "--json"});
    ASSERT_EQ(R.Status, 0) << R.Err;
    const json J = json::parse(R.Out);
    for (const char* Member : {"name", "invokedBy", "maximum", "active", "requests", "queued"})
        EXPECT_EQ(J[Member], Own[Member]) << Member;

    R = Stat({"details", BrokerName, "Orders"});
    ASSERT_EQ(R.Status, 0) << R.Err;
    EXPECT_TRUE(Has(R.Out, "Invoked by:                 ws-01, ws-02\n")) << R.Out;
}

TEST_F(WDXStatWineTest, AnActionReachesTheBrokerAndARefusalIsAFailure) {
    const int Before = Sim().Get("/v1/components/Orders")["maximum"];
    const int Wanted = Before == 6 ? 7 : 6;
    TChildRun R = Stat({"action", BrokerName, "Orders", "setmax", std::to_string(Wanted), "--yes"});
    ASSERT_EQ(R.Status, 0) << R.Err;
    EXPECT_EQ(R.Out, "Set the maximum of the component \"Orders\" of \"" + BrokerName + "\" to " +
                         std::to_string(Wanted) + ".\n");
    EXPECT_EQ(Sim().Get("/v1/components/Orders")["maximum"], Wanted);

    // Nothing is done without --yes where there is no terminal to ask on.
    R = Stat({"action", BrokerName, "Orders", "setmax", "3"});
    EXPECT_EQ(R.Status, 1);
    EXPECT_TRUE(Has(R.Err, "--yes")) << R.Err;

    // The broker refuses a maximum of 0: the monitor's text and its reason.
    R = Stat({"action", BrokerName, "Orders", "setmax", "0", "--yes"});
    EXPECT_EQ(R.Status, 1);
    EXPECT_TRUE(Has(R.Err, "WDXStat: Orders: Cannot process requested action: ")) << R.Err;
    EXPECT_EQ(Sim().Get("/v1/components/Orders")["maximum"], Wanted);
}

TEST_F(WDXStatWineTest, CheckExitCodesAsAMonitoringPlugin) {
    TChildRun R = Stat({"check", BrokerName});
    EXPECT_EQ(R.Status, 0) << R.Out << R.Err;
    EXPECT_TRUE(Has(R.Out, "BROKER OK - " + BrokerName + ": 3 components, 8 active, 7 queued")) << R.Out;

    R = Stat({"check", BrokerName, "--queued-warning", "6", "--queued-critical", "10"});
    EXPECT_EQ(R.Status, 1) << R.Out;
    EXPECT_TRUE(Has(R.Out, "queued=7;6;10;0")) << R.Out;

    Sim().Control("POST", "/control/health", R"({"state": "warning", "text": "Licence expires in 3 days."})");
    R = Stat({"check", BrokerName});
    Sim().Control("POST", "/control/health", R"({"state": "healthy"})");
    EXPECT_EQ(R.Status, 1) << R.Out;
    EXPECT_TRUE(Has(R.Out, "BROKER WARNING - ")) << R.Out;
    EXPECT_TRUE(Has(R.Out, "Licence expires in 3 days.")) << R.Out;

    // The list not readable: the broker's own text.
    Sim().Control("POST", "/control/faults",
                  R"({"path": "/v1/components", "kind": "error", "status": 503, "text": "Too busy."})");
    R = Stat({"check", BrokerName});
    EXPECT_EQ(R.Status, 2) << R.Out;
    EXPECT_TRUE(Has(R.Out, "BROKER CRITICAL - " + BrokerName + ": Cannot access components: Too busy."))
        << R.Out;

    R = Stat({"check", "Nobody"});
    EXPECT_EQ(R.Status, 3) << R.Out;
    EXPECT_TRUE(Has(R.Out, "BROKER UNKNOWN - Nobody: Invalid return from Omni Relay: 3 - ")) << R.Out;
}

TEST_F(WDXStatWineTest, AClosedPortOrASilentBrokerFailsWithinTheTimeOut) {
    // Time-out 3 s; a refused connection is known at once.
    TChildRun R = Stat({"components", "Closed"}, 20);
    EXPECT_EQ(R.Status, 1) << R.Err;
    EXPECT_TRUE(Has(R.Err, "WDXStat: Closed: Invalid return from Omni Relay: 4 - ")) << R.Err;
    EXPECT_LT(R.Seconds, 3.0);
    R = Stat({"check", "Closed"}, 20);
    EXPECT_EQ(R.Status, 2) << R.Out;
    EXPECT_TRUE(Has(R.Out, "BROKER CRITICAL - Closed: ")) << R.Out;

    // A broker that takes the connection and never answers: its time-out of
    // 1 s bounds the wait (plus Wine's start).
    Sim().Control("POST", "/control/faults", R"({"path": "*", "kind": "stall", "ms": 20000})");
    R = Stat({"check", "Stalled"}, 20);
    EXPECT_EQ(R.Status, 2) << R.Out;
    EXPECT_TRUE(Has(R.Out, "Time-out")) << R.Out;
    EXPECT_LT(R.Seconds, 4.0);
}

TEST_F(WDXStatWineTest, AnUnregisteredServerIsReportedClearly) {
    if (!GSetup->Wine->ServerRegistered())
        GTEST_SKIP() << GSetup->Wine->ServerSkipReason();
    ASSERT_TRUE(GSetup->Wine->UnregisterServer());
    TChildRun R = Stat({"components", BrokerName});
    TChildRun C = Stat({"check", BrokerName});
    const bool Back = GSetup->Wine->RegisterServer(); // for whatever runs after
    EXPECT_EQ(R.Status, 1) << R.Out << R.Err;
    EXPECT_TRUE(Has(R.Err, "WDXStat: " + BrokerName + ": Cannot access Omni Relay: ")) << R.Err;
    EXPECT_TRUE(Has(R.Err, "not registered")) << R.Err;
    EXPECT_EQ(C.Status, 3) << C.Out;
    EXPECT_TRUE(Has(C.Out, "BROKER UNKNOWN - ")) << C.Out;
    EXPECT_TRUE(Back) << "registered again";
}

// WDXReg.exe writes a .reg file to standard output and reads one from
// standard input byte for byte, as into and from a file: the C runtime's
// text mode would put a CR before every byte 0x0A (breaking UTF-16) and stop
// reading at a byte 0x1A.
TEST_F(WDXStatWineTest, WDXRegExeExportsAndImportsThroughStandardStreamsByteForByte) {
    // U+011A and U+010A: the bytes 0x1A and 0x0A in UTF-16.
    const std::string Key = ProductKey + "\u011aast";
    auto Reg = [](std::vector<std::string> Args, const std::string* Input = nullptr) {
        Args.insert(Args.begin(), GSetup->Wine->Program("WDXReg"));
        return GSetup->Wine->Run(Args, 30, Input);
    };
    ASSERT_EQ(Reg({"add", Key, "-v", "HostName", "-d", "h\u010a", "-f"}).Status, 0);

    std::string Utf16;
    for (const bool Utf8 : {false, true}) {
        const std::string File = GSetup->LinuxStore->Dir() + (Utf8 ? "/u8.reg" : "/u16.reg");
        std::vector<std::string> ToFile{"export", Key, WindowsPath(File), "-y"}, ToOut{"export", Key, "-"};
        if (Utf8) {
            ToFile.push_back("--utf8");
            ToOut.push_back("--utf8");
        }
        ASSERT_EQ(Reg(ToFile).Status, 0);
        const TChildRun R = Reg(ToOut);
        ASSERT_EQ(R.Status, 0) << R.Err;
        std::ifstream In(File, std::ios::binary);
        const std::string Bytes{std::istreambuf_iterator<char>(In), {}};
        ASSERT_FALSE(Bytes.empty()) << File;
        EXPECT_EQ(R.Out, Bytes) << (Utf8 ? "UTF-8" : "UTF-16");
        if (!Utf8)
            Utf16 = Bytes;
    }

    ASSERT_EQ(Reg({"delete", Key, "-f"}).Status, 0);
    const TChildRun Imported = Reg({"import", "-"}, &Utf16);
    EXPECT_EQ(Imported.Status, 0) << Imported.Err;
    const TChildRun Query = Reg({"query", Key, "-v", "HostName"});
    EXPECT_EQ(Query.Status, 0) << Query.Err;
    EXPECT_TRUE(Has(Query.Out, "h\u010a")) << Query.Out;
    Reg({"delete", Key, "-f"});
}
