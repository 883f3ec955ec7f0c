// The administrator's windows as a screen reader sees them: every control
// named, the list window a window and the edit dialog a dialog, the fields
// named by their captions, a text labelled by the caption beside it, the
// spin arrows "Up"/"Down" of the field they step, and the list's pop-up menu
// on the accessibility tree while it is open.

#include "support/Accessibility.h"
#include "AdminTestSupport.h"

#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <optional>
#include <utility>

using namespace wdx;
using namespace wdx::clntadmin;
using namespace wdx::clntadmin::test;
using testsupport::OpenPopupMenus;
using testsupport::UnnamedControls;

namespace {

QAccessibleInterface* Acc(QObject* Object) {
    return QAccessible::queryAccessibleInterface(Object);
}
QString NameOf(QObject* Object) {
    QAccessibleInterface* i = Acc(Object);
    return i ? i->text(QAccessible::Name) : QStringLiteral("<no interface>");
}
QString Plain(QString Text) {
    return Text.remove(u'&');
}

// The object names of the controls a screen reader reaches from Window.
QStringList Reached(QWidget* Window) {
    std::vector<QAccessibleInterface*> all;
    testsupport::CollectAll(Acc(Window), all);
    QStringList names;
    for (QAccessibleInterface* i : all)
        if (i->object())
            names << i->object()->objectName();
    return names;
}

QPoint RowCentre(common::TListView* List, int Row) {
    return List->visualRect(List->Items()->index(Row, 1)).center();
}

// A right-click as the platform delivers it, through the window, so that
// the list gets its context menu request the way an operator's click makes it.
void RightClick(QWidget* Widget, QPoint Pos) {
    QWidget* top = Widget->window();
    QTest::mouseClick(top->windowHandle(), Qt::RightButton, {}, Widget->mapTo(top, Pos));
}

class AdminAccessibility : public ::testing::Test {
protected:
    void SetUp() override {
        Define(scUser, "One");
        Define(scSystem, "Two", "two-host");
        Form.emplace();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form->Form.data()));
        List = Find<common::TListView>(*Form, "ListView1");
    }
    common::TListView* List = nullptr;
    testsupport::TTempStore Store;
    TMessageBoxes Boxes;
    std::optional<TFormGuard> Form;
};

TEST_F(AdminAccessibility, ListWindowIsAWindowWithEveryControlNamed) {
    TForm1& f = *Form->Form;
    // A selected row enables Edit and Delete: every button is walked enabled.
    QTest::mouseClick(List->viewport(), Qt::LeftButton, {}, RowCentre(List, 0));
    ASSERT_EQ(List->SelectedRow(), 0);

    EXPECT_EQ(UnnamedControls(&f), std::vector<std::string>{});
    const QStringList reached = Reached(&f);
    for (const char* name : {"PageControl1", "Image1", "Label1", "Label2", "Label3", "GroupBox1", "ListView1",
                             "Button1", "Button2", "Button3", "CloseBtn", "HelpBtn"})
        EXPECT_TRUE(reached.contains(QLatin1String(name))) << name << " is not on the tree";

    QAccessibleInterface* window = Acc(&f);
    EXPECT_EQ(window->role(), QAccessible::Window);
    EXPECT_EQ(window->text(QAccessible::Name), QStringLiteral("Client Administrator"));

    // The list carries its group's title; the header image the program's.
    EXPECT_EQ(NameOf(List), Find<QGroupBox>(f, "GroupBox1")->title());
    EXPECT_EQ(NameOf(List), QStringLiteral("Corvanta Component Brokers"));
    EXPECT_EQ(NameOf(Find<QLabel>(f, "Image1")), QStringLiteral("Client Administrator"));
    EXPECT_EQ(Acc(Find<QLabel>(f, "Image1"))->role(), QAccessible::Graphic);
    // "Type:" labels the text beside it, which reads as itself.
    EXPECT_EQ(testsupport::FigureFaults(&f, {{"Label2", "Label3"}}), std::vector<std::string>{});

    for (const char* name : {"Button1", "Button2", "Button3", "CloseBtn", "HelpBtn"}) {
        auto* b = Find<QPushButton>(f, name);
        EXPECT_EQ(Acc(b)->role(), QAccessible::PushButton) << name;
        EXPECT_EQ(NameOf(b), Plain(b->text())) << name;
        EXPECT_FALSE(Acc(b)->state().disabled) << name;
    }
}

TEST_F(AdminAccessibility, ListWindowButtonsTellTheirDisabledState) {
    // Nothing selected: Edit and Delete are off, and a screen reader says so.
    ASSERT_EQ(List->SelectedRow(), -1);
    EXPECT_EQ(UnnamedControls(Form->Form), std::vector<std::string>{});
    EXPECT_FALSE(Acc(Find<QPushButton>(*Form, "Button1"))->state().disabled);
    EXPECT_TRUE(Acc(Find<QPushButton>(*Form, "Button2"))->state().disabled);
    EXPECT_TRUE(Acc(Find<QPushButton>(*Form, "Button3"))->state().disabled);
}

TEST_F(AdminAccessibility, PopupMenuIsOnTheTreeWhileOpen) {
    auto* menu = Find<QMenu>(*Form, "PopupMenu1");
    EXPECT_TRUE(OpenPopupMenus().empty());

    RightClick(List->viewport(), RowCentre(List, 1));
    QTRY_VERIFY(menu->isVisible());
    EXPECT_EQ(List->SelectedRow(), 1);
    const auto menus = OpenPopupMenus();
    ASSERT_EQ(menus.size(), 1u);
    EXPECT_EQ(menus[0]->object(), menu);
    EXPECT_EQ(menus[0]->role(), QAccessible::PopupMenu);
    EXPECT_EQ(menus[0]->text(QAccessible::Name), QStringLiteral("Corvanta Component Brokers"));
    ASSERT_EQ(menus[0]->childCount(), 3);
    const QString texts[] = {QStringLiteral("Add..."), QStringLiteral("Edit..."), QStringLiteral("Delete")};
    // With a row selected the menu offers Edit and Delete, not Add.
    const bool disabled[] = {true, false, false};
    for (int i = 0; i < 3; ++i) {
        QAccessibleInterface* item = menus[0]->child(i);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->role(), QAccessible::MenuItem) << i;
        EXPECT_EQ(item->text(QAccessible::Name), texts[i]);
        EXPECT_EQ(bool(item->state().disabled), disabled[i]) << i;
    }

    // Escape closes it, and it leaves the tree.
    QTest::keyClick(menu, Qt::Key_Escape);
    QTRY_VERIFY(!menu->isVisible());
    EXPECT_TRUE(OpenPopupMenus().empty());
}

// What both modes of the edit dialog must show a screen reader.
void ExpectDialogNamed(TForm2& D) {
    EXPECT_EQ(UnnamedControls(&D), std::vector<std::string>{});
    const QStringList reached = Reached(&D);
    for (const char* name : {"Image1",
                             "Label1",
                             "Edit1",
                             "Label2",
                             "Edit2",
                             "Label3",
                             "Edit3",
                             "UpDown1",
                             "Label4",
                             "Edit4",
                             "UpDown2",
                             "UpButton",
                             "DownButton",
                             "RadioGroup1",
                             "RadioGroup1Item0",
                             "RadioGroup1Item1",
                             "chkbConnectionPooling",
                             "grpbLogging",
                             "chkbComms",
                             "chkbCalls",
                             "OKBtn",
                             "CancelBtn"})
        EXPECT_TRUE(reached.contains(QLatin1String(name))) << name << " is not on the tree";

    QAccessibleInterface* dialog = Acc(&D);
    EXPECT_EQ(dialog->role(), QAccessible::Dialog);
    EXPECT_EQ(dialog->text(QAccessible::Name), D.windowTitle());

    // Each field is named by its caption.
    const std::pair<const char*, const char*> fields[] = {
        {"Edit1", "Label1"}, {"Edit2", "Label2"}, {"Edit3", "Label3"}, {"Edit4", "Label4"}};
    for (auto [edit, label] : fields) {
        EXPECT_EQ(Acc(Find<QLineEdit>(D, edit))->role(), QAccessible::EditableText) << edit;
        EXPECT_EQ(NameOf(Find<QLineEdit>(D, edit)), Plain(Find<QLabel>(D, label)->text())) << edit;
    }
    EXPECT_EQ(NameOf(Find<QLineEdit>(D, "Edit3")), QStringLiteral("Port number:"));
    EXPECT_EQ(NameOf(Find<QLineEdit>(D, "Edit4")), QStringLiteral("Timeout (s):"));

    // The spin arrows: "Up" and "Down", with the field they step.
    for (auto [upDown, field] :
         {std::pair{"UpDown1", "Port number:"}, std::pair{"UpDown2", "Timeout (s):"}}) {
        auto* u = Find<common::TUpDown>(D, upDown);
        const auto arrows = u->findChildren<QToolButton*>();
        ASSERT_EQ(arrows.size(), 2) << upDown;
        QStringList names;
        for (QToolButton* b : arrows) {
            QAccessibleInterface* i = Acc(b);
            names << i->text(QAccessible::Name);
            EXPECT_EQ(i->role(), QAccessible::PushButton) << upDown;
            EXPECT_TRUE(i->text(QAccessible::Description).contains(QLatin1String(field)))
                << upDown << ": " << i->text(QAccessible::Description).toStdString();
        }
        names.sort();
        EXPECT_EQ(names, (QStringList{QStringLiteral("Down"), QStringLiteral("Up")})) << upDown;
    }

    // The scope's group and its items; the options.
    auto* group = Find<common::TRadioGroup>(D, "RadioGroup1");
    EXPECT_EQ(Acc(group)->role(), QAccessible::Grouping);
    EXPECT_EQ(NameOf(group), QStringLiteral("Type of setting"));
    const QString items[] = {QStringLiteral("User"), QStringLiteral("System")};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(Acc(group->Button(i))->role(), QAccessible::RadioButton) << i;
        EXPECT_EQ(NameOf(group->Button(i)), items[i]);
        EXPECT_EQ(bool(Acc(group->Button(i))->state().checked), group->ItemIndex() == i) << i;
    }
    const std::pair<const char*, const char*> boxes[] = {{"chkbConnectionPooling", "Connection pooling"},
                                                         {"chkbComms", "Communications"},
                                                         {"chkbCalls", "Function calls"}};
    for (auto [box, text] : boxes) {
        EXPECT_EQ(Acc(Find<QCheckBox>(D, box))->role(), QAccessible::CheckBox) << box;
        EXPECT_EQ(NameOf(Find<QCheckBox>(D, box)), QString::fromLatin1(text));
    }
    EXPECT_EQ(NameOf(Find<QGroupBox>(D, "grpbLogging")), QStringLiteral("Logging"));
    EXPECT_EQ(NameOf(Find<QPushButton>(D, "OKBtn")), QStringLiteral("OK"));
    EXPECT_EQ(NameOf(Find<QPushButton>(D, "CancelBtn")), QStringLiteral("Cancel"));
    EXPECT_EQ(Acc(Find<QLabel>(D, "Image1"))->role(), QAccessible::Graphic);
    EXPECT_EQ(NameOf(Find<QLabel>(D, "Image1")), QStringLiteral("Client Administrator"));
}

TEST_F(AdminAccessibility, NewBrokerDialogIsADialogWithEveryControlNamed) {
    bool seen = false;
    {
        TDialogDriver driver([&](TForm2& D) {
            seen = true;
            EXPECT_EQ(D.windowTitle(), QStringLiteral("New Corvanta Component Broker"));
            ExpectDialogNamed(D);
            // A box the operator ticks is read as ticked.
            auto* comms = Find<QCheckBox>(D, "chkbComms");
            EXPECT_FALSE(Acc(comms)->state().checked);
            QTest::mouseClick(comms, Qt::LeftButton, {}, QPoint(4, comms->height() / 2));
            EXPECT_TRUE(comms->isChecked());
            EXPECT_TRUE(Acc(comms)->state().checked);
            QTest::mouseClick(Find<QPushButton>(D, "CancelBtn"), Qt::LeftButton);
        });
        QTest::mouseClick(Find<QPushButton>(*Form, "Button1"), Qt::LeftButton);
    }
    EXPECT_TRUE(seen);
    EXPECT_TRUE(Boxes.Seen.empty());
}

TEST_F(AdminAccessibility, EditBrokerDialogIsADialogWithEveryControlNamed) {
    QTest::mouseClick(List->viewport(), Qt::LeftButton, {}, RowCentre(List, 1));
    ASSERT_EQ(List->SelectedRow(), 1);
    bool seen = false;
    {
        TDialogDriver driver([&](TForm2& D) {
            seen = true;
            EXPECT_EQ(D.windowTitle(), QStringLiteral("Edit Corvanta Component Broker"));
            ExpectDialogNamed(D);
            // The name cannot be changed here, and a screen reader says so;
            // the row's System scope is the checked item.
            EXPECT_TRUE(Acc(Find<QLineEdit>(D, "Edit1"))->state().readOnly);
            EXPECT_TRUE(Acc(Find<common::TRadioGroup>(D, "RadioGroup1")->Button(1))->state().checked);
            QTest::mouseClick(Find<QPushButton>(D, "CancelBtn"), Qt::LeftButton);
        });
        QTest::mouseClick(Find<QPushButton>(*Form, "Button2"), Qt::LeftButton);
    }
    EXPECT_TRUE(seen);
    EXPECT_TRUE(Boxes.Seen.empty());
}

} // namespace
