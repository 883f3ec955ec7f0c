// Refresh by the button and by Timer1, the interval controls, and how a
// failed refresh ends: the broker's refusal resets the window, any other
// failure goes to the default report and the connection stands.

#include "WindowHarness.h"

#include "common/widgets/UpDown.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>

using namespace wdx;
using namespace wdx::monitor;
using namespace wdx::monitor::test;
using common::TMsgIcon;

namespace {

class RefreshTest : public TWindowTest {
protected:
    void Type(const QString& Text) {
        Find<QLineEdit>(Form, "Edit2")->selectAll();
        if (Text.isEmpty())
            QTest::keyClick(Find<QLineEdit>(Form, "Edit2"), Qt::Key_Backspace);
        else
            QTest::keyClicks(Find<QLineEdit>(Form, "Edit2"), Text);
    }
    void PressUpDown(bool Up) {
        auto* button =
            Find<common::TUpDown>(Form, "UpDown1")
                ->findChild<QToolButton*>(Up ? QStringLiteral("UpButton") : QStringLiteral("DownButton"));
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton);
    }
    static QString Refused(const QString& Text) {
        return QStringLiteral(
                   "\"%1\" is not a valid interval: enter a whole number of seconds from 1 to 3600.")
            .arg(Text);
    }
};

} // namespace

TEST_F(RefreshTest, TheButtonQueriesBothListsAfreshAndShowsDisabledMeanwhile) {
    TForm1& f = Open();
    Connect();
    ClickRow(Find<common::TListView>(f, "ListView1"), 0);
    Server->TakeCalls();
    std::vector<bool> enabledDuringCalls;
    Server->OnCall = [&](const std::string& Call) {
        if (Call == "servers.Open" || Call == "services.Open")
            enabledDuringCalls.push_back(Find<QPushButton>(f, "RefreshBtn")->isEnabled());
    };
    Server->Servers[0].Requests = 121;
    Server->Services[u"Orders"][0].Requests = 101;

    Find<QPushButton>(f, "RefreshBtn")->click();

    Server->OnCall = nullptr;
    EXPECT_EQ(enabledDuringCalls, (std::vector<bool>{false, false}));
    EXPECT_TRUE(Find<QPushButton>(f, "RefreshBtn")->isEnabled());
    const auto calls = Server->TakeCalls();
    EXPECT_EQ(Count(calls, "servers.Open"), 1);
    EXPECT_EQ(Count(calls, "services.Open"), 1);
    EXPECT_EQ(RowText(Find<common::TListView>(f, "ListView1"), 0), QStringLiteral("Orders|1|5|121|0|15|40"));
    EXPECT_EQ(RowText(Find<common::TListView>(f, "ListView2"), 0), QStringLiteral("Create|101|0|12|30"));
    EXPECT_TRUE(Boxes.Seen.empty());
}

TEST_F(RefreshTest, AutomaticRefreshAndItsIntervalControls) {
    TForm1& f = Open();
    // The first show set "10", which set the interval already.
    EXPECT_EQ(Find<QTimer>(f, "Timer1")->interval(), 10000);
    ExpectAutomatic(false);

    Find<QCheckBox>(f, "cbRefresh")->click();
    ExpectAutomatic(true);
    EXPECT_EQ(Find<QTimer>(f, "Timer1")->interval(), 10000);

    Type(QStringLiteral("25"));
    EXPECT_EQ(Find<QTimer>(f, "Timer1")->interval(), 25000);
    PressUpDown(true);
    EXPECT_EQ(Find<QLineEdit>(f, "Edit2")->text(), QStringLiteral("26"));
    EXPECT_EQ(Find<QTimer>(f, "Timer1")->interval(), 26000);

    // The buttons stop at both ends of 1 to 3600 and do not wrap round.
    Type(QStringLiteral("3600"));
    PressUpDown(true);
    EXPECT_EQ(Find<QLineEdit>(f, "Edit2")->text(), QStringLiteral("3600"));
    EXPECT_EQ(Find<QTimer>(f, "Timer1")->interval(), 3600000);
    Type(QStringLiteral("1"));
    PressUpDown(false);
    EXPECT_EQ(Find<QLineEdit>(f, "Edit2")->text(), QStringLiteral("1"));
    EXPECT_EQ(Find<QTimer>(f, "Timer1")->interval(), 1000);
    Find<QLineEdit>(f, "Edit2")->setText(QStringLiteral(" 7 ")); // blanks around the number are no matter
    EXPECT_EQ(Find<QTimer>(f, "Timer1")->interval(), 7000);

    Find<QCheckBox>(f, "cbRefresh")->click();
    ExpectAutomatic(false);
    EXPECT_TRUE(Boxes.Seen.empty());
}

TEST_F(RefreshTest, RefusedIntervalsAreReportedAndTheLastValidOneStays) {
    TForm1& f = Open();
    Find<QCheckBox>(f, "cbRefresh")->click();
    Type(QStringLiteral("30"));
    // Not a number, and numbers the timer cannot take: nothing firing without
    // pause, nothing overflowing its milliseconds.
    for (const QString& text :
         {QString(), QStringLiteral("abc"), QStringLiteral("1e3"), QStringLiteral("0"), QStringLiteral("-5"),
          QStringLiteral("3601"), QStringLiteral("2147484"), QStringLiteral("99999999999999999999999")}) {
        SCOPED_TRACE(text.toStdString());
        Boxes.Seen.clear();
        Find<QLineEdit>(f, "Edit2")->setText(text);
        ASSERT_EQ(Boxes.Seen.size(), 1u);
        EXPECT_EQ(Boxes.Seen[0].Text, Refused(text));
        EXPECT_EQ(Boxes.Seen[0].Icon, TMsgIcon::Error);
        EXPECT_EQ(Find<QTimer>(f, "Timer1")->interval(), 30000);
        EXPECT_TRUE(Find<QTimer>(f, "Timer1")->isActive());
        EXPECT_EQ(Find<QLineEdit>(f, "Edit2")->text(), text)
            << "the typed text stays for the operator to correct";
    }
    // Clearing the box by typing reports once.
    Type(QStringLiteral("30"));
    Boxes.Seen.clear();
    Type(QStringLiteral(""));
    EXPECT_EQ(Boxes.Texts(), QStringList{Refused(QStringLiteral(""))});
    EXPECT_EQ(Find<QTimer>(f, "Timer1")->interval(), 30000);

    // A very long text is quoted by its start only.
    Boxes.Seen.clear();
    Find<QLineEdit>(f, "Edit2")->setText(QString(5000, u'9'));
    ASSERT_EQ(Boxes.Seen.size(), 1u);
    EXPECT_EQ(Boxes.Seen[0].Text, Refused(QString(40, u'9') + QStringLiteral("...")));
}

TEST_F(RefreshTest, CheckingTheBoxWithARefusedIntervalRunsAtTheLastValidOne) {
    TForm1& f = Open();
    Find<QCheckBox>(f, "cbRefresh")->click();
    Type(QStringLiteral("15"));
    Type(QStringLiteral("x"));
    Find<QCheckBox>(f, "cbRefresh")->click(); // off
    Boxes.Seen.clear();
    Find<QCheckBox>(f, "cbRefresh")->click(); // on again, with "x" still typed
    EXPECT_EQ(Boxes.Texts(), QStringList{Refused(QStringLiteral("x"))});
    ExpectAutomatic(true);
    EXPECT_EQ(Find<QTimer>(f, "Timer1")->interval(), 15000);
}

TEST_F(RefreshTest, TicksWithoutAConnectionChangeNothing) {
    TForm1& f = Open();
    Find<QCheckBox>(f, "cbRefresh")->click();
    ASSERT_TRUE(Find<QTimer>(f, "Timer1")->isActive());
    Server->TakeCalls();
    Tick();
    Tick();
    EXPECT_TRUE(Server->TakeCalls().empty());
    EXPECT_FALSE(Find<QPushButton>(f, "RefreshBtn")->isEnabled());
    EXPECT_EQ(Find<common::TListView>(f, "ListView1")->model()->rowCount(), 0);
    EXPECT_EQ(Find<common::TListView>(f, "ListView2")->model()->rowCount(), 0);
    EXPECT_TRUE(Boxes.Seen.empty());
    ExpectAutomatic(true);
}

TEST_F(RefreshTest, EachTickRefreshesBothLists) {
    TForm1& f = Open();
    Connect();
    ClickRow(Find<common::TListView>(f, "ListView1"), 1);
    Find<QCheckBox>(f, "cbRefresh")->click();
    Server->Servers.push_back({u"Late", 1});
    Server->Services[u"Billing"].push_back({u"Refund", 3});
    Tick();
    EXPECT_EQ(Captions(Find<common::TListView>(f, "ListView1")),
              (QStringList{QStringLiteral("Orders"), QStringLiteral("Billing"), QStringLiteral("Stock"),
                           QStringLiteral("Late")}));
    EXPECT_EQ(Find<common::TListView>(f, "ListView1")->SelectedRow(), 1);
    EXPECT_EQ(Captions(Find<common::TListView>(f, "ListView2")),
              (QStringList{QStringLiteral("Invoice"), QStringLiteral("Refund")}));
    EXPECT_TRUE(Find<QPushButton>(f, "RefreshBtn")->isEnabled());
    ExpectAutomatic(true);
}

TEST_F(RefreshTest, ARefusedFillEndsTheConnectionAndAutomaticRefresh) {
    for (bool services : {false, true}) {
        SCOPED_TRACE(services ? "services refused" : "components refused");
        TForm1& f = Open();
        Connect();
        ClickRow(Find<common::TListView>(f, "ListView1"), 0);
        Find<QCheckBox>(f, "cbRefresh")->click();
        TMonitorLink link = f.Connection.Link();
        QSignalSpy ended(&f, &TForm1::ConnectionEnded);
        Boxes.Seen.clear();
        (services ? Server->ServicesOpen : Server->ServersOpen) = -1;

        Tick();

        ASSERT_EQ(Boxes.Seen.size(), 1u);
        EXPECT_EQ(Boxes.Seen[0].Text, services
                                          ? QStringLiteral("Cannot access services: services error text")
                                          : QStringLiteral("Cannot access components: servers error text"));
        EXPECT_EQ(Boxes.Seen[0].Caption, services ? QStringLiteral("Orders") : QStringLiteral(""));
        EXPECT_EQ(Boxes.Seen[0].Icon, TMsgIcon::Error);
        ExpectNotConnected("after the refused fill");
        ExpectAutomatic(false);
        EXPECT_EQ(Find<QComboBox>(f, "ComboBox1")->currentIndex(), 0);
        // A details dialog holding the connection learns that it has ended.
        EXPECT_FALSE(link);
        EXPECT_EQ(ended.count(), 1);
        EXPECT_EQ(Server->LiveObjects, 0);
        Server->ServersOpen = Server->ServicesOpen = 0;
        delete Form.data();
    }
}

TEST_F(RefreshTest, TicksWhileARefreshWaitsOnItsBoxAreSkipped) {
    TForm1& f = Open();
    Connect();
    Find<QCheckBox>(f, "cbRefresh")->click();
    Server->ServersOpen = -1;
    int ticksWhileOpen = 0;
    // Three intervals pass while the first box waits for the operator.
    Boxes.WhileOpen = [&](const common::TMessageRequest&) {
        if (Boxes.Seen.size() == 1)
            for (int i = 0; i < 3; ++i, ++ticksWhileOpen)
                Tick();
    };
    Server->TakeCalls();
    Tick();
    EXPECT_EQ(ticksWhileOpen, 3);
    EXPECT_EQ(Boxes.Seen.size(), 1u) << "one box for the failure, not one per tick";
    EXPECT_EQ(Count(Server->TakeCalls(), "servers.Open"), 1);
    ExpectNotConnected("after the box");

    // The same while the default report of another failure is open; the
    // connection stands then, and the next tick after the answer refreshes.
    Boxes.Seen.clear();
    Server->ServersOpen = 0;
    Connect();
    Find<QCheckBox>(f, "cbRefresh")->click();
    Server->FailCall("servers.Name", u"row lost", 1);
    Tick();
    EXPECT_EQ(Boxes.Texts(), QStringList{QStringLiteral("row lost")});
    EXPECT_EQ(Count(Server->TakeCalls(), "servers.Open"), 1);
    Boxes.WhileOpen = nullptr;
    Tick();
    EXPECT_EQ(Boxes.Seen.size(), 1u);
    EXPECT_EQ(Find<common::TListView>(f, "ListView1")->model()->rowCount(), 3);
}

TEST_F(RefreshTest, OtherFailuresLeaveTheConnectionAndTheOtherList) {
    TForm1& f = Open();
    Connect();
    ClickRow(Find<common::TListView>(f, "ListView1"), 0);
    {
        SCOPED_TRACE("component query fails");
        Server->FailCall("servers.Requests", u"component row lost");
        Find<QPushButton>(f, "RefreshBtn")->click();
        EXPECT_EQ(Boxes.Texts(), QStringList{QStringLiteral("component row lost")});
        EXPECT_EQ(Boxes.Seen[0].Icon, TMsgIcon::Error);
        ExpectConnected("");
        EXPECT_EQ(Find<common::TListView>(f, "ListView1")->model()->rowCount(), 0);
        EXPECT_EQ(Captions(Find<common::TListView>(f, "ListView2")),
                  (QStringList{QStringLiteral("Create"), QStringLiteral("Cancel")}))
            << "its fill did not run";
    }
    {
        SCOPED_TRACE("service query fails");
        Boxes.Seen.clear();
        Server->FailCall("services.QueueTime", u"service row lost");
        Find<QPushButton>(f, "RefreshBtn")->click();
        EXPECT_EQ(Boxes.Texts(), QStringList{QStringLiteral("service row lost")});
        ExpectConnected("");
        EXPECT_EQ(Find<common::TListView>(f, "ListView1")->model()->rowCount(), 3);
        EXPECT_EQ(Find<common::TListView>(f, "ListView1")->SelectedRow(), 0);
        EXPECT_EQ(Find<common::TListView>(f, "ListView2")->model()->rowCount(), 0);
    }
    // The connection is still good for the next refresh.
    Boxes.Seen.clear();
    Find<QPushButton>(f, "RefreshBtn")->click();
    EXPECT_TRUE(Boxes.Seen.empty());
    EXPECT_EQ(Find<common::TListView>(f, "ListView2")->model()->rowCount(), 2);
}
