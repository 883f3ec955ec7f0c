#pragma once
// The monitor's main window on the scripted fake: temporary store files with
// two brokers, every message box recorded and answered, the window created
// and freed per test, and the operator's gestures (choosing a broker,
// clicking rows, timer ticks).

#include "FakeMonitor.h"

#include "brokerstore/BrokerStore.h"
#include "support/TempStore.h"
#include "common/widgets/ListView.h"
#include "common/widgets/MessageService.h"
#include "common/widgets/UpDown.h"
#include "monitor/MainForm.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTimerEvent>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace wdx::monitor::test {

// Temporary store files while it lives, and broker definitions in them.
class TWindowStores : public testsupport::TTempStore {
public:
    static void Define(const std::string& Name, brokerstore::TBrokerScope Scope = brokerstore::scUser) {
        brokerstore::TBrokerDefinition def;
        def.Name = Name;
        def.Scope = Scope;
        def.HostName = "127.0.0.1";
        def.Port = "7563";
        def.TimeOut = "30";
        ASSERT_TRUE(brokerstore::WriteBrokerDefinition(def)) << Name;
    }
};

// Records every box and answers it: from Answers while there are any, else
// OK (or Yes). WhileOpen runs as if from within the box's own message loop,
// where timer ticks still arrive.
struct TBoxes {
    std::vector<common::TMessageRequest> Seen;
    std::deque<common::TMsgAnswer> Answers;
    std::function<void(const common::TMessageRequest&)> WhileOpen;

    common::TMessageHandlerScope Scope{[this](const common::TMessageRequest& R) {
        Seen.push_back(R);
        if (WhileOpen)
            WhileOpen(R);
        if (!Answers.empty()) {
            common::TMsgAnswer a = Answers.front();
            Answers.pop_front();
            return a;
        }
        return R.Buttons == common::TMsgButtons::YesNo ? common::TMsgAnswer::Yes : common::TMsgAnswer::Ok;
    }};

    std::vector<QString> Texts() const {
        std::vector<QString> t;
        for (const auto& r : Seen)
            t.push_back(r.Text);
        return t;
    }
};

inline QString Row(const common::TListView* List, int RowIndex) {
    QStringList cells;
    for (int c = 0; c < List->model()->columnCount(); ++c)
        cells << List->model()->index(RowIndex, c).data().toString();
    return cells.join(u'|');
}

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
        TWindowStores::Define("Alpha");
        TWindowStores::Define("Beta");
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

    // What the selector does when the operator picks the item Name.
    void Choose(const QString& Name) {
        const int i = Form->ComboBox1->findText(Name);
        ASSERT_GE(i, 0) << Name.toStdString();
        Form->ComboBox1->setCurrentIndex(i);
        emit Form->ComboBox1->activated(i);
    }

    // Opens "Alpha" and checks that it worked; the calls so far are dropped.
    void Connect() {
        Choose(QStringLiteral("Alpha"));
        ASSERT_TRUE(Form->Connection) << "not connected";
        Server->TakeCalls();
    }

    static QPoint RowCentre(common::TListView* List, int RowIndex) {
        QApplication::processEvents(); // the view lays out its rows lazily
        return List->visualRect(List->model()->index(RowIndex, 0)).center();
    }
    static void ClickRow(common::TListView* List, int RowIndex) {
        QTest::mouseClick(List->viewport(), Qt::LeftButton, {}, RowCentre(List, RowIndex));
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
        if (!Form->Timer1->isActive())
            return;
        QTimerEvent tick(Form->Timer1->timerId());
        QCoreApplication::sendEvent(Form->Timer1, &tick);
    }

    void ExpectNotConnected(const char* Where) {
        SCOPED_TRACE(Where);
        TForm1& f = *Form;
        EXPECT_FALSE(f.Connection);
        EXPECT_FALSE(f.DisconnectBtn->isEnabled());
        EXPECT_FALSE(f.RefreshBtn->isEnabled());
        EXPECT_FALSE(f.lblVersion->isVisible());
        EXPECT_FALSE(f.lblVersionDisplay->isVisible());
        EXPECT_EQ(f.ListView1->model()->rowCount(), 0);
        EXPECT_EQ(f.ListView2->model()->rowCount(), 0);
        EXPECT_TRUE(f.cbRefresh->isEnabled());
    }
    void ExpectConnected(const char* Where) {
        SCOPED_TRACE(Where);
        TForm1& f = *Form;
        EXPECT_TRUE(f.Connection);
        EXPECT_TRUE(f.DisconnectBtn->isEnabled());
        EXPECT_TRUE(f.RefreshBtn->isEnabled());
        EXPECT_TRUE(f.lblVersion->isVisible());
        EXPECT_TRUE(f.lblVersionDisplay->isVisible());
        EXPECT_TRUE(f.cbRefresh->isEnabled());
    }
    // Label5, Edit2, UpDown1 and Timer1 follow the check box.
    void ExpectAutomatic(bool On) {
        TForm1& f = *Form;
        EXPECT_EQ(f.cbRefresh->isChecked(), On);
        EXPECT_EQ(f.Label5->isEnabled(), On);
        EXPECT_EQ(f.Edit2->isEnabled(), On);
        EXPECT_EQ(f.UpDown1->isEnabled(), On);
        EXPECT_EQ(f.Timer1->isActive(), On);
    }

    TWindowStores Stores;
    fake::TFakeServer Server;
    TBoxes Boxes;
    QPointer<TForm1> Form;
};

} // namespace wdx::monitor::test
