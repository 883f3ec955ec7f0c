// The component and service lists: their rows, the selection rules, the
// reselection after a refill, the operator's scroll place, and the pop-up
// menus with their "&Details..." items.

#include "WindowHarness.h"
#include "monitor/ComponentDetailsForm.h"
#include "monitor/ParamDetailsForm.h"
#include "support/DialogDriver.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>

using wdx::testsupport::TDialogDriver;

using namespace wdx;
using namespace wdx::monitor;
using namespace wdx::monitor::test;
using common::TMsgIcon;

namespace {

class ListsTest : public TWindowTest {
protected:
    // Right-click on a row (or below the rows for -1): the list's pop-up menu
    // opens there; the test closes it again.
    QMenu* RightClick(common::TListView* List, int RowIndex) {
        QPoint at = RowIndex >= 0 ? RowCentre(List, RowIndex) : EmptyPoint(List);
        QTest::mouseClick(List->viewport(), Qt::RightButton, {}, at);
        QContextMenuEvent menu(QContextMenuEvent::Mouse, at, List->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(List->viewport(), &menu);
        QMenu* popup = List == Find<common::TListView>(Form, "ListView1") ? Find<QMenu>(Form, "PopupMenu1")
                                                                          : Find<QMenu>(Form, "PopupMenu2");
        EXPECT_TRUE(popup->isVisible());
        return popup;
    }
};

} // namespace

TEST_F(ListsTest, RowsFollowTheServersOrderWithCountersInPlainDecimal) {
    TForm1& f = Open();
    Connect();
    ASSERT_EQ(Find<common::TListView>(f, "ListView1")->model()->rowCount(), 3);
    EXPECT_EQ(RowText(Find<common::TListView>(f, "ListView1"), 0), QStringLiteral("Orders|1|5|120|0|15|40"));
    EXPECT_EQ(RowText(Find<common::TListView>(f, "ListView1"), 1),
              QStringLiteral("Billing|0|2|7|1|-3|2147483647"));
    EXPECT_EQ(RowText(Find<common::TListView>(f, "ListView1"), 2), QStringLiteral("Stock|2|3|1234567|0|0|0"));
    ClickRow(Find<common::TListView>(f, "ListView1"), 0);
    EXPECT_EQ(RowText(Find<common::TListView>(f, "ListView2"), 0), QStringLiteral("Create|100|0|12|30"));
    EXPECT_EQ(RowText(Find<common::TListView>(f, "ListView2"), 1), QStringLiteral("Cancel|20|1|3|-1"));
    EXPECT_EQ(Find<common::TListView>(f, "ListView2")->SelectedRow(), -1);
    // Read-only: a double-click opens no editor.
    QTest::mouseDClick(Find<common::TListView>(f, "ListView1")->viewport(), Qt::LeftButton, {},
                       RowCentre(Find<common::TListView>(f, "ListView1"), 1));
    EXPECT_EQ(Find<common::TListView>(f, "ListView1")->findChildren<QLineEdit*>().size(), 0);
}

TEST_F(ListsTest, OnlyAClickChoosesTheComponentWhoseServicesAreListed) {
    Server->Servers.pop_back(); // room below the rows
    TForm1& f = Open();
    Connect();
    ClickRow(Find<common::TListView>(f, "ListView1"), 1);
    EXPECT_EQ(f.CurrentComponent, QStringLiteral("Billing"));
    EXPECT_EQ(Captions(Find<common::TListView>(f, "ListView2")), QStringList{QStringLiteral("Invoice")});

    // The keyboard moves the selection, but neither the current component
    // nor the service list follows.
    Server->TakeCalls();
    Find<common::TListView>(f, "ListView1")->setFocus();
    QTest::keyClick(Find<common::TListView>(f, "ListView1"), Qt::Key_Up);
    EXPECT_EQ(Find<common::TListView>(f, "ListView1")->SelectedRow(), 0);
    EXPECT_EQ(f.CurrentComponent, QStringLiteral("Billing"));
    EXPECT_EQ(Captions(Find<common::TListView>(f, "ListView2")), QStringList{QStringLiteral("Invoice")});
    EXPECT_TRUE(Server->TakeCalls().empty());

    // A double-click is no more than its first click: one query.
    const QPoint orders = RowCentre(Find<common::TListView>(f, "ListView1"), 0);
    QTest::mousePress(Find<common::TListView>(f, "ListView1")->viewport(), Qt::LeftButton, {}, orders);
    QTest::mouseRelease(Find<common::TListView>(f, "ListView1")->viewport(), Qt::LeftButton, {}, orders);
    QTest::mouseDClick(Find<common::TListView>(f, "ListView1")->viewport(), Qt::LeftButton, {}, orders);
    QTest::mouseRelease(Find<common::TListView>(f, "ListView1")->viewport(), Qt::LeftButton, {}, orders);
    EXPECT_EQ(f.CurrentComponent, QStringLiteral("Orders"));
    EXPECT_EQ(Count(Server->TakeCalls(), "services.Open"), 1);
    // Outside the rows too.
    const QPoint below = EmptyPoint(Find<common::TListView>(f, "ListView1"));
    QTest::mousePress(Find<common::TListView>(f, "ListView1")->viewport(), Qt::LeftButton, {}, below);
    QTest::mouseRelease(Find<common::TListView>(f, "ListView1")->viewport(), Qt::LeftButton, {}, below);
    f.CurrentComponent = QStringLiteral("Orders");
    QTest::mouseDClick(Find<common::TListView>(f, "ListView1")->viewport(), Qt::LeftButton, {}, below);
    QTest::mouseRelease(Find<common::TListView>(f, "ListView1")->viewport(), Qt::LeftButton, {}, below);
    EXPECT_EQ(f.CurrentComponent, QStringLiteral("Orders")) << "the second half ran a click";
    ClickRow(Find<common::TListView>(f, "ListView1"), 0);
    Server->TakeCalls();

    // A click on the empty part clears the selection and the services.
    ClickEmpty(Find<common::TListView>(f, "ListView1"));
    EXPECT_EQ(Find<common::TListView>(f, "ListView1")->SelectedRow(), -1);
    EXPECT_TRUE(f.CurrentComponent.isEmpty());
    EXPECT_EQ(Find<common::TListView>(f, "ListView2")->model()->rowCount(), 0);
    EXPECT_EQ(Count(Server->TakeCalls(), "services.Open"), 0);
    EXPECT_TRUE(Boxes.Seen.empty());
}

TEST_F(ListsTest, AClickInTheServiceListSetsTheCurrentService) {
    Server->Services[u"Orders"].pop_back(); // room below the rows
    TForm1& f = Open();
    Connect();
    ClickRow(Find<common::TListView>(f, "ListView1"), 0);
    ClickRow(Find<common::TListView>(f, "ListView2"), 0);
    EXPECT_EQ(f.CurrentService, QStringLiteral("Create"));
    // A new fill of the services loses their selection, not CurrentService.
    ClickRow(Find<common::TListView>(f, "ListView1"), 0);
    EXPECT_EQ(Find<common::TListView>(f, "ListView2")->SelectedRow(), -1);
    EXPECT_EQ(f.CurrentService, QStringLiteral("Create"));
    ClickEmpty(Find<common::TListView>(f, "ListView2"));
    EXPECT_TRUE(f.CurrentService.isEmpty());
}

TEST_F(ListsTest, ARefreshReselectsTheClickedComponentByItsExactName) {
    TForm1& f = Open();
    Connect();
    ClickRow(Find<common::TListView>(f, "ListView1"), 0); // Orders
    // Moved by the keyboard: the refresh puts the selection back.
    Find<common::TListView>(f, "ListView1")->setFocus();
    QTest::keyClick(Find<common::TListView>(f, "ListView1"), Qt::Key_Down);
    Server->Servers = {{u"Stock"}, {u"orders"}, {u"Orders", 9}, {u"Orders", 8}};
    Find<QPushButton>(f, "RefreshBtn")->click();
    EXPECT_EQ(Find<common::TListView>(f, "ListView1")->SelectedRow(), 2)
        << "the first row named exactly Orders";
    EXPECT_EQ(f.CurrentComponent, QStringLiteral("Orders"));
    EXPECT_EQ(Captions(Find<common::TListView>(f, "ListView2")),
              (QStringList{QStringLiteral("Create"), QStringLiteral("Cancel")}));

    // Listed only under another case, or vanished: no row is selected, and
    // the services of the current component are still asked for.
    for (const auto& servers : {std::vector<fake::TServerRow>{{u"ORDERS"}, {u"Stock"}},
                                std::vector<fake::TServerRow>{{u"Stock"}}}) {
        Server->Servers = servers;
        Server->TakeCalls();
        Find<QPushButton>(f, "RefreshBtn")->click();
        EXPECT_EQ(Find<common::TListView>(f, "ListView1")->SelectedRow(), -1);
        EXPECT_EQ(f.CurrentComponent, QStringLiteral("Orders"));
        EXPECT_EQ(Server->ServicesAsked.back(), u"Orders");
        EXPECT_EQ(Captions(Find<common::TListView>(f, "ListView2")),
                  (QStringList{QStringLiteral("Create"), QStringLiteral("Cancel")}));
    }
    EXPECT_TRUE(Boxes.Seen.empty());
}

TEST_F(ListsTest, ARefillKeepsTheOperatorsScrollPlace) {
    Server->Servers.clear();
    for (int i = 0; i < 500; ++i)
        Server->Servers.push_back({u"C" + QString::number(i).toStdU16String(), i});
    for (int i = 0; i < 300; ++i)
        Server->Services[u"C1"].push_back({u"S" + QString::number(i).toStdU16String(), i});
    TForm1& f = Open();
    Connect();
    ClickRow(Find<common::TListView>(f, "ListView1"), 1);
    QApplication::processEvents();
    Find<common::TListView>(f, "ListView1")->verticalScrollBar()->setValue(320);
    Find<common::TListView>(f, "ListView2")->verticalScrollBar()->setValue(150);
    ASSERT_EQ(Find<common::TListView>(f, "ListView2")->verticalScrollBar()->value(), 150);
    Find<QPushButton>(f, "RefreshBtn")->click();
    QApplication::processEvents();
    EXPECT_EQ(Find<common::TListView>(f, "ListView1")->SelectedRow(), 1);
    EXPECT_EQ(Find<common::TListView>(f, "ListView1")->verticalScrollBar()->value(), 320)
        << "the reselection must not scroll";
    EXPECT_EQ(Find<common::TListView>(f, "ListView2")->verticalScrollBar()->value(), 150);

    // A shorter list keeps as much of the place as it has.
    Server->Servers.resize(10);
    Find<QPushButton>(f, "RefreshBtn")->click();
    QApplication::processEvents();
    EXPECT_EQ(Find<common::TListView>(f, "ListView1")->verticalScrollBar()->value(),
              Find<common::TListView>(f, "ListView1")->verticalScrollBar()->maximum());
}

TEST_F(ListsTest, PopupMenusOfferDetailsOnlyForASelectedRow) {
    Server->Servers.pop_back(); // room below the rows
    TForm1& f = Open();
    Connect();
    QMenu* menu = RightClick(Find<common::TListView>(f, "ListView1"), -1);
    EXPECT_FALSE(Find<QAction>(f, "Item11")->isEnabled());
    menu->close();
    // Nothing selected: the item's handler does nothing.
    f.ListView1DblClick();
    EXPECT_TRUE(Boxes.Seen.empty());

    // A right-click selects the row under it, without choosing it.
    menu = RightClick(Find<common::TListView>(f, "ListView1"), 1);
    EXPECT_TRUE(Find<QAction>(f, "Item11")->isEnabled());
    EXPECT_EQ(Find<common::TListView>(f, "ListView1")->SelectedRow(), 1);
    EXPECT_TRUE(f.CurrentComponent.isEmpty());
    // The dialog opens for the component last chosen by a click: none yet.
    QString shownFor = QStringLiteral("unset");
    {
        TDialogDriver<TForm2> driver([&](TForm2& d) {
            shownFor = Find<QLabel>(d, "Label2")->text();
            Find<QPushButton>(d, "Button2")->click();
        });
        // The menu closes as its item is chosen.
        menu->close();
        Find<QAction>(f, "Item11")->trigger();
    }
    EXPECT_TRUE(shownFor.isEmpty());
    // Its details query for the empty name is refused, over the dialog.
    ASSERT_EQ(Boxes.Seen.size(), 1u);
    EXPECT_EQ(Boxes.Seen[0].Text, QStringLiteral("Cannot access component details: info error text"));
    EXPECT_EQ(Boxes.Seen[0].Caption, QStringLiteral(""));
    Boxes.Seen.clear();

    // Services: the item sets CurrentService, or empties it without a row.
    ClickRow(Find<common::TListView>(f, "ListView1"), 0);
    menu = RightClick(Find<common::TListView>(f, "ListView2"), -1);
    EXPECT_FALSE(Find<QAction>(f, "Item12")->isEnabled());
    menu->close();
    f.CurrentService = QStringLiteral("stale");
    f.ListView2DblClick();
    EXPECT_TRUE(f.CurrentService.isEmpty());
    EXPECT_TRUE(Boxes.Seen.empty());
    menu = RightClick(Find<common::TListView>(f, "ListView2"), 1);
    EXPECT_TRUE(Find<QAction>(f, "Item12")->isEnabled());
    {
        TDialogDriver<TForm3> driver([](TForm3& d) { Find<QPushButton>(d, "Button1")->click(); });
        menu->close();
        Find<QAction>(f, "Item12")->trigger();
    }
    EXPECT_EQ(f.CurrentService, QStringLiteral("Cancel"));
    EXPECT_TRUE(Boxes.Seen.empty());
    EXPECT_EQ(Count(Server->Calls, "params.Service"), 1);
}

TEST_F(ListsTest, ListsAreEmptiedBeforeTheyAreQueried) {
    TForm1& f = Open();
    Connect();
    ClickRow(Find<common::TListView>(f, "ListView1"), 0);
    int componentsDuringQuery = -1, servicesDuringQuery = -1;
    Server->OnCall = [&](const std::string& Call) {
        if (Call == "servers.Open")
            componentsDuringQuery = Find<common::TListView>(f, "ListView1")->model()->rowCount();
        if (Call == "services.Open")
            servicesDuringQuery = Find<common::TListView>(f, "ListView2")->model()->rowCount();
    };
    Find<QPushButton>(f, "RefreshBtn")->click();
    Server->OnCall = nullptr;
    EXPECT_EQ(componentsDuringQuery, 0);
    EXPECT_EQ(servicesDuringQuery, 0);
    EXPECT_EQ(Find<common::TListView>(f, "ListView1")->model()->rowCount(), 3);
    EXPECT_EQ(Find<common::TListView>(f, "ListView2")->model()->rowCount(), 2);
}
