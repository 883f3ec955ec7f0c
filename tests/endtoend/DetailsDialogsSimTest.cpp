// The details dialogs against WDXBrokerSim: an action sent from the component
// dialog changes what the broker reports and what both windows then show; the
// parameter dialog lists what the broker describes.
#include "SimWindow.h"
#include "support/DialogDriver.h"

#include "common/widgets/ListView.h"
#include "common/widgets/MessageService.h"
#include "common/widgets/RadioGroup.h"
#include "monitor/ComponentDetailsForm.h"
#include "monitor/MainForm.h"
#include "monitor/ParamDetailsForm.h"
#include "support/Controls.h"
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace wdx;
using namespace wdx::monitor;
using wdx::testsupport::Cell;
using wdx::testsupport::ClickRow;
using wdx::testsupport::Find;
using wdx::testsupport::TDialogDriver;

namespace {

class DetailsDialogsSim : public endtoend::TSimWindowTest {
protected:
    DetailsDialogsSim() {
        Open();
        Choose(QStringLiteral("Sim"));
    }

    // Clicks the row of Orders (the first component) and opens its details.
    void OpenOrders(std::function<void(TForm2&)> Drive) {
        ClickRow(Find<common::TListView>(Form, "ListView1"), 0);
        ASSERT_EQ(Form->CurrentComponent, QStringLiteral("Orders"));
        TDialogDriver<TForm2> driver(std::move(Drive));
        Form->ListView1DblClick();
    }
    int32_t BrokerMaximum() { return Harness.Sim().Broker().Snapshot("Orders")->Maximum; }
};

} // namespace

TEST_F(DetailsDialogsSim, SetMaximumReachesTheBrokerAndBothWindows) {
    ASSERT_TRUE(Form->Connection);
    ASSERT_EQ(BrokerMaximum(), 8);
    OpenOrders([&](TForm2& d) {
        EXPECT_EQ(Find<QLabel>(d, "Label2")->text(), QStringLiteral("Orders"));
        EXPECT_EQ(Find<QLineEdit>(d, "Edit1")->text(), QStringLiteral("8"));
        Find<QLineEdit>(d, "Edit1")->selectAll();
        QTest::keyClicks(Find<QLineEdit>(d, "Edit1"), QStringLiteral("5"));
        EXPECT_TRUE(Find<common::TRadioGroup>(d, "RadioGroup1")->Button(1)->isChecked())
            << "typing chooses Set maximum";
        QTest::mouseClick(Find<QPushButton>(d, "Button3"), Qt::LeftButton); // Apply
        EXPECT_EQ(Find<QLineEdit>(d, "Edit1")->text(), QStringLiteral("5"))
            << "the dialog reads its figures again";
        QTest::mouseClick(Find<QPushButton>(d, "Button1"), Qt::LeftButton); // OK
    });
    EXPECT_TRUE(Boxes.Seen.empty()) << Boxes.Seen.front().Text.toStdString();
    EXPECT_EQ(BrokerMaximum(), 5);
    EXPECT_EQ(Cell(Find<common::TListView>(Form, "ListView1"), 0, 0), QStringLiteral("Orders"));
    EXPECT_EQ(Cell(Find<common::TListView>(Form, "ListView1"), 0, 2), QStringLiteral("5"));
}

TEST_F(DetailsDialogsSim, ClearAndRetireChangeTheFiguresShown) {
    OpenOrders([&](TForm2& d) {
        QTest::mouseClick(Find<common::TRadioGroup>(d, "RadioGroup1")->Button(2),
                          Qt::LeftButton); // Clear statistics
        QTest::mouseClick(Find<QPushButton>(d, "Button3"), Qt::LeftButton);
        EXPECT_EQ(Harness.Sim().Broker().Snapshot("Orders")->Requests, 0);
        EXPECT_EQ(Find<QLabel>(d, "Label9")->text(), QStringLiteral("0")) << "requests in the dialog";
        QTest::mouseClick(Find<common::TRadioGroup>(d, "RadioGroup1")->Button(0), Qt::LeftButton); // Retire
        QTest::mouseClick(Find<QPushButton>(d, "Button3"), Qt::LeftButton);
        EXPECT_EQ(Harness.Sim().Broker().Snapshot("Orders")->Active, 0);
        EXPECT_EQ(Find<QLabel>(d, "Label6")->text(), QStringLiteral("0")) << "active in the dialog";
        QTest::mouseClick(Find<QPushButton>(d, "Button2"), Qt::LeftButton); // Cancel
    });
    EXPECT_TRUE(Boxes.Seen.empty()) << Boxes.Seen.front().Text.toStdString();
    EXPECT_EQ(Cell(Find<common::TListView>(Form, "ListView1"), 0, 1), QStringLiteral("0")) << "active";
    EXPECT_EQ(Cell(Find<common::TListView>(Form, "ListView1"), 0, 3), QStringLiteral("0")) << "requests";
}

TEST_F(DetailsDialogsSim, ARefusedMaximumShowsTheBrokersReason) {
    OpenOrders([&](TForm2& d) {
        Find<QLineEdit>(d, "Edit1")->selectAll();
        QTest::keyClicks(Find<QLineEdit>(d, "Edit1"),
                         QStringLiteral("20000")); // above what the broker accepts
        QTest::mouseClick(Find<QPushButton>(d, "Button1"),
                          Qt::LeftButton); // OK: the action, then the dialog closes
    });
    ASSERT_EQ(Boxes.Seen.size(), 1u);
    EXPECT_TRUE(Boxes.Seen[0].Text.startsWith(QStringLiteral("Cannot process requested action: ")))
        << Boxes.Seen[0].Text.toStdString();
    EXPECT_GT(Boxes.Seen[0].Text.size(), QStringLiteral("Cannot process requested action: ").size())
        << "with a reason";
    EXPECT_EQ(Boxes.Seen[0].Caption, QStringLiteral("Orders"));
    EXPECT_EQ(BrokerMaximum(), 8);
}

TEST_F(DetailsDialogsSim, ParametersOfAServiceWithTheirWords) {
    ClickRow(Find<common::TListView>(Form, "ListView1"), 0);
    ASSERT_EQ(Find<common::TListView>(Form, "ListView2")->model()->rowCount(), 2);
    ClickRow(Find<common::TListView>(Form, "ListView2"), 0);
    ASSERT_EQ(Form->CurrentService, QStringLiteral("Orders.Create"));
    QStringList rows;
    {
        TDialogDriver<TForm3> driver([&](TForm3& d) {
            for (int i = 0; i < Find<common::TListView>(d, "ListView1")->model()->rowCount(); ++i) {
                QStringList cells;
                for (int c = 0; c < 5; ++c)
                    cells << Cell(Find<common::TListView>(d, "ListView1"), i, c);
                rows << cells.join(u'|');
            }
            d.accept();
        });
        Form->ListView2DblClick();
    }
    EXPECT_TRUE(Boxes.Seen.empty());
    EXPECT_EQ(rows, (QStringList{QStringLiteral("Customer|char|40|0|Input"),
                                 QStringLiteral("Amount|number|15|2|In/Out"),
                                 QStringLiteral("Result|boolean|0|0|Result")}));
}
