#pragma once
// The monitor's main window on the scripted fake: temporary store files with
// two brokers, every message box recorded and answered, the window created
// and freed per test, and the operator's gestures (choosing a broker,
// clicking rows: tests/support/Gestures.h; timer ticks).

#include "FakeMonitor.h"

#include "brokerstore/BrokerStore.h"
#include "common/widgets/ListView.h"
#include "common/widgets/MessageService.h"
#include "common/widgets/RadioGroup.h"
#include "common/widgets/UpDown.h"
#include "monitor/MainForm.h"
#include "support/BrokerDefinitions.h"
#include "support/Controls.h"
#include "support/Gestures.h"
#include "support/MessageBoxes.h"
#include "support/TempStore.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTimerEvent>
#include <gtest/gtest.h>
#include <memory>

namespace wdx::monitor::test {

using testsupport::ClickRow;
using testsupport::Define;
using testsupport::Find;
using testsupport::RowCentre;
using testsupport::RowText;
using testsupport::TMessageBoxes;

inline QStringList Captions(const common::TListView* List) {
    QStringList names;
    for (int r = 0; r < List->model()->rowCount(); ++r)
        names << List->model()->index(r, 0).data().toString();
    return names;
}

inline int Count(const std::vector<std::string>& Calls, const std::string& Call) {
    return static_cast<int>(std::count(Calls.begin(), Calls.end(), Call));
}

class TWindowTest : public ::testing::Test {
protected:
    TWindowTest() {
        Define(brokerstore::scUser, "Alpha", "127.0.0.1");
        Define(brokerstore::scUser, "Beta", "127.0.0.1");
        Server->Servers = {{u"Orders", 1, 5, 120, 0, 15, 40},
                           {u"Billing", 0, 2, 7, 1, -3, 2147483647},
                           {u"Stock", 2, 3, 1234567, 0, 0, 0}};
        Server->Services[u"Orders"] = {{u"Create", 100, 0, 12, 30}, {u"Cancel", 20, 1, 3, -1}};
        Server->Services[u"Billing"] = {{u"Invoice", 7, 1, 0, 2}};
    }

    void TearDown() override {
        delete Form.data();
        EXPECT_EQ(Server->LiveObjects, 0) << "a fake object was never released";
    }

    TForm1& Open(const QStringList& Args = {}) {
        Form = new TForm1(Args);
        return *Form;
    }

    // The operator picks the item Name of the broker selector.
    void Choose(const QString& Name) { testsupport::Choose(Find<QComboBox>(Form, "ComboBox1"), Name); }

    // Opens "Alpha" and checks that it worked; the calls so far are dropped.
    void Connect() {
        Choose(QStringLiteral("Alpha"));
        ASSERT_TRUE(Form->Connection) << "not connected";
        Server->TakeCalls();
    }

    // A point below the last row.
    static QPoint EmptyPoint(common::TListView* List) {
        QApplication::processEvents();
        QPoint below(5, List->viewport()->height() - 2);
        EXPECT_FALSE(List->indexAt(below).isValid()) << "the list has no empty part";
        return below;
    }
    static void ClickEmpty(common::TListView* List) {
        QTest::mouseClick(List->viewport(), Qt::LeftButton, {}, EmptyPoint(List));
    }

    // One tick of Timer1, as its message loop would deliver it; nothing
    // happens while the timer is stopped.
    void Tick() {
        if (!Find<QTimer>(Form, "Timer1")->isActive())
            return;
        QTimerEvent tick(Find<QTimer>(Form, "Timer1")->timerId());
        QCoreApplication::sendEvent(Find<QTimer>(Form, "Timer1"), &tick);
    }

    void ExpectNotConnected(const char* Where) {
        SCOPED_TRACE(Where);
        TForm1& f = *Form;
        EXPECT_FALSE(f.Connection);
        EXPECT_FALSE(Find<QPushButton>(f, "DisconnectBtn")->isEnabled());
        EXPECT_FALSE(Find<QPushButton>(f, "RefreshBtn")->isEnabled());
        EXPECT_FALSE(Find<QLabel>(f, "lblVersion")->isVisible());
        EXPECT_FALSE(Find<QLabel>(f, "lblVersionDisplay")->isVisible());
        EXPECT_EQ(Find<common::TListView>(f, "ListView1")->model()->rowCount(), 0);
        EXPECT_EQ(Find<common::TListView>(f, "ListView2")->model()->rowCount(), 0);
        EXPECT_TRUE(Find<QCheckBox>(f, "cbRefresh")->isEnabled());
    }
    void ExpectConnected(const char* Where) {
        SCOPED_TRACE(Where);
        TForm1& f = *Form;
        EXPECT_TRUE(f.Connection);
        EXPECT_TRUE(Find<QPushButton>(f, "DisconnectBtn")->isEnabled());
        EXPECT_TRUE(Find<QPushButton>(f, "RefreshBtn")->isEnabled());
        EXPECT_TRUE(Find<QLabel>(f, "lblVersion")->isVisible());
        EXPECT_TRUE(Find<QLabel>(f, "lblVersionDisplay")->isVisible());
        EXPECT_TRUE(Find<QCheckBox>(f, "cbRefresh")->isEnabled());
    }
    // Label5, Edit2, UpDown1 and Timer1 follow the check box.
    void ExpectAutomatic(bool On) {
        TForm1& f = *Form;
        EXPECT_EQ(Find<QCheckBox>(f, "cbRefresh")->isChecked(), On);
        EXPECT_EQ(Find<QLabel>(f, "Label5")->isEnabled(), On);
        EXPECT_EQ(Find<QLineEdit>(f, "Edit2")->isEnabled(), On);
        EXPECT_EQ(Find<common::TUpDown>(f, "UpDown1")->isEnabled(), On);
        EXPECT_EQ(Find<QTimer>(f, "Timer1")->isActive(), On);
    }

    testsupport::TTempStore Stores;
    fake::TFakeServer Server;
    TMessageBoxes Boxes;
    QPointer<TForm1> Form;
};

} // namespace wdx::monitor::test
