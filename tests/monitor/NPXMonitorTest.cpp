#include "ComEnvironment.h"
#include "FakeMonitor.h"

#include "monitor/NPXMonitor.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace wdx::monitor;
using namespace wdx::monitor::fake;
using Calls = std::vector<std::string>;

namespace {

template <class F> ENPXException CatchNPX(F&& Body) {
    try {
        Body();
    } catch (const ENPXException& e) {
        return e;
    } catch (const std::exception& e) {
        ADD_FAILURE() << "other failure: " << e.what();
        return {0, "", u""};
    }
    ADD_FAILURE() << "no ENPXException";
    return {0, "", u""};
}

// The message of the COM error Body raises (and nothing else).
template <class F> std::string CatchCOM(F&& Body) {
    try {
        Body();
    } catch (const ECOMError& e) {
        return e.what();
    } catch (const std::exception& e) {
        ADD_FAILURE() << "other failure: " << e.what();
        return {};
    }
    ADD_FAILURE() << "no ECOMError";
    return {};
}

class NPXMonitorTest : public ::testing::Test {
protected:
    // A connection to "Broker1" with the construction calls taken off the log.
    std::unique_ptr<TNPXMonitor> Connected() {
        auto c = std::make_unique<TNPXMonitor>(u"Broker1");
        Server->TakeCalls();
        return c;
    }
    void TearDown() override {
        if (Conn)
            TNPXMonitor::Destroy(Conn);
        EXPECT_EQ(Server->LiveObjects, 0) << "an object was never released";
    }

    TFakeServer Server;
    std::unique_ptr<TNPXMonitor> Conn;
};

const Calls ConstructCalls = {"Monitor.Create",  "Monitor.QueryInterface", "Monitor.Release",
                              "Monitor.Connect", "Monitor.Servers",        "Monitor.Services",
                              "Monitor.Params"};

} // namespace

TEST_F(NPXMonitorTest, ConstructsAndTearsDownInOrder) {
    Conn = std::make_unique<TNPXMonitor>(u"Broker1");
    EXPECT_EQ(Server->TakeCalls(), ConstructCalls);
    EXPECT_EQ(Server->ConnectTexts, (std::vector<std::u16string>{u"Broker1", u"", u""}));

    TNPXMonitor::Destroy(Conn);
    EXPECT_FALSE(Conn);
    EXPECT_EQ(Server->TakeCalls(),
              (Calls{"servers.Close", "services.Close", "params.Close", "Monitor.Disconnect",
                     "servers.Release", "services.Release", "params.Release", "Monitor.Release"}));
}

TEST_F(NPXMonitorTest, TeardownClosesDetailsAndActionAfterTheLists) {
    Server->Info[u"C"] = {};
    Conn = Connected();
    Conn->PerformAction("C", "clear", 0);
    Conn->GetServerMore("C");
    Server->TakeCalls();
    Conn.reset(); // the destructor tears down the same way
    EXPECT_EQ(Server->TakeCalls(),
              (Calls{"servers.Close", "services.Close", "params.Close", "server_action.Close",
                     "server_info.Close", "Monitor.Disconnect", "servers.Release", "services.Release",
                     "params.Release", "server_action.Release", "server_info.Release", "Monitor.Release"}));
}

TEST_F(NPXMonitorTest, RefusedConnectDisconnectsBeforeTheErrorLeaves) {
    Server->ConnectResult = -1;
    Server->ConnectRename = u"Broker1 (as the server calls it)";
    Server->MonitorErrorText = u"refused: unknown broker";
    ENPXException e = CatchNPX([] { TNPXMonitor c(u"Broker1"); });
    EXPECT_EQ(e.MessageId, 2001);
    EXPECT_EQ(e.Title, "Broker1 (as the server calls it)");
    EXPECT_EQ(e.Detail, u"refused: unknown broker");
    EXPECT_STREQ(e.what(), "");
    EXPECT_EQ(Server->TakeCalls(),
              (Calls{"Monitor.Create", "Monitor.QueryInterface", "Monitor.Release", "Monitor.Connect",
                     "Monitor.ErrorText", "Monitor.Disconnect", "Monitor.Release"}));
}

TEST_F(NPXMonitorTest, ConstructionFailuresLeaveNothingBehind) {
    // Only exactly -1 is a refusal.
    Server->ConnectResult = -2;
    EXPECT_NO_THROW(TNPXMonitor(u"B"));
    Server->ConnectResult = 0;
    Server->TakeCalls();

    // A failed interface fetch tears down what exists; the server still hears the disconnect.
    Server->FailCall("Monitor.Params", u"no parameter list");
    EXPECT_EQ(CatchCOM([] { TNPXMonitor c(u"B"); }), "no parameter list");
    Calls calls = Server->TakeCalls();
    EXPECT_EQ(Calls(calls.begin() + 7, calls.end()),
              (Calls{"servers.Close", "services.Close", "Monitor.Disconnect", "servers.Release",
                     "services.Release", "Monitor.Release"}));

    // The server object cannot be created: nothing was activated, so no disconnect.
    Server->FailCall("Monitor.Create", u"cannot start the server");
    EXPECT_EQ(CatchCOM([] { TNPXMonitor c(u"B"); }), "cannot start the server");
    EXPECT_EQ(Server->TakeCalls(), Calls{"Monitor.Create"});

    // The refusal's own error text cannot be read: that error leaves, after the disconnect.
    Server->ConnectResult = -1;
    Server->FailCall("Monitor.ErrorText", u"error text lost");
    Server->FailCall("Monitor.Disconnect", u"disconnect failed too");
    EXPECT_EQ(CatchCOM([] { TNPXMonitor c(u"B"); }), "error text lost");
    EXPECT_EQ(Server->Calls.at(Server->Calls.size() - 2), "Monitor.Disconnect");
}

TEST(NPXMonitorNoServer, UnregisteredMonitorClassRaises2008) {
    ENPXException e = CatchNPX([] { TNPXMonitor c(u"Brökér"); });
    EXPECT_EQ(e.MessageId, 2008);
    EXPECT_EQ(e.Title, "Brökér");
    EXPECT_EQ(e.Detail, u"The monitor server class is not registered.");
}

TEST_F(NPXMonitorTest, FailedTeardownStepStillReleasesEverythingAndReportsTheFirst) {
    Conn = Connected();
    Server->FailCall("servers.Close", u"first close failed");
    Server->FailCall("params.Close", u"second close failed");
    EXPECT_EQ(CatchCOM([&] { TNPXMonitor::Destroy(Conn); }), "first close failed");
    EXPECT_FALSE(Conn);
    EXPECT_EQ(Server->TakeCalls(),
              (Calls{"servers.Close", "services.Close", "params.Close", "Monitor.Disconnect",
                     "servers.Release", "services.Release", "params.Release", "Monitor.Release"}));
}

TEST_F(NPXMonitorTest, GetServersReadsEveryRowInServerOrder) {
    Server->Servers = {{u"Zeta", 1, 2, 3, 4, 5, 6}, {u"Alpha", -7, 8, 9, 10, 11, 12}};
    Server->ServersOpen = -2; // not -1: success
    Conn = Connected();
    TServerList list = Conn->GetServers();
    ASSERT_EQ(list.size(), 2u);
    const TServer& z = list[0];
    EXPECT_EQ(z.Name, "Zeta");
    EXPECT_EQ((std::vector{z.Active, z.Maximum, z.Requests, z.Queued, z.QueueTime, z.ServiceTime}),
              (std::vector{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(list[1].Name, "Alpha");
    EXPECT_EQ(list[1].Active, -7);
    Calls row = {"servers.Name",   "servers.Maximum",   "servers.Active",      "servers.Requests",
                 "servers.Queued", "servers.QueueTime", "servers.ServiceTime", "servers.Next"};
    Calls expected = {"servers.Open", "servers.Next"};
    expected.insert(expected.end(), row.begin(), row.end());
    expected.insert(expected.end(), row.begin(), row.end());
    EXPECT_EQ(Server->TakeCalls(), expected);

    // The next query re-opens the same interface, without closing it.
    Server->Servers.clear();
    EXPECT_TRUE(Conn->GetServers().empty());
    EXPECT_EQ(Server->TakeCalls(), (Calls{"servers.Open", "servers.Next"}));
}

TEST_F(NPXMonitorTest, ListsFailWithTheirIdTitleAndErrorText) {
    Conn = Connected();
    Server->ServersOpen = Server->ServicesOpen = Server->ParamsOpen = -1;

    ENPXException e = CatchNPX([&] { Conn->GetServers(); });
    EXPECT_EQ(e.MessageId, 2002);
    EXPECT_EQ(e.Title, "");
    EXPECT_EQ(e.Detail, u"servers error text");

    e = CatchNPX([&] { Conn->GetServices("Comp"); });
    EXPECT_EQ(e.MessageId, 2003);
    EXPECT_EQ(e.Title, "Comp");
    EXPECT_EQ(e.Detail, u"services error text");

    e = CatchNPX([&] { Conn->GetParams("Svc"); });
    EXPECT_EQ(e.MessageId, 2003);
    EXPECT_EQ(e.Title, "Svc");
    EXPECT_EQ(e.Detail, u"params error text");

    // Reading the error text fails: that failure propagates instead.
    Server->FailCall("servers.ErrorText", u"no error text");
    EXPECT_EQ(CatchCOM([&] { Conn->GetServers(); }), "no error text");

    // A failure in mid-row propagates unchanged; the connection stays usable.
    Server->ServersOpen = 0;
    Server->Servers = {{u"A"}};
    Server->FailCall("servers.Queued", u"row lost");
    EXPECT_EQ(CatchCOM([&] { Conn->GetServers(); }), "row lost");
    EXPECT_EQ(Conn->GetServers().size(), 1u);
}

TEST_F(NPXMonitorTest, ServicesAndParamsNameTheirQueryAndReadInOrder) {
    Server->Services[u"Zähler"] = {{u"Svc1", 1, 2, 3, 4}};
    Server->Params[u"Svc1"] = {{u"P", 2, 3, 10, 4}};
    Conn = Connected();

    TServiceList services = Conn->GetServices("Zähler");
    ASSERT_EQ(services.size(), 1u);
    EXPECT_EQ(services[0].Name, "Svc1");
    EXPECT_EQ((std::vector{services[0].Requests, services[0].Queued, services[0].QueueTime,
                           services[0].ServiceTime}),
              (std::vector{1, 2, 3, 4}));
    EXPECT_EQ(Server->TakeCalls(), (Calls{"services.Component", "services.Open", "services.Next",
                                          "services.Name", "services.Requests", "services.Queued",
                                          "services.QueueTime", "services.ServiceTime", "services.Next"}));

    TParamsList params = Conn->GetParams("Svc1");
    ASSERT_EQ(params.size(), 1u);
    EXPECT_EQ(params[0].Name, "P");
    EXPECT_EQ((std::vector{params[0].DataType, params[0].Mode, params[0].Precision, params[0].Scale}),
              (std::vector{2, 3, 10, 4}));
    EXPECT_EQ(Server->TakeCalls(),
              (Calls{"params.Service", "params.Open", "params.Next", "params.Name", "params.Mode",
                     "params.DataType", "params.Scale", "params.Precision", "params.Next"}));
    EXPECT_TRUE(Conn->GetParams("unknown").empty());
}

TEST_F(NPXMonitorTest, DetailsInterfaceIsObtainedOnceAndRetriedAfterAFailure) {
    Server->Info[u"C"] = {u"Someone", 1, 2, 3, 4, 5, 6};
    Conn = Connected();

    Server->FailCall("Monitor.ServerInfo", u"not now");
    ENPXException e = CatchNPX([&] { Conn->GetServerMore("C"); });
    EXPECT_EQ(e.MessageId, 2004);
    EXPECT_EQ(e.Title, "C");
    EXPECT_EQ(e.Detail, u"monitor error text");
    EXPECT_EQ(Server->TakeCalls(), (Calls{"Monitor.ServerInfo", "Monitor.ErrorText"}));

    TServerMore m = Conn->GetServerMore("C");
    EXPECT_EQ(m.InvokedBy, "Someone");
    EXPECT_EQ((std::vector{m.Active, m.Maximum, m.Requests, m.Queued, m.QueueTime, m.ServiceTime}),
              (std::vector{1, 2, 3, 4, 5, 6}));
    Calls details = {"server_info.Component", "server_info.Open",      "server_info.InvokedBy",
                     "server_info.Active",    "server_info.Maximum",   "server_info.Requests",
                     "server_info.Queued",    "server_info.QueueTime", "server_info.ServiceTime"};
    Calls expected = {"Monitor.ServerInfo"};
    expected.insert(expected.end(), details.begin(), details.end());
    EXPECT_EQ(Server->TakeCalls(), expected);

    Conn->GetServerMore("C");
    EXPECT_EQ(Server->TakeCalls(), details) << "the held interface is reused";
}

TEST_F(NPXMonitorTest, DetailsFailuresCarryTheDetailsErrorText) {
    Server->Info[u"C"] = {};
    Conn = Connected();
    for (const char* call : {"server_info.Component", "server_info.Open"}) {
        Server->FailCall(call);
        ENPXException e = CatchNPX([&] { Conn->GetServerMore("C"); });
        EXPECT_EQ(e.MessageId, 2004) << call;
        EXPECT_EQ(e.Detail, u"info error text") << call;
    }
    ENPXException e = CatchNPX([&] { Conn->GetServerMore("missing"); }); // Open gives -1
    EXPECT_EQ(e.MessageId, 2004);
    EXPECT_EQ(e.Title, "missing");

    Server->FailCall("server_info.Maximum", u"figure lost");
    EXPECT_EQ(CatchCOM([&] { Conn->GetServerMore("C"); }), "figure lost");
}

TEST_F(NPXMonitorTest, PerformActionPassesItsArgumentsAndChecksBothResults) {
    Conn = Connected();
    Conn->PerformAction("Comp", "setmax", 5);
    ASSERT_EQ(Server->Actions.size(), 1u);
    EXPECT_EQ(Server->Actions[0].Component, u"Comp");
    EXPECT_EQ(Server->Actions[0].Action, u"setmax");
    EXPECT_EQ(Server->Actions[0].Value, 5);
    EXPECT_EQ(Server->TakeCalls(),
              (Calls{"Monitor.ServerAction", "server_action.Component", "server_action.Action",
                     "server_action.Value", "server_action.Execute", "server_action.ErrorCode"}));

    // Execute says 0 but the code says otherwise: failed.
    Server->ActionErrorCode = 17;
    ENPXException e = CatchNPX([&] { Conn->PerformAction("Comp", "retire", 0); });
    EXPECT_EQ(e.MessageId, 2005);
    EXPECT_EQ(e.Title, "Comp");
    EXPECT_EQ(e.Detail, u"action error text");
    EXPECT_EQ(Server->TakeCalls().front(), "server_action.Component") << "the held interface is reused";

    Server->ActionErrorCode = 0;
    Server->ExecuteResult = -1;
    EXPECT_EQ(CatchNPX([&] { Conn->PerformAction("Comp", "clear", 0); }).MessageId, 2005);
    Server->TakeCalls();

    // A failed call before Execute is a failed action; ErrorCode is not read then.
    Server->ExecuteResult = 0;
    Server->FailCall("server_action.Value");
    EXPECT_EQ(CatchNPX([&] { Conn->PerformAction("Comp", "setmax", 1); }).MessageId, 2005);
    Calls calls = Server->TakeCalls();
    EXPECT_EQ(calls.back(), "server_action.ErrorText");
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "server_action.ErrorCode"), 0);

    // Reading the code fails: that failure propagates.
    Server->FailCall("server_action.ErrorCode", u"code lost");
    EXPECT_EQ(CatchCOM([&] { Conn->PerformAction("Comp", "clear", 0); }), "code lost");
}

TEST_F(NPXMonitorTest, ActionInterfaceIsRetriedAfterAFailure) {
    Conn = Connected();
    Server->FailCall("Monitor.ServerAction");
    ENPXException e = CatchNPX([&] { Conn->PerformAction("Comp", "clear", 0); });
    EXPECT_EQ(e.MessageId, 2004);
    EXPECT_EQ(e.Detail, u"monitor error text");
    Conn->PerformAction("Comp", "clear", 0);
    EXPECT_EQ(std::count(Server->Calls.begin(), Server->Calls.end(), "Monitor.ServerAction"), 2);
}

TEST_F(NPXMonitorTest, GetVersionNeverFails) {
    Conn = Connected();
    EXPECT_EQ(Conn->GetVersion(), "4.2.1");
    EXPECT_EQ(Server->VersionComponentSeen, u"wdxappserver");
    EXPECT_EQ(Server->TakeCalls(),
              (Calls{"Monitor.VersionInfo", "version.Component", "version.NotFound", "version.ErrorCode",
                     "version.Version", "version.Close", "version.Release"}));

    Server->VersionNotFound = 1;
    EXPECT_EQ(Conn->GetVersion(), "");
    EXPECT_EQ(Server->TakeCalls(),
              (Calls{"Monitor.VersionInfo", "version.Component", "version.NotFound", "version.Release"}));

    Server->VersionNotFound = 0;
    Server->VersionErrorCode = 3;
    EXPECT_EQ(Conn->GetVersion(), "");
    EXPECT_EQ(Server->TakeCalls(), (Calls{"Monitor.VersionInfo", "version.Component", "version.NotFound",
                                          "version.ErrorCode", "version.Close", "version.Release"}));

    // A failure after the text was read keeps the text; one before gives nothing.
    Server->VersionErrorCode = 0;
    Server->FailCall("version.Close");
    EXPECT_EQ(Conn->GetVersion(), "4.2.1");
    Server->FailCall("Monitor.VersionInfo");
    EXPECT_EQ(Conn->GetVersion(), "");
    Server->FailCall("version.Version");
    EXPECT_EQ(Conn->GetVersion(), "");
}

TEST_F(NPXMonitorTest, RecordsOutliveTheConnection) {
    Server->Servers = {{u"Gerät ✓", 1, 2}};
    Server->Services[u"Gerät ✓"] = {{u"S"}};
    Server->Params[u"S"] = {{u"P", 1, 5}};
    Server->Info[u"Gerät ✓"] = {u"op"};
    Conn = Connected();
    TServerList servers = Conn->GetServers();
    TServiceList services = Conn->GetServices(servers.at(0).Name);
    TParamsList params = Conn->GetParams("S");
    TServerMore more = Conn->GetServerMore("Gerät ✓");
    TNPXMonitor::Destroy(Conn);
    EXPECT_EQ(Server->LiveObjects, 0);
    EXPECT_EQ(servers.at(0).Name, "Gerät ✓");
    EXPECT_EQ(servers.at(0).Maximum, 2);
    EXPECT_EQ(services.at(0).Name, "S");
    EXPECT_EQ(params.at(0).Mode, 5);
    EXPECT_EQ(more.InvokedBy, "op");
}
