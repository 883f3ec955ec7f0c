// The monitor's windows as a screen reader sees them: every control named,
// the main window a window (not a dialog), the spin arrows named after their
// step and field, every figure read as its value and labelled by its caption
// (in each state of the details dialog), and the pop-up menus on the
// accessibility tree while they are open.

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
    const bool told = BusIsTold();
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

    // "Type:" and "Version:" label the texts beside them; a new version is told.
    const std::vector<std::pair<const char*, const char*>> figures = {{"Label2", "Label3"},
                                                                      {"lblVersion", "lblVersionDisplay"}};
    EXPECT_EQ(FigureFaults(Form, figures), std::vector<std::string>{});
    EXPECT_EQ(Find<QLabel>(Form, "lblVersionDisplay")->text(), QStringLiteral("4.2.1"));
    TAccessibleEventSpy spy;
    Server->Version = u"5.0.3";
    Choose(QStringLiteral("Beta"));
    ASSERT_EQ(Find<QLabel>(Form, "lblVersionDisplay")->text(), QStringLiteral("5.0.3"));
    if (told) {
        EXPECT_GE(spy.Count(Find<QLabel>(Form, "lblVersionDisplay"), QAccessible::NameChanged), 1);
    }
    EXPECT_EQ(FigureFaults(Form, figures), std::vector<std::string>{});
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

// The details dialog's figures, each beside its caption.
const std::vector<std::pair<const char*, const char*>> DetailsFigures = {
    {"Label1", "Label2"},   {"Label3", "Label4"},   {"Label5", "Label6"},  {"Label8", "Label9"},
    {"Label10", "Label11"}, {"Label12", "Label13"}, {"Label14", "Label15"}};

QStringList Shown(QWidget* Dialog) {
    QStringList out;
    for (auto [caption, value] : DetailsFigures)
        out << Find<QLabel>(Dialog, value)->text();
    return out;
}

// The figures that changed from Before without the bus being told that
// their name changed (nothing to check where the bus is told nothing).
std::vector<std::string> Untold(QWidget* Dialog, const TAccessibleEventSpy& Spy, const QStringList& Before) {
    std::vector<std::string> out;
    if (!QAccessible::isActive())
        return out;
    const QStringList now = Shown(Dialog);
    for (size_t i = 0; i < DetailsFigures.size(); ++i) {
        QLabel* value = Find<QLabel>(Dialog, DetailsFigures[i].second);
        if (now[int(i)] != Before[int(i)] && Spy.Count(value, QAccessible::NameChanged) == 0)
            out.push_back(DetailsFigures[i].second);
    }
    return out;
}

TEST_F(MonitorAccessibilityTest, DetailsFiguresReadAsTheirValuesInEveryState) {
    Server->Info[u"Orders"] = {u"host7/app", 1, 5, 120, 0, 15, 40};
    Server->OnExecute = [this](const fake::TActionCall&) {
        auto& info = Server->Info[u"Orders"];
        info.Active = 3;
        info.Requests = info.Queued = info.QueueTime = info.ServiceTime = 0;
    };
    BusIsTold(); // before the windows exist, as with a screen reader running
    Open();
    Connect();
    ClickRow(Find<common::TListView>(Form, "ListView1"), 0);
    TAccessibleEventSpy spy;
    bool seen = false;
    {
        TDialogDriver<TForm2> driver([&](TForm2& D) {
            seen = true;
            // First shown: "Number active: 1", not the caption twice.
            EXPECT_EQ(UnnamedControls(&D), std::vector<std::string>{});
            EXPECT_EQ(QAccessible::queryAccessibleInterface(&D)->role(), QAccessible::Dialog);
            EXPECT_EQ(Shown(&D), QStringList({QStringLiteral("Orders"), QStringLiteral("host7/app"),
                                              QStringLiteral("1"), QStringLiteral("120"), QStringLiteral("0"),
                                              QStringLiteral("15"), QStringLiteral("40")}));
            EXPECT_EQ(FigureFaults(&D, DetailsFigures), std::vector<std::string>{});
            EXPECT_EQ(Untold(&D, spy, QStringList(int(DetailsFigures.size()))), std::vector<std::string>{});
            const auto arrows = Find<common::TUpDown>(&D, "UpDown1")->findChildren<QToolButton*>();
            for (QToolButton* b : arrows)
                EXPECT_TRUE(QAccessible::queryAccessibleInterface(b)
                                ->text(QAccessible::Description)
                                .endsWith(Find<QLabel>(&D, "Label7")->text().remove(u'&')));

            // An action refreshes the figures: their names follow, and are told.
            QStringList before = Shown(&D);
            spy.Clear();
            Find<common::TRadioGroup>(&D, "RadioGroup1")->Button(2)->click();
            Find<QPushButton>(&D, "Button3")->click();
            EXPECT_EQ(Shown(&D)[2], QStringLiteral("3"));
            EXPECT_EQ(Shown(&D)[3], QStringLiteral("0"));
            EXPECT_EQ(FigureFaults(&D, DetailsFigures), std::vector<std::string>{});
            EXPECT_EQ(Untold(&D, spy, before), std::vector<std::string>{});

            // A refresh that fails keeps the last figures, read as shown.
            before = Shown(&D);
            Server->FailCall("server_info.Open", u"gone away");
            Find<common::TRadioGroup>(&D, "RadioGroup1")->Button(2)->click();
            Find<QPushButton>(&D, "Button3")->click();
            EXPECT_EQ(Boxes.Seen.size(), 1u);
            EXPECT_EQ(Shown(&D), before);
            EXPECT_EQ(FigureFaults(&D, DetailsFigures), std::vector<std::string>{});

            // The connection ends behind the dialog: the figures stay readable.
            Server->ServersOpen = -1;
            Form->RefreshBtnClick();
            ASSERT_TRUE(D.ConnectionGone());
            EXPECT_EQ(Shown(&D), before);
            EXPECT_EQ(UnnamedControls(&D), std::vector<std::string>{});
            EXPECT_EQ(FigureFaults(&D, DetailsFigures), std::vector<std::string>{});
            D.close();
        });
        Form->ListView1DblClick();
    }
    EXPECT_TRUE(seen);
}

TEST_F(MonitorAccessibilityTest, DetailsNeverFilledStillTieEachFigureToItsCaption) {
    Server->Info.clear(); // the details cannot be read
    BusIsTold();
    Open();
    Connect();
    ClickRow(Find<common::TListView>(Form, "ListView1"), 0);
    bool seen = false;
    {
        TDialogDriver<TForm2> driver([&](TForm2& D) {
            seen = true;
            EXPECT_EQ(Boxes.Seen.size(), 1u);
            EXPECT_EQ(Shown(&D), QStringList(int(DetailsFigures.size())));
            EXPECT_EQ(FigureFaults(&D, DetailsFigures), std::vector<std::string>{});
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
