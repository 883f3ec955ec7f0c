// The component details dialog, opened from the main window on the scripted
// fake: its figures, the three actions and their effect on both windows, the
// failures the operator sees, and the connection ending behind it.

#include "WindowHarness.h"
#include "monitor/ComponentDetailsForm.h"
#include "support/DialogDriver.h"

#include <QGroupBox>
#include <QRadioButton>
#include <QToolButton>

using wdx::testsupport::TDialogDriver;

using namespace wdx;
using namespace wdx::monitor;
using namespace wdx::monitor::test;
using common::TMsgIcon;

namespace {

class ComponentDetailsTest : public TWindowTest {
protected:
    ComponentDetailsTest() {
        Server->Info[u"Orders"] = {u"host7/app", 1, 5, 120, 0, 15, 40};
        // An action changes what the broker reports, in both places.
        Server->OnExecute = [this](const fake::TActionCall& A) {
            auto& info = Server->Info[A.Component];
            auto& row = Server->Servers[0];
            if (A.Action == u"setmax")
                info.Maximum = row.Maximum = A.Value;
            else if (A.Action == u"clear")
                info.Requests = info.Queued = info.QueueTime = info.ServiceTime = row.Requests = row.Queued =
                    row.QueueTime = row.ServiceTime = 0;
            else if (A.Action == u"retire")
                info.Active = row.Active = 0;
        };
    }

    // Connects, chooses "Orders" by a click and opens its details; Drive runs
    // inside the dialog's modal loop. The calls until the dialog shows are
    // dropped.
    void OpenDetails(std::function<void(TForm2&)> Drive, bool MayStayOpen = false) {
        Open();
        Connect();
        ClickRow(Find<common::TListView>(Form, "ListView1"), 0);
        ASSERT_EQ(Form->CurrentComponent, QStringLiteral("Orders"));
        Server->TakeCalls();
        TDialogDriver<TForm2> driver(std::move(Drive), MayStayOpen);
        Form->ListView1DblClick();
    }

    static QStringList Figures(const TForm2& D) {
        return {Find<QLabel>(D, "Label2")->text(),  Find<QLabel>(D, "Label4")->text(),
                Find<QLabel>(D, "Label6")->text(),  Find<QLineEdit>(D, "Edit1")->text(),
                Find<QLabel>(D, "Label9")->text(),  Find<QLabel>(D, "Label11")->text(),
                Find<QLabel>(D, "Label13")->text(), Find<QLabel>(D, "Label15")->text()};
    }

    static void Type(QLineEdit* Edit, const QString& Text) {
        Edit->selectAll();
        if (Text.isEmpty())
            QTest::keyClick(Edit, Qt::Key_Backspace);
        QTest::keyClicks(Edit, Text);
    }
    static void Spin(TForm2& D, bool Up) {
        QTest::mouseClick(
            Find<common::TUpDown>(D, "UpDown1")
                ->findChild<QToolButton*>(Up ? QStringLiteral("UpButton") : QStringLiteral("DownButton")),
            Qt::LeftButton);
    }
};

TEST_F(ComponentDetailsTest, ShowsTheComponentsFiguresUnderTheBrokersName) {
    Server->Info[u"Orders"] = {u"host7/app", 1, 250, 120, 0, -3, 2147483647};
    OpenDetails([&](TForm2& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Alpha"));
        EXPECT_EQ(Figures(d),
                  QStringList({QStringLiteral("Orders"), QStringLiteral("host7/app"), QStringLiteral("1"),
                               QStringLiteral("250"), QStringLiteral("120"), QStringLiteral("0"),
                               QStringLiteral("-3"), QStringLiteral("2147483647")}));
        EXPECT_EQ(d.ItemIndex(), -1);
        EXPECT_EQ(Find<QLabel>(d, "Label1")->text(), QStringLiteral("Component name:"));
        EXPECT_EQ(Find<QLabel>(d, "Label3")->text(), QStringLiteral("Invoked by:"));
        EXPECT_EQ(Find<QGroupBox>(d, "GroupBox1")->title(), QStringLiteral("Instances"));
        EXPECT_EQ(Find<QLabel>(d, "Label7")->text(), QStringLiteral("Maximum number:"));
        EXPECT_EQ(Find<QLabel>(d, "Label14")->text(), QStringLiteral("Average service time (ms):"));
        EXPECT_EQ(Find<common::TRadioGroup>(d, "RadioGroup1")->title(), QStringLiteral("Action"));
        EXPECT_EQ(Find<common::TRadioGroup>(d, "RadioGroup1")->Button(1)->text(),
                  QStringLiteral("Set maximum"));
        EXPECT_EQ(Find<QPushButton>(d, "Button3")->text(), QStringLiteral("&Apply"));
        EXPECT_EQ(d.size(), QSize(360, 430));
        EXPECT_FALSE(Find<QLabel>(d, "lblConnectionEnded")->isVisible());
        EXPECT_EQ(Count(Server->Calls, "server_info.Open"), 1);
        EXPECT_TRUE(Server->Actions.empty());

        // Nothing chosen: Apply sends and refreshes nothing, OK closes.
        Find<QPushButton>(d, "Button3")->click();
        Find<QPushButton>(d, "Button1")->click();
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_TRUE(Server->Actions.empty());
    EXPECT_EQ(Count(Server->Calls, "servers.Open"), 0);
    EXPECT_EQ(Count(Server->Calls, "server_info.Open"), 1);
    EXPECT_TRUE(Boxes.Seen.empty());
}

TEST_F(ComponentDetailsTest, TextsFromTheBrokerAreShownAsGivenNeverAsMarkup) {
    Server->Info[u"Orders"].InvokedBy = u"<b>host7</b>&amp;";
    OpenDetails([&](TForm2& d) {
        auto* invokedBy = Find<QLabel>(d, "Label4");
        EXPECT_EQ(invokedBy->text(), QStringLiteral("<b>host7</b>&amp;"));
        // Laid out as the whole text: as markup it would be the narrower "host7&".
        EXPECT_GE(invokedBy->sizeHint().width(),
                  invokedBy->fontMetrics().horizontalAdvance(invokedBy->text()));
        d.close();
    });
}

TEST_F(ComponentDetailsTest, TypingOrSteppingTheMaximumChoosesSetMaximum) {
    OpenDetails([&](TForm2& d) {
        Type(Find<QLineEdit>(d, "Edit1"), QStringLiteral("7"));
        EXPECT_EQ(d.ItemIndex(), 1);
        Find<common::TRadioGroup>(d, "RadioGroup1")->Button(0)->click();
        Spin(d, true);
        EXPECT_EQ(Find<QLineEdit>(d, "Edit1")->text(), QStringLiteral("8"));
        EXPECT_EQ(d.ItemIndex(), 1);
        Find<common::TRadioGroup>(d, "RadioGroup1")->Button(2)->click();
        QTest::keyClick(Find<QLineEdit>(d, "Edit1"), Qt::Key_Down);
        EXPECT_EQ(Find<QLineEdit>(d, "Edit1")->text(), QStringLiteral("7"));
        EXPECT_EQ(d.ItemIndex(), 1);

        // Outside the spin range the buttons start from the nearest end of
        // it; text that is no number steps from the buttons' own position.
        Type(Find<QLineEdit>(d, "Edit1"), QStringLiteral("150"));
        Spin(d, true);
        EXPECT_EQ(Find<QLineEdit>(d, "Edit1")->text(), QStringLiteral("100"));
        Type(Find<QLineEdit>(d, "Edit1"), QStringLiteral("150"));
        Spin(d, false);
        EXPECT_EQ(Find<QLineEdit>(d, "Edit1")->text(), QStringLiteral("99"));
        Type(Find<QLineEdit>(d, "Edit1"), QStringLiteral("0"));
        Spin(d, true);
        EXPECT_EQ(Find<QLineEdit>(d, "Edit1")->text(), QStringLiteral("2"));
        Type(Find<QLineEdit>(d, "Edit1"), QStringLiteral("-7"));
        Spin(d, false);
        EXPECT_EQ(Find<QLineEdit>(d, "Edit1")->text(), QStringLiteral("1"));
        Type(Find<QLineEdit>(d, "Edit1"), QStringLiteral("abc"));
        Spin(d, true);
        EXPECT_EQ(Find<QLineEdit>(d, "Edit1")->text(), QStringLiteral("2"));

        // Enter in the box neither sends nor closes; Escape cancels.
        QTest::keyClick(Find<QLineEdit>(d, "Edit1"), Qt::Key_Return);
        EXPECT_TRUE(d.isVisible());
        QTest::keyClick(Find<QLineEdit>(d, "Edit1"), Qt::Key_Escape);
        EXPECT_FALSE(d.isVisible());
    });
    // Cancel sends nothing, whatever was chosen.
    EXPECT_TRUE(Server->Actions.empty());
}

TEST_F(ComponentDetailsTest, SetMaximumSendsTheTypedNumberUnchangedAndRefreshesBothWindows) {
    OpenDetails([&](TForm2& d) {
        for (const QString& typed : {QStringLiteral("0"), QStringLiteral("-4"), QStringLiteral("1000")}) {
            Type(Find<QLineEdit>(d, "Edit1"), typed);
            ASSERT_EQ(d.ItemIndex(), 1);
            Find<QPushButton>(d, "Button3")->click();
            ASSERT_FALSE(Server->Actions.empty());
            EXPECT_EQ(Server->Actions.back().Action, u"setmax");
            EXPECT_EQ(Server->Actions.back().Component, u"Orders");
            EXPECT_EQ(Server->Actions.back().Value, typed.toInt());
            // Fresh figures, nothing chosen, and the main window's row too.
            EXPECT_EQ(Find<QLineEdit>(d, "Edit1")->text(), typed);
            EXPECT_EQ(d.ItemIndex(), -1);
            EXPECT_EQ(RowText(Find<common::TListView>(Form, "ListView1"), 0),
                      QStringLiteral("Orders|1|%1|120|0|15|40").arg(typed));
        }
        Find<QPushButton>(d, "Button2")->click();
    });
    EXPECT_EQ(Server->Actions.size(), 3u);
    EXPECT_TRUE(Boxes.Seen.empty());
    // The component stays chosen and its services listed after the refills.
    EXPECT_EQ(Find<common::TListView>(Form, "ListView1")->SelectedRow(), 0);
    EXPECT_EQ(Find<common::TListView>(Form, "ListView2")->model()->rowCount(), 2);
}

TEST_F(ComponentDetailsTest, ClearAndRetireRefillTheMainWindowBeforeTheDialog) {
    OpenDetails([&](TForm2& d) {
        Find<common::TRadioGroup>(d, "RadioGroup1")->Button(2)->click();
        Find<QPushButton>(d, "Button3")->click();
        EXPECT_EQ(Figures(d), QStringList({QStringLiteral("Orders"), QStringLiteral("host7/app"),
                                           QStringLiteral("1"), QStringLiteral("5"), QStringLiteral("0"),
                                           QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")}));
        EXPECT_EQ(RowText(Find<common::TListView>(Form, "ListView1"), 0),
                  QStringLiteral("Orders|1|5|0|0|0|0"));
        // The order: the action, the component list, the service list, and
        // only then the dialog's own figures.
        std::vector<std::string> order;
        for (const std::string& c : Server->Calls)
            if (c == "server_action.Execute" || c == "servers.Open" || c == "services.Open" ||
                c == "server_info.Open")
                order.push_back(c);
        EXPECT_EQ(order, (std::vector<std::string>{"server_info.Open", "server_action.Execute",
                                                   "servers.Open", "services.Open", "server_info.Open"}));

        // OK runs Apply, then closes.
        Find<common::TRadioGroup>(d, "RadioGroup1")->Button(0)->click();
        Find<QPushButton>(d, "Button1")->click();
        EXPECT_FALSE(d.isVisible());
    });
    ASSERT_EQ(Server->Actions.size(), 2u);
    EXPECT_EQ(Server->Actions[0].Action, u"clear");
    EXPECT_EQ(Server->Actions[0].Value, 0);
    EXPECT_EQ(Server->Actions[1].Action, u"retire");
    EXPECT_EQ(Server->Actions[1].Value, 0);
    EXPECT_EQ(RowText(Find<common::TListView>(Form, "ListView1"), 0), QStringLiteral("Orders|0|5|0|0|0|0"));
}

TEST_F(ComponentDetailsTest, ARefusedActionIsShownAndRefreshesNothing) {
    Server->ExecuteResult = -1;
    OpenDetails([&](TForm2& d) {
        Server->TakeCalls();
        Find<common::TRadioGroup>(d, "RadioGroup1")->Button(0)->click();
        Find<QPushButton>(d, "Button3")->click();
        ASSERT_EQ(Boxes.Seen.size(), 1u);
        EXPECT_EQ(Boxes.Seen[0].Text, QStringLiteral("Cannot process requested action: action error text"));
        EXPECT_EQ(Boxes.Seen[0].Caption, QStringLiteral("Orders"));
        EXPECT_EQ(Boxes.Seen[0].Icon, TMsgIcon::Error);
        EXPECT_EQ(Boxes.Seen[0].Owner, &d);
        EXPECT_EQ(Count(Server->Calls, "servers.Open"), 0);
        EXPECT_EQ(Count(Server->Calls, "server_info.Open"), 0);
        EXPECT_EQ(Figures(d)[4], QStringLiteral("120"));
        EXPECT_TRUE(d.isVisible());

        // OK tries once more and closes although the broker refuses again.
        Find<QPushButton>(d, "Button1")->click();
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_EQ(Boxes.Seen.size(), 2u);
    EXPECT_EQ(Server->Actions.size(), 2u);
}

TEST_F(ComponentDetailsTest, DetailsNotObtainableKeepWhatWasShown) {
    Server->Info.clear();
    OpenDetails([&](TForm2& d) {
        ASSERT_EQ(Boxes.Seen.size(), 1u);
        EXPECT_EQ(Boxes.Seen[0].Text, QStringLiteral("Cannot access component details: info error text"));
        EXPECT_EQ(Boxes.Seen[0].Caption, QStringLiteral("Orders"));
        EXPECT_EQ(Boxes.Seen[0].Owner, &d);
        // First showing: empty figures; the dialog stays open.
        EXPECT_EQ(Figures(d), QStringList({QStringLiteral(""), QStringLiteral(""), QStringLiteral(""),
                                           QStringLiteral("1"), QStringLiteral(""), QStringLiteral(""),
                                           QStringLiteral(""), QStringLiteral("")}));
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Alpha"));

        // After an action: the last good figures stay.
        Server->Info[u"Orders"] = {u"host7/app", 1, 5, 120, 0, 15, 40};
        Find<common::TRadioGroup>(d, "RadioGroup1")->Button(0)->click();
        Find<QPushButton>(d, "Button3")->click();
        EXPECT_EQ(Figures(d), QStringList({QStringLiteral("Orders"), QStringLiteral("host7/app"),
                                           QStringLiteral("0"), QStringLiteral("5"), QStringLiteral("120"),
                                           QStringLiteral("0"), QStringLiteral("15"), QStringLiteral("40")}));
        Server->Info[u"Orders"].Requests = 999;
        Server->FailCall("server_info.Open", u"gone away");
        Find<common::TRadioGroup>(d, "RadioGroup1")->Button(0)->click();
        Find<QPushButton>(d, "Button3")->click();
        ASSERT_EQ(Boxes.Seen.size(), 2u);
        EXPECT_EQ(Boxes.Seen[1].Text, QStringLiteral("Cannot access component details: info error text"));
        EXPECT_EQ(Figures(d)[4], QStringLiteral("120"));
        EXPECT_EQ(Server->Actions.size(), 2u);
        Find<QPushButton>(d, "Button2")->click();
    });
}

TEST_F(ComponentDetailsTest, AMaximumThatIsNoIntegerReachesTheErrorReportAndSendsNothing) {
    OpenDetails([&](TForm2& d) {
        for (const QString& typed : {QStringLiteral("12x"), QStringLiteral(""), QStringLiteral("2147483648"),
                                     QStringLiteral("1 2")}) {
            Type(Find<QLineEdit>(d, "Edit1"), typed);
            Find<common::TRadioGroup>(d, "RadioGroup1")->Button(1)->click();
            Find<QPushButton>(d, "Button3")->click();
            ASSERT_FALSE(Boxes.Seen.empty());
            EXPECT_EQ(Boxes.Seen.back().Text,
                      QStringLiteral("\"%1\" is not a valid integer value.").arg(typed));
            EXPECT_EQ(Boxes.Seen.back().Icon, TMsgIcon::Error);
        }
        EXPECT_EQ(Boxes.Seen.size(), 4u);
        // OK still closes.
        Find<QPushButton>(d, "Button1")->click();
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_EQ(Boxes.Seen.size(), 5u);
    EXPECT_TRUE(Server->Actions.empty());
    EXPECT_EQ(Count(Server->Calls, "Monitor.ServerAction"), 0);
    EXPECT_EQ(Count(Server->Calls, "servers.Open"), 0);
}

TEST_F(ComponentDetailsTest, ReadMaximumTakesSigned32BitDecimalsOnly) {
    EXPECT_EQ(ReadMaximum(QStringLiteral(" 42 ")), 42);
    EXPECT_EQ(ReadMaximum(QStringLiteral("+7")), 7);
    EXPECT_EQ(ReadMaximum(QStringLiteral("-2147483648")), -2147483648LL);
    EXPECT_EQ(ReadMaximum(QStringLiteral("2147483647")), 2147483647);
    for (const char* bad : {"-2147483649", "99999999999999999999999", "0x10", "-", "1e3", "٣"})
        EXPECT_THROW(ReadMaximum(QString::fromUtf8(bad)), EConvertError) << bad;
}

TEST_F(ComponentDetailsTest, AConnectionEndedBehindTheDialogIsShownAndNeverCalled) {
    OpenDetails([&](TForm2& d) {
        Find<common::TRadioGroup>(d, "RadioGroup1")->Button(0)->click();
        // A refresh of the main window (as a timer tick runs it) is refused:
        // the window resets and ends the connection.
        Server->ServersOpen = -1;
        Form->RefreshBtnClick();
        ASSERT_FALSE(Form->Connection);
        ASSERT_EQ(Boxes.Seen.size(), 1u);
        EXPECT_EQ(Boxes.Seen[0].Text, QStringLiteral("Cannot access components: servers error text"));
        EXPECT_TRUE(d.ConnectionGone());
        EXPECT_TRUE(Find<QLabel>(d, "lblConnectionEnded")->isVisible());
        EXPECT_EQ(d.ItemIndex(), -1);
        EXPECT_FALSE(Find<QPushButton>(d, "Button3")->isEnabled());
        EXPECT_FALSE(Find<common::TRadioGroup>(d, "RadioGroup1")->isEnabled());
        EXPECT_FALSE(Find<QLineEdit>(d, "Edit1")->isEnabled());
        // The last figures stay; OK closes and sends nothing.
        EXPECT_EQ(Figures(d)[0], QStringLiteral("Orders"));
        Server->TakeCalls();
        Find<QPushButton>(d, "Button1")->click();
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_TRUE(Server->Actions.empty());
    EXPECT_TRUE(Server->Calls.empty());
}

TEST_F(ComponentDetailsTest, ARefillThatEndsTheConnectionLeavesTheDialogWithoutOne) {
    OpenDetails([&](TForm2& d) {
        Server->OnExecute = [this](const fake::TActionCall&) { Server->ServersOpen = -1; };
        Find<common::TRadioGroup>(d, "RadioGroup1")->Button(2)->click();
        Find<QPushButton>(d, "Button3")->click();
        ASSERT_FALSE(Form->Connection);
        ASSERT_EQ(Boxes.Seen.size(), 1u);
        EXPECT_EQ(Boxes.Seen[0].Text, QStringLiteral("Cannot access components: servers error text"));
        EXPECT_TRUE(d.ConnectionGone());
        EXPECT_TRUE(Find<QLabel>(d, "lblConnectionEnded")->isVisible());
        Find<QPushButton>(d, "Button2")->click();
    });
    // Only the first showing read the details.
    EXPECT_EQ(Count(Server->Calls, "server_info.Open"), 1);
    EXPECT_EQ(Server->Actions.size(), 1u);
}

TEST_F(ComponentDetailsTest, ALinkThatEndedUntoldIsNeitherCalledNorTakenForSent) {
    Open();
    Connect();
    TForm2 d(Form);
    d.SetMonitor(Form->Connection.Link()); // no main window to tell of the end
    d.SetBrokerName(QStringLiteral("Alpha"));
    d.SetComponentName("Orders");
    Form->DisconnectBtnClick();
    Server->TakeCalls();
    d.SetItemIndex(0);
    Find<QPushButton>(d, "Button3")->click();
    ASSERT_EQ(Boxes.Seen.size(), 1u);
    EXPECT_TRUE(
        Boxes.Seen[0].Text.startsWith(QStringLiteral("The connection to the Component Broker has ended.")));
    EXPECT_TRUE(d.ConnectionGone());
    EXPECT_TRUE(Server->Calls.empty());
}

} // namespace
