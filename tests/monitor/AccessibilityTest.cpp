// The monitor's windows as a screen reader sees them: every control named,
// the main window a window (not a dialog), the spin arrows named after their
// step and field, the details' value labels named by their captions, and the
// pop-up menus on the accessibility tree while they are open.

#include "support/Accessibility.h"
#include "WindowHarness.h"
#include "common/widgets/ListView.h"
#include "common/widgets/UpDown.h"
#include "monitor/ComponentDetailsForm.h"
#include "monitor/ParamDetailsForm.h"
#include "support/Controls.h"
#include "support/DialogDriver.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QToolButton>

using namespace wdx;
using namespace wdx::monitor;
using namespace wdx::monitor::test;
using namespace wdx::testsupport;

namespace {

class MonitorAccessibilityTest : public TWindowTest {};

TEST_F(MonitorAccessibilityTest, MainWindowControlsAreNamed) {
    Open();
    Connect();
    ClickRow(Find<common::TListView>(Form, "ListView1"), 0);
    Find<QCheckBox>(Form, "cbRefresh")->click(); // the refresh controls enabled
    EXPECT_EQ(UnnamedControls(Form), std::vector<std::string>{});
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(Form.data());
    EXPECT_EQ(window->role(), QAccessible::Window);
    EXPECT_EQ(window->text(QAccessible::Name), Form->windowTitle());

    // The spin arrows: "Up" and "Down", of the interval field they step.
    QAccessibleInterface* edit = QAccessible::queryAccessibleInterface(Find<QLineEdit>(Form, "Edit2"));
    EXPECT_EQ(edit->text(QAccessible::Name), QStringLiteral("Interval (s):"));
    const auto arrows = Find<common::TUpDown>(Form, "UpDown1")->findChildren<QToolButton*>();
    ASSERT_EQ(arrows.size(), 2);
    QStringList names;
    for (QToolButton* b : arrows) {
        QAccessibleInterface* i = QAccessible::queryAccessibleInterface(b);
        names << i->text(QAccessible::Name);
        EXPECT_EQ(i->role(), QAccessible::PushButton);
        EXPECT_TRUE(i->text(QAccessible::Description).contains(QStringLiteral("Interval (s):")));
    }
    names.sort();
    EXPECT_EQ(names, (QStringList{QStringLiteral("Down"), QStringLiteral("Up")}));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(Find<common::TListView>(Form, "ListView1"))
                  ->text(QAccessible::Name),
              QStringLiteral("Components"));
}

TEST_F(MonitorAccessibilityTest, PopupMenuIsOnTheTreeWhileOpen) {
    Open();
    Connect();
    ClickRow(Find<common::TListView>(Form, "ListView1"), 0);
    EXPECT_TRUE(OpenPopupMenus().empty());
    Find<QMenu>(Form, "PopupMenu1")
        ->popup(Find<common::TListView>(Form, "ListView1")->mapToGlobal(QPoint(10, 10)));
    QTRY_VERIFY(Find<QMenu>(Form, "PopupMenu1")->isVisible());
    const auto menus = OpenPopupMenus();
    ASSERT_EQ(menus.size(), 1u);
    EXPECT_FALSE(menus[0]->text(QAccessible::Name).isEmpty());
    ASSERT_EQ(menus[0]->childCount(), 1);
    EXPECT_EQ(menus[0]->child(0)->role(), QAccessible::MenuItem);
    EXPECT_EQ(menus[0]->child(0)->text(QAccessible::Name), QStringLiteral("Details..."));
    Find<QMenu>(Form, "PopupMenu1")->close();
}

} // namespace

namespace {

TEST_F(MonitorAccessibilityTest, DetailsDialogsAreNamed) {
    Server->Info[u"Orders"] = {u"host7/app", 1, 5, 120, 0, 15, 40};
    Open();
    Connect();
    ClickRow(Find<common::TListView>(Form, "ListView1"), 0);
    bool seen = false;
    {
        TDialogDriver<TForm2> driver([&](TForm2& D) {
            seen = true;
            EXPECT_EQ(UnnamedControls(&D), std::vector<std::string>{});
            EXPECT_EQ(QAccessible::queryAccessibleInterface(&D)->role(), QAccessible::Dialog);
            // Value labels carry their caption's name; the figure is their text.
            const std::pair<QLabel*, QLabel*> figures[] = {
                {Find<QLabel>(&D, "Label1"), Find<QLabel>(&D, "Label2")},
                {Find<QLabel>(&D, "Label5"), Find<QLabel>(&D, "Label6")},
                {Find<QLabel>(&D, "Label8"), Find<QLabel>(&D, "Label9")},
                {Find<QLabel>(&D, "Label14"), Find<QLabel>(&D, "Label15")}};
            for (auto [caption, value] : figures) {
                QAccessibleInterface* i = QAccessible::queryAccessibleInterface(value);
                EXPECT_EQ(i->text(QAccessible::Name), caption->text());
                EXPECT_FALSE(caption->text().isEmpty());
            }
            const auto arrows = Find<common::TUpDown>(&D, "UpDown1")->findChildren<QToolButton*>();
            for (QToolButton* b : arrows)
                EXPECT_TRUE(QAccessible::queryAccessibleInterface(b)
                                ->text(QAccessible::Description)
                                .endsWith(Find<QLabel>(&D, "Label7")->text().remove(u'&')));
            D.close();
        });
        Form->ListView1DblClick();
    }
    EXPECT_TRUE(seen);
}

TEST_F(MonitorAccessibilityTest, ParameterDialogIsNamed) {
    Open();
    Connect();
    ClickRow(Find<common::TListView>(Form, "ListView1"), 0);
    ClickRow(Find<common::TListView>(Form, "ListView2"), 0);
    bool seen = false;
    {
        TDialogDriver<TForm3> driver([&](TForm3& D) {
            seen = true;
            EXPECT_EQ(UnnamedControls(&D), std::vector<std::string>{});
            EXPECT_FALSE(QAccessible::queryAccessibleInterface(Find<common::TListView>(&D, "ListView1"))
                             ->text(QAccessible::Name)
                             .isEmpty());
            D.close();
        });
        Form->ListView2DblClick();
    }
    EXPECT_TRUE(seen);
}

} // namespace
