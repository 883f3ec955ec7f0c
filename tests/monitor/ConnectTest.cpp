// The connect step, the reset (Disconnect), Close, and the window's
// connected and not-connected states, against the scripted fake.

#include "WindowHarness.h"

#include "common/widgets/UpDown.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

using namespace wdx;
using namespace wdx::monitor;
using namespace wdx::monitor::test;
using common::TMsgAnswer;
using common::TMsgButtons;
using common::TMsgIcon;
using Calls = std::vector<std::string>;

namespace {

const QString Warning1 = QStringLiteral("Invalid return from Omni Relay: 1 - relay error text\n"
                                        "Click OK to continue, Cancel to disconnect.");

class ConnectTest : public TWindowTest {};

} // namespace

TEST_F(ConnectTest, ChoosingABrokerConnectsShowsItsVersionAndComponents) {
    TForm1& f = Open();
    // Through the selector's own drop-down list, as the operator does it.
    Find<QComboBox>(f, "ComboBox1")->showPopup();
    QAbstractItemView* view = Find<QComboBox>(f, "ComboBox1")->view();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window()));
    QTest::mouseClick(
        view->viewport(), Qt::LeftButton, {},
        view->visualRect(
                view->model()->index(Find<QComboBox>(f, "ComboBox1")->findText(QStringLiteral("Alpha")), 0))
            .center());

    EXPECT_TRUE(Boxes.Seen.empty());
    ExpectConnected("after connect");
    EXPECT_EQ(Find<QComboBox>(f, "ComboBox1")->currentText(), QStringLiteral("Alpha"));
    EXPECT_EQ(f.BrokerName, QStringLiteral("Alpha"));
    EXPECT_EQ(Find<QLabel>(f, "lblVersionDisplay")->text(), QStringLiteral("4.2.1"));
    EXPECT_EQ(Server->VersionComponentSeen, u"wdxappserver");
    EXPECT_EQ(Server->CheckedBrokers, std::vector<std::u16string>{u"Alpha"});
    EXPECT_EQ(Server->CheckArgs, (std::vector<std::int32_t>{0, 0, 0}));
    EXPECT_EQ(Server->ConnectTexts, (std::vector<std::u16string>{u"Alpha", u"", u""}));
    EXPECT_EQ(Captions(Find<common::TListView>(f, "ListView1")),
              (QStringList{QStringLiteral("Orders"), QStringLiteral("Billing"), QStringLiteral("Stock")}));
    EXPECT_EQ(Find<common::TListView>(f, "ListView1")->SelectedRow(), -1);
    EXPECT_EQ(Find<common::TListView>(f, "ListView2")->model()->rowCount(), 0);
    ExpectAutomatic(false);

    // The relay lived for the check alone and was released by the step's
    // end; the connection holds the monitor server and its three lists.
    const Calls calls = Server->TakeCalls();
    auto at = [&](const std::string& C) { return std::find(calls.begin(), calls.end(), C) - calls.begin(); };
    EXPECT_LT(at("Relay.CheckBroker"), at("Monitor.Create"));
    EXPECT_EQ(Count(calls, "Relay.Release"),
              Count(calls, "Relay.Create") + Count(calls, "Relay.QueryInterface"));
    EXPECT_LT(at("Monitor.VersionInfo"), at("servers.Open"));
    EXPECT_EQ(Count(calls, "services.Open"), 0);
    EXPECT_EQ(Server->LiveObjects, 4);
}

TEST_F(ConnectTest, DisconnectEndsTheConnectionAndResetsEveryControlAndField) {
    TForm1& f = Open();
    Connect();
    ClickRow(Find<common::TListView>(f, "ListView1"), 0);
    ClickRow(Find<common::TListView>(f, "ListView2"), 1);
    Find<QCheckBox>(f, "cbRefresh")->click();
    ASSERT_EQ(f.CurrentService, QStringLiteral("Cancel"));
    ASSERT_TRUE(Find<QTimer>(f, "Timer1")->isActive());
    TMonitorLink link = f.Connection.Link();
    ASSERT_TRUE(link);
    QSignalSpy ended(&f, &TForm1::ConnectionEnded);
    Server->TakeCalls();

    Find<QPushButton>(f, "DisconnectBtn")->click();

    EXPECT_EQ(Server->TakeCalls(),
              (Calls{"servers.Close", "services.Close", "params.Close", "Monitor.Disconnect",
                     "servers.Release", "services.Release", "params.Release", "Monitor.Release"}));
    EXPECT_EQ(Server->LiveObjects, 0);
    ExpectNotConnected("after Disconnect");
    ExpectAutomatic(false);
    EXPECT_EQ(Find<QComboBox>(f, "ComboBox1")->currentIndex(), 0);
    EXPECT_TRUE(f.BrokerName.isEmpty());
    EXPECT_TRUE(f.CurrentComponent.isEmpty());
    EXPECT_TRUE(f.CurrentService.isEmpty());
    EXPECT_EQ(ended.count(), 1);
    EXPECT_FALSE(link);
    EXPECT_TRUE(Boxes.Seen.empty());
    // The interval stays as the operator left it.
    EXPECT_EQ(Find<QLineEdit>(f, "Edit2")->text(), QStringLiteral("10"));

    // Harmless when not connected: it only resets the controls again.
    f.DisconnectBtnClick();
    EXPECT_TRUE(Server->TakeCalls().empty());
    EXPECT_EQ(ended.count(), 1);
}

TEST_F(ConnectTest, ChoosingNoneWhileConnectedLeavesTheConnection) {
    TForm1& f = Open();
    Connect();
    ClickRow(Find<common::TListView>(f, "ListView1"), 0);
    Server->TakeCalls();
    Choose(QStringLiteral("(None)"));
    EXPECT_EQ(Find<QComboBox>(f, "ComboBox1")->currentIndex(), 0);
    ExpectConnected("after (None)");
    EXPECT_EQ(f.BrokerName, QStringLiteral("Alpha"));
    EXPECT_EQ(Find<common::TListView>(f, "ListView1")->model()->rowCount(), 3);
    EXPECT_EQ(Find<common::TListView>(f, "ListView2")->model()->rowCount(), 2);
    EXPECT_TRUE(Server->TakeCalls().empty());
}

TEST_F(ConnectTest, ChoosingAnotherBrokerResetsBeforeConnectingAgain) {
    TForm1& f = Open();
    Connect();
    ClickRow(Find<common::TListView>(f, "ListView1"), 0);
    TMonitorLink first = f.Connection.Link();
    Server->Servers = {{u"Spool", 1, 1, 1, 1, 1, 1}};

    Choose(QStringLiteral("Beta"));

    const Calls calls = Server->TakeCalls();
    auto at = [&](const std::string& C) { return std::find(calls.begin(), calls.end(), C) - calls.begin(); };
    ASSERT_LT(at("Monitor.Disconnect"), std::ptrdiff_t(calls.size()));
    EXPECT_LT(at("Monitor.Disconnect"), at("Relay.Create"));
    ExpectConnected("after Beta");
    EXPECT_EQ(f.BrokerName, QStringLiteral("Beta"));
    EXPECT_EQ(Find<QComboBox>(f, "ComboBox1")->currentText(), QStringLiteral("Beta"));
    EXPECT_EQ(Captions(Find<common::TListView>(f, "ListView1")), QStringList{QStringLiteral("Spool")});
    EXPECT_TRUE(f.CurrentComponent.isEmpty());
    EXPECT_EQ(Find<common::TListView>(f, "ListView2")->model()->rowCount(), 0);
    // A link lent for the first connection never reaches the second.
    EXPECT_FALSE(first);
    EXPECT_TRUE(f.Connection.Link());
    EXPECT_EQ(Server->LiveObjects, 4);
}

TEST_F(ConnectTest, RelayStatusesAndDebugMode) {
    struct TCase {
        std::int16_t Status;
        bool FailCheck, Debug, Warned;
    };
    const TCase cases[] = {{0, false, false, false}, {0, false, true, false}, {2, false, false, false},
                           {2, false, true, true},   {1, false, false, true}, {1, false, true, true},
                           {0, true, false, true},   {0, true, true, true},   {-7, false, false, true}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "status " << c.Status << (c.FailCheck ? " (check failed)" : "")
                                        << (c.Debug ? " -debug" : ""));
        Server->CheckBrokerCode = c.Status;
        if (c.FailCheck)
            Server->FailCall("Relay.CheckBroker", u"relay down");
        Boxes.Seen.clear();
        TForm1& f = Open(c.Debug ? QStringList{QStringLiteral("-debug")} : QStringList{});
        ASSERT_EQ(f.DebugMode, c.Debug);
        Choose(QStringLiteral("Alpha"));
        ASSERT_EQ(Boxes.Seen.size(), c.Warned ? 1u : 0u);
        if (c.Warned) {
            const int shown = c.FailCheck ? -1 : c.Status;
            EXPECT_EQ(Boxes.Seen[0].Text,
                      QStringLiteral("Invalid return from Omni Relay: %1 - relay error text\n"
                                     "Click OK to continue, Cancel to disconnect.")
                          .arg(shown));
            EXPECT_EQ(Boxes.Seen[0].Caption, QStringLiteral("Alpha"));
            EXPECT_EQ(Boxes.Seen[0].Icon, TMsgIcon::Warning);
            EXPECT_EQ(Boxes.Seen[0].Buttons, TMsgButtons::OkCancel);
            EXPECT_EQ(Boxes.Seen[0].Owner, &f);
        }
        // OK, or no warning at all: the step goes on.
        ExpectConnected("after the check");
        delete Form.data();
    }
}

TEST_F(ConnectTest, CancelInTheWarningResetsTheWindow) {
    TForm1& f = Open();
    Server->CheckBrokerCode = 1;
    Boxes.Answers = {TMsgAnswer::Cancel};
    Choose(QStringLiteral("Alpha"));
    ASSERT_EQ(Boxes.Texts(), QStringList{Warning1});
    ExpectNotConnected("after Cancel");
    EXPECT_EQ(Find<QComboBox>(f, "ComboBox1")->currentIndex(), 0);
    EXPECT_TRUE(f.BrokerName.isEmpty());
    const Calls calls = Server->TakeCalls();
    EXPECT_EQ(Count(calls, "Monitor.Create"), 0);
    EXPECT_EQ(Server->LiveObjects, 0);
}

TEST_F(ConnectTest, AWarningTextIsNeverReadAsATemplate) {
    Open();
    Server->CheckBrokerCode = 3;
    Server->RelayErrorText = u"100%s done, %d left";
    Choose(QStringLiteral("Alpha"));
    ASSERT_EQ(Boxes.Seen.size(), 1u);
    EXPECT_EQ(Boxes.Seen[0].Text, QStringLiteral("Invalid return from Omni Relay: 3 - 100%s done, %d left\n"
                                                 "Click OK to continue, Cancel to disconnect."));
}

TEST_F(ConnectTest, NoRelayMeansNoConnectionAndTheSelectorKeepsTheBroker) {
    TForm1& f = Open();
    Server->FailCall("Relay.Create", u"The relay is not installed.");
    Choose(QStringLiteral("Alpha"));
    ASSERT_EQ(Boxes.Seen.size(), 1u);
    EXPECT_EQ(Boxes.Seen[0].Text, QStringLiteral("Cannot access Omni Relay: The relay is not installed."));
    EXPECT_EQ(Boxes.Seen[0].Caption, QStringLiteral("Alpha"));
    EXPECT_EQ(Boxes.Seen[0].Icon, TMsgIcon::Error);
    EXPECT_EQ(Boxes.Seen[0].Buttons, TMsgButtons::Ok);
    ExpectNotConnected("no relay");
    EXPECT_EQ(Find<QComboBox>(f, "ComboBox1")->currentText(), QStringLiteral("Alpha"));
    EXPECT_EQ(f.BrokerName, QStringLiteral("Alpha"));
    EXPECT_EQ(Count(Server->TakeCalls(), "Monitor.Create"), 0);
}

TEST_F(ConnectTest, ARefusedConnectionIsShownAndLeavesTheWindowNotConnected) {
    TForm1& f = Open();
    Server->ConnectResult = -1;
    Choose(QStringLiteral("Beta"));
    ASSERT_EQ(Boxes.Seen.size(), 1u);
    EXPECT_EQ(Boxes.Seen[0].Text,
              QStringLiteral("Cannot access Corvanta Component Broker: monitor error text"));
    EXPECT_EQ(Boxes.Seen[0].Caption, QStringLiteral("Beta"));
    EXPECT_EQ(Boxes.Seen[0].Icon, TMsgIcon::Error);
    EXPECT_EQ(Boxes.Seen[0].Owner, &f);
    ExpectNotConnected("refused");
    EXPECT_EQ(Find<QComboBox>(f, "ComboBox1")->currentText(), QStringLiteral("Beta"));
    EXPECT_EQ(f.BrokerName, QStringLiteral("Beta"));
    // The refused server heard the disconnect, and nothing is left over.
    EXPECT_EQ(Count(Server->TakeCalls(), "Monitor.Disconnect"), 1);
    EXPECT_EQ(Server->LiveObjects, 0);

    // Without the monitor server class: the type library message.
    Boxes.Seen.clear();
    TClassRegistrationScope noMonitor(CLSID_Monitor, {});
    Choose(QStringLiteral("Alpha"));
    ASSERT_EQ(Boxes.Seen.size(), 1u);
    EXPECT_EQ(
        Boxes.Seen[0].Text,
        QStringLiteral("Cannot access Monitor type library: The monitor server class is not registered."));
    EXPECT_EQ(Boxes.Seen[0].Caption, QStringLiteral("Alpha"));
    ExpectNotConnected("no monitor server");
    EXPECT_EQ(Find<QComboBox>(f, "ComboBox1")->currentText(), QStringLiteral("Alpha"));
}

TEST_F(ConnectTest, AFailedFirstFillResetsTheWindow) {
    TForm1& f = Open();
    Server->ServersOpen = -1;
    QSignalSpy ended(&f, &TForm1::ConnectionEnded);
    Choose(QStringLiteral("Alpha"));
    ASSERT_EQ(Boxes.Seen.size(), 1u);
    EXPECT_EQ(Boxes.Seen[0].Text, QStringLiteral("Cannot access components: servers error text"));
    EXPECT_EQ(Boxes.Seen[0].Caption, QStringLiteral(""));
    EXPECT_EQ(Boxes.Seen[0].Icon, TMsgIcon::Error);
    ExpectNotConnected("after the failed fill");
    EXPECT_EQ(Find<QComboBox>(f, "ComboBox1")->currentIndex(), 0);
    EXPECT_TRUE(f.BrokerName.isEmpty());
    EXPECT_EQ(ended.count(), 1);
    EXPECT_EQ(Server->LiveObjects, 0);
}

TEST_F(ConnectTest, OtherFailuresGoToTheDefaultReportAndEndTheStepWhereTheyHappen) {
    TForm1& f = Open();
    {
        SCOPED_TRACE("the relay's error text");
        Server->CheckBrokerCode = 1;
        Server->FailCall("Relay.ErrorText", u"relay text unreadable");
        Choose(QStringLiteral("Alpha"));
        EXPECT_EQ(Boxes.Texts(), QStringList{QStringLiteral("relay text unreadable")});
        EXPECT_EQ(Boxes.Seen[0].Icon, TMsgIcon::Error);
        ExpectNotConnected("");
        EXPECT_EQ(f.BrokerName, QStringLiteral("Alpha"));
        EXPECT_EQ(Find<QComboBox>(f, "ComboBox1")->currentText(), QStringLiteral("Alpha"));
        EXPECT_EQ(Count(Server->TakeCalls(), "Monitor.Create"), 0);
        EXPECT_EQ(Server->LiveObjects, 0);
        Server->CheckBrokerCode = 0;
    }
    {
        SCOPED_TRACE("a set-up call of the connection");
        Boxes.Seen.clear();
        Server->FailCall("Monitor.Params", u"no parameter list");
        Choose(QStringLiteral("Beta"));
        EXPECT_EQ(Boxes.Texts(), QStringList{QStringLiteral("no parameter list")});
        ExpectNotConnected("");
        EXPECT_EQ(Find<QComboBox>(f, "ComboBox1")->currentText(), QStringLiteral("Beta"));
        EXPECT_EQ(Server->LiveObjects, 0);
    }
    {
        SCOPED_TRACE("a call of the first fill");
        Boxes.Seen.clear();
        Server->FailCall("servers.Queued", u"row lost");
        Choose(QStringLiteral("Alpha"));
        EXPECT_EQ(Boxes.Texts(), QStringList{QStringLiteral("row lost")});
        // The step went on to enable the buttons before the report.
        ExpectConnected("");
        EXPECT_EQ(Find<common::TListView>(f, "ListView1")->model()->rowCount(), 0);
    }
}

TEST_F(ConnectTest, ABrokerNameLongerThan127CharactersIsUsedWhole) {
    const std::string longName = "Plant-" + std::string(200, 'x') + "-end";
    Define(brokerstore::scUser, longName, "127.0.0.1");
    TForm1& f = Open();
    Server->CheckBrokerCode = 1;
    Choose(QString::fromStdString(longName));
    const std::u16string wide = QString::fromStdString(longName).toStdU16String();
    EXPECT_EQ(Server->CheckedBrokers, std::vector<std::u16string>{wide});
    ASSERT_EQ(Server->ConnectTexts.size(), 3u);
    EXPECT_EQ(Server->ConnectTexts[0], wide);
    ASSERT_EQ(Boxes.Seen.size(), 1u);
    EXPECT_EQ(Boxes.Seen[0].Caption.toStdString(), longName);
    EXPECT_EQ(f.BrokerName.toStdString(), longName);
    ExpectConnected("long name");
}

TEST_F(ConnectTest, EveryWayOfClosingEndsTheConnectionFirst) {
    for (bool button : {true, false}) {
        SCOPED_TRACE(button ? "Close button" : "title bar");
        TForm1& f = Open();
        Connect();
        bool connectedWhileClosing = true;
        QObject::connect(&f, &TForm1::ConnectionEnded, [&] { connectedWhileClosing = f.isVisible(); });
        if (button)
            Find<QPushButton>(f, "CloseBtn")->click();
        else
            f.close();
        EXPECT_TRUE(connectedWhileClosing) << "the window was gone before the connection ended";
        EXPECT_EQ(Count(Server->TakeCalls(), "Monitor.Disconnect"), 1);
        EXPECT_EQ(Server->LiveObjects, 0);
        EXPECT_TRUE(QTest::qWaitFor([&] { return Form.isNull(); }, 2000)) << "the window was not freed";
        EXPECT_TRUE(Boxes.Seen.empty());
    }
}

TEST_F(ConnectTest, ATeardownFailureIsReportedOnceTheResetIsComplete) {
    TForm1& f = Open();
    Connect();
    Server->FailCall("services.Close", u"services would not close");
    bool resetBeforeReport = false;
    Boxes.WhileOpen = [&](const common::TMessageRequest&) {
        resetBeforeReport = !f.Connection && Find<QComboBox>(f, "ComboBox1")->currentIndex() == 0 &&
                            !Find<QPushButton>(f, "DisconnectBtn")->isEnabled() &&
                            Find<common::TListView>(f, "ListView1")->model()->rowCount() == 0;
    };
    Find<QPushButton>(f, "DisconnectBtn")->click();
    EXPECT_EQ(Boxes.Texts(), QStringList{QStringLiteral("services would not close")});
    EXPECT_TRUE(resetBeforeReport);
    EXPECT_EQ(Count(Server->TakeCalls(), "Monitor.Disconnect"), 1);
    EXPECT_EQ(Server->LiveObjects, 0);

    // On Close the failure is reported and the window still closes.
    Boxes.Seen.clear();
    Boxes.WhileOpen = nullptr;
    Connect();
    Server->FailCall("params.Close", u"params would not close");
    Find<QPushButton>(f, "CloseBtn")->click();
    EXPECT_EQ(Boxes.Texts(), QStringList{QStringLiteral("params would not close")});
    EXPECT_TRUE(QTest::qWaitFor([&] { return Form.isNull(); }, 2000));
    EXPECT_EQ(Server->LiveObjects, 0);
}
