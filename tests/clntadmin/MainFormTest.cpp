#include "AdminTestSupport.h"

#include "clntadmin/Startup.h"
#include "common/Application.h"
#include "common/widgets/UpDown.h"

#include <QAction>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTest>

using namespace wdx;
using namespace wdx::clntadmin;
using namespace wdx::clntadmin::test;

namespace {
QStringList Headers(const common::TListView* List) {
    QStringList titles;
    for (int c = 0; c < List->model()->columnCount(); ++c)
        titles << List->model()->headerData(c, Qt::Horizontal).toString();
    return titles;
}

// Enabled states: Button1, Button2, Button3, Item11, Item21, Item31.
std::vector<bool> States(const TForm1& F) {
    return {Find<QPushButton>(F, "Button1")->isEnabled(), Find<QPushButton>(F, "Button2")->isEnabled(),
            Find<QPushButton>(F, "Button3")->isEnabled(), Find<QAction>(F, "Item11")->isEnabled(),
            Find<QAction>(F, "Item21")->isEnabled(),      Find<QAction>(F, "Item31")->isEnabled()};
}
const std::vector<bool> NoneSelected{true, false, false, true, false, false};
const std::vector<bool> RowSelected{true, true, true, false, true, true};

QPoint RowCentre(const TForm1& F, int Row) {
    return Find<common::TListView>(F, "ListView1")
        ->visualRect(Find<common::TListView>(F, "ListView1")->Items()->index(Row, 1))
        .center();
}
QPoint BelowRows(const TForm1& F) {
    return {20, Find<common::TListView>(F, "ListView1")->viewport()->height() - 5};
}

// A double-click as the platform delivers it (QTest's alone sends neither
// the first click nor the last release).
void DoubleClick(QWidget* Widget, QPoint Pos) {
    QTest::mouseClick(Widget, Qt::LeftButton, {}, Pos);
    QTest::mouseDClick(Widget, Qt::LeftButton, {}, Pos);
    QTest::mouseRelease(Widget, Qt::LeftButton, {}, Pos);
}
} // namespace

TEST(AdminMainForm, TextsPlacesAndStartingStates) {
    testsupport::TTempStore store;
    TMessageBoxes boxes;
    TFormGuard form;
    TForm1& f = *form.Form;

    EXPECT_TRUE(boxes.Seen.empty());
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Client Administrator"));
    EXPECT_EQ(Find<QTabWidget>(f, "PageControl1")->tabText(0), QStringLiteral("General"));
    EXPECT_EQ(Find<QTabWidget>(f, "PageControl1")->currentWidget(), Find<QWidget>(f, "TabSheet1"));
    EXPECT_EQ(Find<QLabel>(f, "Label1")->text(), QStringLiteral("Client Administrator"));
    EXPECT_EQ(Find<QLabel>(f, "Label2")->text(), QStringLiteral("Type:"));
    EXPECT_EQ(Find<QLabel>(f, "Label3")->text(), QStringLiteral("Corvanta Component Adapters"));
    EXPECT_EQ(Find<QGroupBox>(f, "GroupBox1")->title(), QStringLiteral("Corvanta Component Brokers"));
    EXPECT_EQ(Headers(Find<common::TListView>(f, "ListView1")),
              (QStringList{QStringLiteral("Name"), QStringLiteral("Host name"), QStringLiteral("Port"),
                           QStringLiteral("Timeout"), QStringLiteral("Type")}));
    const int widths[] = {70, 70, 50, 50, 55};
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(Find<common::TListView>(f, "ListView1")->columnWidth(c), widths[c]) << c;
    EXPECT_EQ((QStringList{Find<QPushButton>(f, "Button1")->text(), Find<QPushButton>(f, "Button2")->text(),
                           Find<QPushButton>(f, "Button3")->text(), Find<QPushButton>(f, "CloseBtn")->text(),
                           Find<QPushButton>(f, "HelpBtn")->text()}),
              (QStringList{QStringLiteral("&Add..."), QStringLiteral("&Edit..."), QStringLiteral("&Delete"),
                           QStringLiteral("&Close"), QStringLiteral("&Help")}));
    EXPECT_EQ(Find<QMenu>(f, "PopupMenu1")->actions(),
              (QList<QAction*>{Find<QAction>(f, "Item11"), Find<QAction>(f, "Item21"),
                               Find<QAction>(f, "Item31")}));
    EXPECT_EQ(
        (QStringList{Find<QAction>(f, "Item11")->text(), Find<QAction>(f, "Item21")->text(),
                     Find<QAction>(f, "Item31")->text()}),
        (QStringList{QStringLiteral("&Add..."), QStringLiteral("&Edit..."), QStringLiteral("&Delete")}));
    EXPECT_EQ(States(f), NoneSelected);
    EXPECT_EQ(Find<common::TListView>(f, "ListView1")->Items()->Count(), 0);
    EXPECT_EQ(Find<common::TListView>(f, "ListView1")->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(Find<common::TListView>(f, "ListView1")->editTriggers(), QAbstractItemView::NoEditTriggers);

    EXPECT_EQ(f.size(), QSize(362, 413));
    EXPECT_EQ(f.minimumSize(), f.maximumSize());
    EXPECT_TRUE(f.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(f.windowFlags() & Qt::WindowMaximizeButtonHint);
    QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((f.frameGeometry().center() - area.center()).manhattanLength(), 4);
    EXPECT_EQ(f.HelpContext(), 116);
    EXPECT_EQ(Find<QLabel>(f, "Image1")->pixmap().toImage(),
              f.LoadIconImage(QStringLiteral("ICON_VKR"), 32).toImage());
    EXPECT_EQ(Find<QPushButton>(f, "Button3")->geometry(), QRect(136, 382, 60, 25));
    EXPECT_EQ(Find<QPushButton>(f, "HelpBtn")->geometry(), QRect(298, 382, 60, 25));
    for (QWidget* w : f.findChildren<QWidget*>()) {
        QString text = w->property("text").toString() + w->property("title").toString();
        EXPECT_FALSE(!w->objectName().isEmpty() && text == w->objectName()) << w->objectName().toStdString();
    }

    // Keyboard order, disabled buttons keeping their place.
    QStringList order;
    QWidget* w = Find<common::TListView>(f, "ListView1");
    do {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(&f) && w->window() == &f)
            order << w->objectName();
        w = w->nextInFocusChain();
    } while (w != Find<common::TListView>(f, "ListView1"));
    EXPECT_EQ(order, (QStringList{QStringLiteral("ListView1"), QStringLiteral("Button1"),
                                  QStringLiteral("Button2"), QStringLiteral("Button3"),
                                  QStringLiteral("CloseBtn"), QStringLiteral("HelpBtn")}));

    // Escape closes nothing; Close closes and frees the window.
    QTest::keyClick(form.Form, Qt::Key_Escape);
    EXPECT_TRUE(f.isVisible());
    Find<QPushButton>(f, "CloseBtn")->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.Form.isNull(); }, 2000));
}

TEST(AdminMainForm, ListsUserRowsThenSystemRowsAsStored) {
    testsupport::TTempStore store;
    Define(scSystem, "Plant", "plant.example.com", "07563", "30");
    Define(scSystem, "Shared", "sys-host", "8000", "5");
    Define(scUser, "Shared", "my-host", "9000", "1");
    // Written by other software: values missing.
    ASSERT_TRUE(registry::WriteText(TRegRoot::User, BrokerKey("Bare"), "Other", "x"));
    ASSERT_TRUE(registry::WriteText(TRegRoot::User, BrokerKey("NoTimeOut"), "HostName", "h"));
    ASSERT_TRUE(registry::WriteText(TRegRoot::User, BrokerKey("NoTimeOut"), "Port", "1"));
    TMessageBoxes boxes;
    TFormGuard form;

    std::vector<QStringList> expected;
    for (auto scope : {scUser, scSystem})
        for (const std::string& name : brokerstore::ListBrokerNames(scope))
            expected.push_back({QString::fromStdString(name)});
    ASSERT_EQ(form.Rows().Count(), 5);
    for (int r = 0; r < 5; ++r)
        EXPECT_EQ(form.Rows().Caption(r), expected[static_cast<size_t>(r)].first()) << r;
    EXPECT_EQ(form.Row(form.Find(QStringLiteral("Bare"), QStringLiteral("User"))),
              (QStringList{QStringLiteral("Bare"), QStringLiteral(""), QStringLiteral(""),
                           QStringLiteral("0"), QStringLiteral("User")}));
    EXPECT_EQ(form.Row(form.Find(QStringLiteral("NoTimeOut"), QStringLiteral("User"))),
              (QStringList{QStringLiteral("NoTimeOut"), QStringLiteral("h"), QStringLiteral("1"),
                           QStringLiteral("0"), QStringLiteral("User")}));
    EXPECT_EQ(form.Row(form.Find(QStringLiteral("Shared"), QStringLiteral("User"))),
              (QStringList{QStringLiteral("Shared"), QStringLiteral("my-host"), QStringLiteral("9000"),
                           QStringLiteral("1"), QStringLiteral("User")}));
    EXPECT_EQ(form.Row(form.Find(QStringLiteral("Shared"), QStringLiteral("System"))),
              (QStringList{QStringLiteral("Shared"), QStringLiteral("sys-host"), QStringLiteral("8000"),
                           QStringLiteral("5"), QStringLiteral("System")}));
    EXPECT_EQ(form.Row(form.Find(QStringLiteral("Plant"), QStringLiteral("System"))),
              (QStringList{QStringLiteral("Plant"), QStringLiteral("plant.example.com"),
                           QStringLiteral("07563"), QStringLiteral("30"), QStringLiteral("System")}));
    EXPECT_LT(form.Find(QStringLiteral("NoTimeOut"), QStringLiteral("User")),
              form.Find(QStringLiteral("Plant"), QStringLiteral("System")));
    EXPECT_EQ(Find<common::TListView>(form, "ListView1")->SelectedRow(), -1);
    EXPECT_TRUE(boxes.Seen.empty());

    // The list is the window's copy: a later change of the store is not shown.
    Define(scUser, "Later");
    form->hide();
    form->show();
    EXPECT_EQ(form.Rows().Count(), 5);
}

TEST(AdminMainForm, NoStoreFilesGiveAnEmptyListAndAreNotCreated) {
    testsupport::TTempStore store;
    TMessageBoxes boxes;
    TFormGuard form;
    EXPECT_EQ(form.Rows().Count(), 0);
    EXPECT_EQ(States(*form.Form), NoneSelected);
    EXPECT_TRUE(boxes.Seen.empty());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(store.UserPath())));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(store.SystemPath())));

    // A double-click on the empty list opens the dialog for a new definition.
    TDialogDriver driver([](TForm2& d) {
        EXPECT_FALSE(d.EditMode());
        EXPECT_EQ(d.windowTitle(), QStringLiteral("New Corvanta Component Broker"));
        Find<QPushButton>(d, "CancelBtn")->click();
    });
    DoubleClick(Find<common::TListView>(form, "ListView1")->viewport(), BelowRows(*form.Form));
    EXPECT_TRUE(driver.Ran());
}

TEST(AdminMainForm, SelectionDrivesButtonsMenuAndDoubleClick) {
    testsupport::TTempStore store;
    Define(scUser, "One");
    Define(scSystem, "Two", "two-host");
    TMessageBoxes boxes;
    TFormGuard form;
    TForm1& f = *form.Form;

    QTest::mouseClick(Find<common::TListView>(f, "ListView1")->viewport(), Qt::LeftButton, {},
                      RowCentre(f, 1));
    EXPECT_EQ(Find<common::TListView>(f, "ListView1")->SelectedRow(), 1);
    EXPECT_EQ(States(f), RowSelected);
    // A click beside the rows clears the selection and offers Add again.
    QTest::mouseClick(Find<common::TListView>(f, "ListView1")->viewport(), Qt::LeftButton, {}, BelowRows(f));
    EXPECT_EQ(Find<common::TListView>(f, "ListView1")->SelectedRow(), -1);
    EXPECT_EQ(States(f), NoneSelected);

    // A right-click on a row pops the context menu up over the list with the
    // same states; the platform's window gets the click, as from the mouse.
    Find<common::TListView>(f, "ListView1")->SelectRow(0);
    const QPoint onRow = Find<common::TListView>(f, "ListView1")->viewport()->mapTo(&f, RowCentre(f, 0));
    QTest::mouseClick(f.windowHandle(), Qt::RightButton, {}, onRow);
    EXPECT_TRUE(Find<QMenu>(f, "PopupMenu1")->isVisible());
    EXPECT_EQ(Find<QMenu>(f, "PopupMenu1")->pos(),
              Find<common::TListView>(f, "ListView1")->viewport()->mapToGlobal(RowCentre(f, 0)));
    EXPECT_EQ(States(f), RowSelected);
    Find<QMenu>(f, "PopupMenu1")->close();

    // A double-click on a row opens that row for editing.
    TDialogDriver driver([](TForm2& d) {
        EXPECT_TRUE(d.EditMode());
        EXPECT_EQ(Find<QLineEdit>(d, "Edit1")->text(), QStringLiteral("Two"));
        EXPECT_EQ(Find<QLineEdit>(d, "Edit2")->text(), QStringLiteral("two-host"));
        Find<QPushButton>(d, "CancelBtn")->click();
    });
    DoubleClick(Find<common::TListView>(f, "ListView1")->viewport(), RowCentre(f, 1));
    EXPECT_TRUE(driver.Ran());
    // Cancel in edit mode keeps the selection.
    EXPECT_EQ(Find<common::TListView>(f, "ListView1")->SelectedRow(), 1);
    EXPECT_EQ(States(f), RowSelected);
}

TEST(AdminMainForm, OnlyAPlainDeleteOnASelectedRowAsksToDelete) {
    testsupport::TTempStore store;
    Define(scUser, "One");
    TMessageBoxes boxes;
    boxes.Answer = common::TMsgAnswer::No;
    TFormGuard form;
    TForm1& f = *form.Form;

    QTest::keyClick(Find<common::TListView>(f, "ListView1"), Qt::Key_Delete); // nothing selected
    EXPECT_TRUE(boxes.Seen.empty());
    Find<common::TListView>(f, "ListView1")->SelectRow(0);
    for (auto mods : {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier}) {
        QTest::keyClick(Find<common::TListView>(f, "ListView1"), Qt::Key_Delete, mods);
        EXPECT_TRUE(boxes.Seen.empty()) << mods;
    }
    QTest::keyClick(Find<common::TListView>(f, "ListView1"), Qt::Key_Backspace);
    // Nor while a mouse button is held.
    QTest::mousePress(Find<common::TListView>(f, "ListView1")->viewport(), Qt::RightButton, {},
                      RowCentre(f, 0));
    QTest::keyClick(Find<common::TListView>(f, "ListView1"), Qt::Key_Delete);
    QTest::mouseRelease(Find<common::TListView>(f, "ListView1")->viewport(), Qt::RightButton, {},
                        RowCentre(f, 0));
    EXPECT_TRUE(boxes.Seen.empty());
    ASSERT_EQ(Find<common::TListView>(f, "ListView1")->SelectedRow(), 0);

    // Plain Delete, the keypad's Delete, the button and the menu item ask.
    QTest::keyClick(Find<common::TListView>(f, "ListView1"), Qt::Key_Delete);
    QTest::keyClick(Find<common::TListView>(f, "ListView1"), Qt::Key_Delete, Qt::KeypadModifier);
    Find<QPushButton>(f, "Button3")->click();
    Find<QAction>(f, "Item31")->trigger();
    ASSERT_EQ(boxes.Seen.size(), 4u);
    for (const auto& box : boxes.Seen) {
        EXPECT_EQ(box.Text, QStringLiteral("Are you sure you want to delete this item?"));
        EXPECT_EQ(box.Caption, QStringLiteral("Client Administrator"));
        EXPECT_EQ(box.Icon, common::TMsgIcon::Warning);
        EXPECT_EQ(box.Buttons, common::TMsgButtons::YesNo);
        EXPECT_EQ(box.Owner, &f);
    }
    // No: store and list unchanged.
    EXPECT_EQ(form.Rows().Count(), 1);
    EXPECT_TRUE(Exists(scUser, "One"));
    EXPECT_EQ(Find<common::TListView>(f, "ListView1")->SelectedRow(), 0);
}

TEST(AdminMainForm, DeleteRemovesTheKeyOfTheRowsOwnScope) {
    testsupport::TTempStore store;
    Define(scUser, "Shared");
    Define(scSystem, "Shared");
    Define(scSystem, "Other");
    TMessageBoxes boxes;
    TFormGuard form;
    TForm1& f = *form.Form;

    Find<common::TListView>(f, "ListView1")
        ->SelectRow(form.Find(QStringLiteral("Shared"), QStringLiteral("System")));
    Find<QPushButton>(f, "Button3")->click();
    ASSERT_EQ(boxes.Seen.size(), 1u);
    EXPECT_FALSE(Exists(scSystem, "Shared"));
    EXPECT_TRUE(Exists(scUser, "Shared"));
    EXPECT_EQ(form.Find(QStringLiteral("Shared"), QStringLiteral("System")), -1);
    EXPECT_EQ(form.Rows().Count(), 2);
    // The next row is not selected in its place.
    EXPECT_EQ(Find<common::TListView>(f, "ListView1")->SelectedRow(), -1);
    EXPECT_EQ(States(f), NoneSelected);

    // Only the exact Type text "System" means System.
    int other = form.Find(QStringLiteral("Other"), QStringLiteral("System"));
    form.Rows().SetText(other, 4, QStringLiteral("system"));
    Find<common::TListView>(f, "ListView1")->SelectRow(other);
    Find<QAction>(f, "Item31")->trigger();
    ASSERT_EQ(boxes.Seen.size(), 3u);
    EXPECT_EQ(boxes.Seen[2].Text, QStringLiteral("Cannot delete Component Broker details."));
    EXPECT_TRUE(Exists(scSystem, "Other"));
}

TEST(AdminMainForm, DeletingAKeyThatIsGoneShowsTheFailureAndKeepsTheRow) {
    testsupport::TTempStore store;
    Define(scUser, "Gone");
    TMessageBoxes boxes;
    TFormGuard form;
    ASSERT_TRUE(brokerstore::DeleteBrokerDefinition(scUser, "Gone")); // another program
    Find<common::TListView>(form, "ListView1")->SelectRow(0);
    QTest::keyClick(Find<common::TListView>(form, "ListView1"), Qt::Key_Delete);
    ASSERT_EQ(boxes.Seen.size(), 2u);
    const auto& failure = boxes.Seen[1];
    EXPECT_EQ(failure.Text, QStringLiteral("Cannot delete Component Broker details."));
    EXPECT_EQ(failure.Caption, QStringLiteral("Gone"));
    EXPECT_EQ(failure.Icon, common::TMsgIcon::Error);
    EXPECT_EQ(failure.Buttons, common::TMsgButtons::Ok);
    EXPECT_EQ(form.Rows().Count(), 1);
    EXPECT_EQ(Find<common::TListView>(form, "ListView1")->SelectedRow(), 0);
}

TEST(AdminStartup, ApplicationTitleNameAndIcon) {
    auto* app = common::TWDXApplication::Instance();
    ASSERT_NE(app, nullptr);
    app->Start(Program);
    EXPECT_EQ(app->Title(), QStringLiteral("NPX Client Administrator"));
    EXPECT_EQ(QApplication::applicationName(), QStringLiteral("WDXClntAdmin"));
    EXPECT_EQ(QApplication::font().family(), QStringLiteral("MS Sans Serif"));
    const QList<QSize> sizes = QApplication::windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)) && sizes.contains(QSize(32, 32)));
    // An exception escaping a handler is reported under the program's title.
    TMessageBoxes boxes;
    app->ShowException(QStringLiteral("broken"));
    ASSERT_EQ(boxes.Seen.size(), 1u);
    EXPECT_EQ(boxes.Seen[0].Caption, QStringLiteral("NPX Client Administrator"));
}
