// The relay and monitor-server stand-ins through their interfaces, as the
// class table (or on Windows, COM by their registration) hands them out: the relay's codes and texts, the
// broker lookup, and the rules of the list, details, action and version objects.

#include "StandInHarness.h"

#include "brokersim/SimModel.h" // the simulator's error codes
#include "monitorapi/WideText.h"
#include "statshost/BrokerLookup.h"

#include <gtest/gtest.h>

using namespace wdx;
using namespace wdx::monitor;
using brokersim::TFaultKind;
using statshost::TRelayStatus;
using wdx::testing::TRefusingPort;
using wdx::testing::TStandInHarness;

namespace {

struct TCheck {
    std::int16_t Code = -100;
    std::string Text;
};

TCheck Check(const std::string& Broker) {
    TComPtr<IOmniRelay> Relay = CoOmniRelay::Create();
    TCheck C;
    ComCheck(Relay->CheckBroker(TBStr(Utf8ToWide(Broker)).Get(), 0, 0, 0, &C.Code));
    C.Text = WideToUtf8(ComGet(*Relay, &IOmniRelay::ErrorText));
    return C;
}

bool Has(const std::string& Text, const std::string& Part) {
    return Text.find(Part) != std::string::npos;
}

TComPtr<_Monitor> NewMonitor() {
    TComPtr<_Monitor> M;
    ComCheck(CreateComObject(CLSID_Monitor, M));
    return M;
}

std::int16_t Connect(_Monitor& M, const std::string& Broker, std::u16string* Text2 = nullptr,
                     std::u16string* Text3 = nullptr) {
    TBStr Name(Utf8ToWide(Broker)), T2, T3;
    std::int16_t R = 0;
    ComCheck(M.Connect(Name.Ref(), T2.Ref(), T3.Ref(), &R));
    if (Text2)
        *Text2 = T2.Text();
    if (Text3)
        *Text3 = T3.Text();
    return R;
}

} // namespace

TEST(Relay, CodesForHealthyWarningAndTheBrokersOwnFailure) {
    TStandInHarness H;
    H.DefineSim("Sim");

    TCheck C = Check("Sim");
    EXPECT_EQ(C.Code, statshost::rsHealthy);
    EXPECT_EQ(C.Text, "");

    H.Sim().SetHealth({statshost::THealthState::Warning, "Licence expires in 3 days."});
    C = Check("Sim");
    EXPECT_EQ(C.Code, statshost::rsWarning);
    EXPECT_EQ(C.Text, "Licence expires in 3 days.");

    H.Sim().SetHealth({statshost::THealthState::Warning, ""});
    C = Check("Sim");
    EXPECT_EQ(C.Code, statshost::rsWarning);
    EXPECT_TRUE(Has(C.Text, "reports a warning")) << C.Text;

    // It answers, but not with a health answer it can be judged by.
    brokersim::TFault Busy = TStandInHarness::Fault("/v1/health", TFaultKind::Error);
    Busy.Status = 503;
    Busy.Text = "The broker is shutting down.";
    H.Sim().AddFault(Busy);
    C = Check("Sim");
    EXPECT_EQ(C.Code, statshost::rsBrokerFailed);
    EXPECT_EQ(C.Text, "The broker is shutting down.");

    H.Sim().AddFault(TStandInHarness::Answer("/v1/health", R"({"state":"fine"})"));
    C = Check("Sim");
    EXPECT_EQ(C.Code, statshost::rsBrokerFailed);
    EXPECT_TRUE(Has(C.Text, "state")) << C.Text;
}

TEST(Relay, CodesForUndefinedUnusableAndUnreachableBrokers) {
    TStandInHarness H;
    TRefusingPort Dead;
    wdx::testsupport::Define(brokerstore::scUser, "Refusing", "127.0.0.1", std::to_string(Dead.Port()), "5");
    wdx::testsupport::Define(brokerstore::scUser, "Word port", "127.0.0.1", "http", "5");
    wdx::testsupport::Define(brokerstore::scUser, "Big port", "127.0.0.1", "70000", "5");
    wdx::testsupport::Define(brokerstore::scUser, "No host", "", "7563", "5");
    wdx::testsupport::Define(brokerstore::scUser, "Bad host", "no such host!", "7563", "5");
    wdx::testsupport::Define(brokerstore::scUser, "Bad time-out", "127.0.0.1", "7563", "soon");
    H.DefineSim("Stalling", "1");
    H.Sim().AddFault(TStandInHarness::Fault("/v1/health", TFaultKind::Stall, 20000));

    TCheck C = Check("Nowhere");
    EXPECT_EQ(C.Code, statshost::rsNotDefined);
    EXPECT_TRUE(Has(C.Text, "\"Nowhere\" is not defined")) << C.Text;

    C = Check("Refusing");
    EXPECT_EQ(C.Code, statshost::rsNotReachable);
    EXPECT_TRUE(Has(C.Text, "Cannot connect to the broker at 127.0.0.1:" + std::to_string(Dead.Port())))
        << C.Text;

    for (const char* Name : {"Word port", "Big port", "No host", "Bad host", "Bad time-out"}) {
        C = Check(Name);
        EXPECT_EQ(C.Code, statshost::rsBadDefinition) << Name;
        EXPECT_FALSE(C.Text.empty()) << Name;
    }
    EXPECT_TRUE(Has(Check("Big port").Text, "port \"70000\", which is not a number from 1 to 65535"));
    EXPECT_TRUE(Has(Check("Bad time-out").Text, "time-out \"soon\""));

    auto Start = std::chrono::steady_clock::now();
    C = Check("Stalling");
    EXPECT_LT(wdx::testing::SecondsSince(Start), 4.0); // the definition's 1 s, not the stall's 20 s
    EXPECT_EQ(C.Code, statshost::rsNotReachable);
    EXPECT_TRUE(Has(C.Text, "did not answer within 1 second")) << C.Text;
}

TEST(BrokerLookup, UserScopeFirstNamesWithoutCaseNumbersAsTyped) {
    testsupport::TTempStore Store;
    wdx::testsupport::Define(brokerstore::scUser, "Both", "user-host", "07563", "");
    wdx::testsupport::Define(brokerstore::scSystem, "Both", "system-host", "7000", "30");
    wdx::testsupport::Define(brokerstore::scSystem, "Machine", "system-host", " +8000 ", "-5");

    auto L = statshost::FindBrokerDefinition("bOTH");
    ASSERT_EQ(L.Status, statshost::TLookupStatus::Found) << L.ErrorText;
    EXPECT_EQ(L.Address.Scope, brokerstore::scUser);
    EXPECT_EQ(L.Address.HostName, "user-host");
    EXPECT_EQ(L.Address.Port, 7563);
    EXPECT_EQ(L.Address.TimeOutSeconds, 0); // missing reads as 0: the client's default

    L = statshost::FindBrokerDefinition("Machine");
    ASSERT_EQ(L.Status, statshost::TLookupStatus::Found) << L.ErrorText;
    EXPECT_EQ(L.Address.Scope, brokerstore::scSystem);
    EXPECT_EQ(L.Address.Port, 8000);

    EXPECT_EQ(statshost::FindBrokerDefinition("").Status, statshost::TLookupStatus::NotDefined);
    EXPECT_EQ(statshost::FindBrokerDefinition("a\\b").Status, statshost::TLookupStatus::NotDefined);
    EXPECT_EQ(statshost::ParseDefinitionInteger("99999999999"), 99999999999LL);
    EXPECT_FALSE(statshost::ParseDefinitionInteger("12a"));
    EXPECT_FALSE(statshost::ParseDefinitionInteger("+-1"));
    EXPECT_FALSE(statshost::ParseDefinitionInteger("  "));
}

TEST(MonitorServer, ConnectReportsWhoAnswersAndEveryQueryNeedsIt) {
    TStandInHarness H;
    H.DefineSim("Sim");
    TComPtr<_Monitor> M = NewMonitor();
    TComPtr<_servers> Servers;
    ComCheck(M->Servers(Servers.Out()));

    // Not connected yet: the query fails as a query, with a reason.
    std::int16_t Status = 0;
    ComCheck(Servers->Open(&Status));
    EXPECT_EQ(Status, -1);
    EXPECT_TRUE(Has(WideToUtf8(ComGet(*Servers, &_servers::ErrorText)), "not connected"));

    std::u16string Text2, Text3;
    ASSERT_EQ(Connect(*M, "Sim", &Text2, &Text3), 0) << WideToUtf8(ComGet(*M, &_Monitor::ErrorText));
    EXPECT_EQ(Text2, u"Test broker");
    EXPECT_EQ(Text3, Utf8ToWide("127.0.0.1:" + std::to_string(H.Sim().Port())));
    ComCheck(Servers->Open(&Status));
    EXPECT_EQ(Status, 0);
    EXPECT_EQ(ComGet(*Servers, &_servers::ErrorText), u"");

    // Disconnect ends it for every object the server handed out.
    EXPECT_EQ(ComGet(*M, &_Monitor::Disconnect), 0);
    ComCheck(Servers->Open(&Status));
    EXPECT_EQ(Status, -1);

    // A failed connect leaves no connection behind, not even the earlier one.
    ASSERT_EQ(Connect(*M, "Sim"), 0);
    EXPECT_EQ(Connect(*M, "Nowhere"), -1);
    EXPECT_TRUE(Has(WideToUtf8(ComGet(*M, &_Monitor::ErrorText)), "\"Nowhere\" is not defined"));
    ComCheck(Servers->Open(&Status));
    EXPECT_EQ(Status, -1);
}

TEST(MonitorServer, RowCursorIsBoundedAndRefusesMisuse) {
    TStandInHarness H;
    H.DefineSim("Sim");
    TComPtr<_Monitor> M = NewMonitor();
    ASSERT_EQ(Connect(*M, "Sim"), 0);
    TComPtr<_services> S;
    ComCheck(M->Services(S.Out()));
    ComCheck(S->Component(TBStr(u"Orders").Get()));

    auto Why = [] {
        std::u16string Text;
        EXPECT_TRUE(TakeComErrorText(Text));
        return Text;
    };
    const std::u16string NoRow = u"The service list has no current row; Next makes one current.";
    std::int32_t Figure = 0;
    EXPECT_TRUE(FAILED(S->Requests(&Figure))); // nothing opened yet
    EXPECT_EQ(Why(), NoRow);
    EXPECT_EQ(ComGet(*S, &_services::Next), 1);
    EXPECT_EQ(ComGet(*S, &_services::Open), 0);
    EXPECT_TRUE(FAILED(S->Requests(nullptr))); // no row current before Next, told before the argument
    EXPECT_EQ(Why(), NoRow);

    std::vector<std::u16string> Names;
    for (int I = 0; I < 10 && ComGet(*S, &_services::Next) == 0; ++I)
        Names.push_back(ComGet(*S, &_services::Name));
    EXPECT_EQ(Names, (std::vector<std::u16string>{u"Orders.Create", u"Orders.Cancel"}));
    EXPECT_EQ(ComGet(*S, &_services::Next), 1); // stays at the end
    TBStr Name;
    EXPECT_TRUE(FAILED(S->Name(Name.Out())));
    DropComError();
    // Read to the end, the rows are let go; the next Open brings them again.
    EXPECT_EQ(ComGet(*S, &_services::Open), 0);
    EXPECT_EQ(ComGet(*S, &_services::Next), 0);
    EXPECT_EQ(ComGet(*S, &_services::Name), u"Orders.Create");
    // A missing out argument moves nothing and leaves no text.
    EXPECT_EQ(S->Requests(nullptr), E_POINTER);
    EXPECT_EQ(S->Name(nullptr), E_POINTER);
    EXPECT_EQ(S->Next(nullptr), E_POINTER);
    std::u16string Left;
    EXPECT_FALSE(TakeComErrorText(Left));
    EXPECT_EQ(ComGet(*S, &_services::Name), u"Orders.Create");
    EXPECT_EQ(ComGet(*S, &_services::Requests), 100);

    // A failed Open leaves no rows of the earlier one to read.
    ComCheck(S->Component(TBStr(u"Nope").Get()));
    EXPECT_EQ(ComGet(*S, &_services::Open), -1);
    EXPECT_EQ(WideToUtf8(ComGet(*S, &_services::ErrorText)),
              "The component \"Nope\" is not known to this broker.");
    EXPECT_EQ(ComGet(*S, &_services::Next), 1);

    ComCheck(S->Close());
    std::int16_t Status = 0;
    HRESULT After = S->Open(&Status);
    EXPECT_TRUE(FAILED(After));
    const std::u16string Closed = u"The service list has been closed.";
    EXPECT_EQ(Why(), Closed);
    // Closed is told before anything else a read could be refused for.
    EXPECT_TRUE(FAILED(S->Requests(nullptr)));
    EXPECT_EQ(Why(), Closed);
    EXPECT_TRUE(FAILED(S->Name(nullptr)));
    EXPECT_EQ(Why(), Closed);
    EXPECT_TRUE(FAILED(S->Next(nullptr)));
    EXPECT_EQ(Why(), Closed);
    EXPECT_TRUE(FAILED(S->Close()));
    DropComError();
}

TEST(MonitorServer, DetailsActionsAndVersionKeepTheirOwnRules) {
    TStandInHarness H;
    H.DefineSim("Sim");
    TComPtr<_Monitor> M = NewMonitor();
    ASSERT_EQ(Connect(*M, "Sim"), 0);

    // Details of another component than the one asked for are refused.
    TComPtr<_server_info> Info;
    ComCheck(M->ServerInfo(Info.Out()));
    ComCheck(Info->Component(TBStr(u"Orders").Get()));
    EXPECT_EQ(ComGet(*Info, &_server_info::Open), 0);
    EXPECT_EQ(ComGet(*Info, &_server_info::Maximum), 8);
    H.Sim().AddFault(TStandInHarness::Answer(
        "/v1/components/Orders", R"({"name":"Billing","invokedBy":"","active":1,"maximum":1,"requests":1,)"
                                 R"("queued":0,"queueTime":0,"serviceTime":0})"));
    EXPECT_EQ(ComGet(*Info, &_server_info::Open), -1);
    EXPECT_TRUE(Has(WideToUtf8(ComGet(*Info, &_server_info::ErrorText)), "details of \"Billing\""));
    std::int32_t Figure = 0;
    EXPECT_TRUE(FAILED(Info->Maximum(&Figure))); // the earlier figures are gone too

    // An action the broker reports differently is not a success.
    TComPtr<_server_action> Act;
    ComCheck(M->ServerAction(Act.Out()));
    ComCheck(Act->Component(TBStr(u"Orders").Get()));
    ComCheck(Act->Action(TBStr(u"setmax").Get()));
    ComCheck(Act->Value(5));
    H.Sim().AddFault(TStandInHarness::Answer("/v1/components/Orders/actions",
                                             R"({"component":"Orders","action":"retire","value":0})"));
    EXPECT_EQ(ComGet(*Act, &_server_action::Execute), -1);
    EXPECT_NE(ComGet(*Act, &_server_action::ErrorCode), 0);
    H.Sim().ClearFaults();
    EXPECT_EQ(ComGet(*Act, &_server_action::Execute), 0);
    EXPECT_EQ(ComGet(*Act, &_server_action::ErrorCode), 0);
    EXPECT_EQ(ComGet(*Info, &_server_info::Open), 0);
    EXPECT_EQ(ComGet(*Info, &_server_info::Maximum), 5);

    // Version: a known one, an unknown one, and a failed lookup.
    TComPtr<_version> V;
    ComCheck(M->VersionInfo(V.Out()));
    ComCheck(V->Component(TBStr(u"wdxappserver").Get()));
    EXPECT_EQ(ComGet(*V, &_version::NotFound), 0);
    EXPECT_EQ(ComGet(*V, &_version::ErrorCode), 0);
    EXPECT_EQ(ComGet(*V, &_version::Version), u"4.2.1 (test)");
    ComCheck(V->Component(TBStr(u"nothing").Get()));
    EXPECT_EQ(ComGet(*V, &_version::NotFound), 1);
    H.Sim().AddFault(TStandInHarness::Fault("/v1/versions/*", TFaultKind::Error));
    ComCheck(V->Component(TBStr(u"wdxappserver").Get()));
    EXPECT_EQ(ComGet(*V, &_version::NotFound), 0);
    EXPECT_EQ(ComGet(*V, &_version::ErrorCode), brokersim::ecSimulatedFailure);
    EXPECT_EQ(ComGet(*V, &_version::Version), u"");
}

TEST(StandIns, RegisteredForTheClassIdentifiersTheMonitorCreates) {
    testsupport::TTempStore Store;
    wdx::testing::TTestSim Sim;
    wdx::testsupport::Define(brokerstore::scUser, "Sim", "127.0.0.1", std::to_string(Sim.Port()), "5");
    // Empty while the test runs, and put back as they were after it.
    TClassRegistrationScope NoMonitor(CLSID_Monitor, {});
    TClassRegistrationScope NoRelay(CLSID_OmniRelay, {});
    ASSERT_FALSE(IsClassRegistered(CLSID_Monitor));

    statshost::RegisterStandIns();
    TComPtr<IOmniRelay> Relay = CoOmniRelay::Create();
    std::int16_t Code = -100;
    ComCheck(Relay->CheckBroker(TBStr(u"Sim").Get(), 0, 0, 0, &Code));
    EXPECT_EQ(Code, statshost::rsHealthy);
    TMonitor M;
    std::u16string Name = u"Sim", T2, T3;
    EXPECT_EQ(M.Connect(Name, T2, T3), 0);
    EXPECT_EQ(T2, u"Test broker");
}

#ifdef _WIN32
// Where the objects come from: WDXStatsHost.dll is loaded exactly when COM
// activated the classes through its registration. And a COM client, which
// asks ISupportErrorInfo before it reads the error object, reads the text of
// a failed call.
TEST(StandIns, ComeFromTheTableOrTheRegisteredServerAndKeepTheirErrorTexts) {
    TStandInHarness H;
    TComPtr<_Monitor> M = NewMonitor();
    EXPECT_EQ(GetModuleHandleW(L"WDXStatsHost.dll") != nullptr, wdx::testing::StandInsRegistered());

    TComPtr<_servers> Servers;
    ComCheck(M->Servers(Servers.Out()));
    ComCheck(Servers->Close());
    TComPtr<ISupportErrorInfo> Support;
    ASSERT_EQ(Servers->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(Support.Out())), S_OK);
    EXPECT_EQ(Support->InterfaceSupportsErrorInfo(_servers::Iid), S_OK);
    EXPECT_EQ(Support->InterfaceSupportsErrorInfo(_services::Iid), S_FALSE);
    EXPECT_EQ(Servers->Close(), E_FAIL);
    std::u16string Why;
    EXPECT_TRUE(TakeComErrorText(Why));
    EXPECT_EQ(Why, u"The component list has been closed.");
}
#endif
