#pragma once
// The monitor's main window with a simulated broker "Sim" on loopback behind
// the stand-ins, every message box recorded and answered OK, and the
// operator's gestures.

#include "statshost/StandInHarness.h"

#include "common/widgets/ListView.h"
#include "common/widgets/MessageService.h"
#include "monitor/MainForm.h"

#include <QComboBox>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>
#include <vector>

namespace wdx::endtoend {

class TSimWindowTest : public ::testing::Test {
protected:
    TSimWindowTest() { Harness.DefineSim("Sim"); }
    ~TSimWindowTest() override { delete Form.data(); }

    monitor::TForm1& Open() {
        Form = new monitor::TForm1({});
        Form->show();
        return *Form;
    }
    // What the selector does when the operator picks the item Name.
    void Choose(const QString& Name) {
        const int i = Form->ComboBox1->findText(Name);
        ASSERT_GE(i, 0);
        Form->ComboBox1->setCurrentIndex(i);
        emit Form->ComboBox1->activated(i);
    }
    static void ClickRow(common::TListView* List, int RowIndex) {
        const QRect r = List->visualRect(List->model()->index(RowIndex, 0));
        QTest::mouseClick(List->viewport(), Qt::LeftButton, {}, r.center());
    }
    static QString Cell(const common::TListView* List, int Row, int Column) {
        return List->model()->index(Row, Column).data().toString();
    }

    wdx::testing::TStandInHarness Harness;
    std::vector<common::TMessageRequest> Boxes;
    common::TMessageHandlerScope BoxScope{[this](const common::TMessageRequest& R) {
        Boxes.push_back(R);
        return common::TMsgAnswer::Ok;
    }};
    QPointer<monitor::TForm1> Form;
};

} // namespace wdx::endtoend
