#pragma once
// The monitor's main window with a simulated broker "Sim" on loopback behind
// the stand-ins, every message box recorded and answered OK, and the
// operator's gestures (tests/support/Gestures.h).

#include "statshost/StandInHarness.h"

#include "common/widgets/ListView.h"
#include "common/widgets/MessageService.h"
#include "monitor/MainForm.h"
#include "support/Controls.h"
#include "support/Gestures.h"
#include "support/MessageBoxes.h"

#include <QComboBox>
#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>
#include <vector>

namespace wdx::endtoend {

using testsupport::Find;

class TSimWindowTest : public ::testing::Test {
protected:
    TSimWindowTest() { Harness.DefineSim("Sim"); }
    ~TSimWindowTest() override { delete Form.data(); }

    monitor::TForm1& Open() {
        Form = new monitor::TForm1({});
        Form->show();
        return *Form;
    }
    // The operator picks the item Name of the broker selector.
    void Choose(const QString& Name) { testsupport::Choose(Find<QComboBox>(Form, "ComboBox1"), Name); }

    wdx::testing::TStandInHarness Harness;
    testsupport::TMessageBoxes Boxes;
    QPointer<monitor::TForm1> Form;
};

} // namespace wdx::endtoend
