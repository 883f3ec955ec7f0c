// The monitor's main window connected to WDXBrokerSim: choosing the broker,
// its version and live components, a component's services, a refresh that
// shows what changed on the broker, and Disconnect.
#include "SimWindow.h"

#include "common/widgets/ListView.h"
#include "common/widgets/MessageService.h"
#include "common/widgets/RadioGroup.h"
#include "monitor/MainForm.h"
#include "support/Controls.h"
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace wdx;
using namespace wdx::monitor;
using wdx::testsupport::ClickRow;
using wdx::testsupport::Find;
using wdx::testsupport::RowText;

namespace {

int RowOf(const common::TListView* List, const QString& Name) {
    for (int r = 0; r < List->model()->rowCount(); ++r)
        if (List->model()->index(r, 0).data().toString() == Name)
            return r;
    return -1;
}

using MonitorWindowSim = endtoend::TSimWindowTest;

} // namespace

TEST_F(MonitorWindowSim, ConnectsAndShowsTheBrokersFigures) {
    TForm1& f = Open();
    Choose(QStringLiteral("Sim"));
    ASSERT_TRUE(Boxes.Seen.empty()) << Boxes.Seen.front().Text.toStdString();
    ASSERT_TRUE(f.Connection);
    EXPECT_TRUE(Find<QLabel>(f, "lblVersion")->isVisible());
    EXPECT_EQ(Find<QLabel>(f, "lblVersionDisplay")->text(), QStringLiteral("4.2.1 (test)"));
    EXPECT_TRUE(Find<QPushButton>(f, "DisconnectBtn")->isEnabled());
    EXPECT_TRUE(Find<QPushButton>(f, "RefreshBtn")->isEnabled());

    ASSERT_EQ(Find<common::TListView>(f, "ListView1")->model()->rowCount(), 3);
    EXPECT_EQ(RowText(Find<common::TListView>(f, "ListView1"), 0), QStringLiteral("Orders|3|8|120|2|15|40"));
    EXPECT_EQ(RowText(Find<common::TListView>(f, "ListView1"), 1).section(u'|', 0, 0),
              QString::fromUtf8("Price Engine/\u03b1%"));
    EXPECT_EQ(RowText(Find<common::TListView>(f, "ListView1"), 2),
              QStringLiteral("Billing|4|4|2147483647|0|0|0"));

    ClickRow(Find<common::TListView>(f, "ListView1"), 0);
    EXPECT_EQ(f.CurrentComponent, QStringLiteral("Orders"));
    ASSERT_EQ(Find<common::TListView>(f, "ListView2")->model()->rowCount(), 2);
    EXPECT_EQ(RowText(Find<common::TListView>(f, "ListView2"), 0),
              QStringLiteral("Orders.Create|100|2|15|45"));
    EXPECT_EQ(RowText(Find<common::TListView>(f, "ListView2"), 1).section(u'|', 0, 0),
              QStringLiteral("Orders.Cancel"));
}

TEST_F(MonitorWindowSim, RefreshShowsWhatChangedOnTheBroker) {
    TForm1& f = Open();
    Choose(QStringLiteral("Sim"));
    ASSERT_TRUE(f.Connection);
    ClickRow(Find<common::TListView>(f, "ListView1"), 0);

    // Another operator sets a new maximum and clears the statistics.
    ASSERT_EQ(Harness.Sim().Broker().Action("Orders", R"({"action":"setmax","value":6})").Status, 200);
    ASSERT_EQ(Harness.Sim().Broker().Action("Orders", R"({"action":"clear"})").Status, 200);
    QTest::mouseClick(Find<QPushButton>(f, "RefreshBtn"), Qt::LeftButton);

    EXPECT_TRUE(Boxes.Seen.empty());
    const int orders = RowOf(Find<common::TListView>(f, "ListView1"), QStringLiteral("Orders"));
    ASSERT_GE(orders, 0);
    const QStringList cells = RowText(Find<common::TListView>(f, "ListView1"), orders).split(u'|');
    EXPECT_EQ(cells[2], QStringLiteral("6")) << "maximum";
    EXPECT_EQ(cells[3], QStringLiteral("0")) << "requests cleared";
    EXPECT_EQ(Find<common::TListView>(f, "ListView1")->SelectedRow(), orders)
        << "the current component stays chosen";
    EXPECT_EQ(Find<common::TListView>(f, "ListView2")->model()->rowCount(), 2);
}

TEST_F(MonitorWindowSim, BrokerGoneMidSessionEndsTheConnectionWithAMessage) {
    TForm1& f = Open();
    Choose(QStringLiteral("Sim"));
    ASSERT_TRUE(f.Connection);
    Harness.Sim().Faults().Add(
        wdx::testing::TStandInHarness::Fault("/v1/components", brokersim::TFaultKind::Refuse));
    QTest::mouseClick(Find<QPushButton>(f, "RefreshBtn"), Qt::LeftButton);

    ASSERT_EQ(Boxes.Seen.size(), 1u);
    EXPECT_TRUE(Boxes.Seen[0].Text.startsWith(QStringLiteral("Cannot access components: ")))
        << Boxes.Seen[0].Text.toStdString();
    EXPECT_EQ(Boxes.Seen[0].Icon, common::TMsgIcon::Error);
    EXPECT_FALSE(f.Connection);
    EXPECT_EQ(Find<QComboBox>(f, "ComboBox1")->currentIndex(), 0);
    EXPECT_EQ(Find<common::TListView>(f, "ListView1")->model()->rowCount(), 0);
    EXPECT_FALSE(Find<QPushButton>(f, "DisconnectBtn")->isEnabled());
}

TEST_F(MonitorWindowSim, RefusedPortGivesTheRelayWarningAndCancelResets) {
    wdx::testing::TRefusingPort refusing;
    testsupport::Define(brokerstore::scUser, "Dead", "127.0.0.1", std::to_string(refusing.Port()), "2");
    TForm1& f = Open();
    Boxes.Answer = common::TMsgAnswer::Cancel;
    const std::vector<testsupport::TSeenBox>& seen = Boxes.Seen;
    Choose(QStringLiteral("Dead"));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].Caption, QStringLiteral("Dead"));
    EXPECT_EQ(seen[0].Icon, common::TMsgIcon::Warning);
    EXPECT_TRUE(seen[0].Text.startsWith(QStringLiteral("Invalid return from Omni Relay: 4 - ")))
        << seen[0].Text.toStdString();
    EXPECT_FALSE(f.Connection);
    EXPECT_EQ(Find<QComboBox>(f, "ComboBox1")->currentIndex(), 0);
}
