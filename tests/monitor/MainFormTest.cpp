#include "monitor/MainForm.h"
#include "brokerstore/BrokerStore.h"
#include "common/widgets/ListView.h"
#include "common/widgets/MessageService.h"
#include "common/widgets/UpDown.h"
#include "monitor/Startup.h"
#include "support/BrokerDefinitions.h"
#include "support/Controls.h"
#include "support/MessageBoxes.h"
#include "support/TempStore.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace wdx;
using monitor::TForm1;
using testsupport::Define;
using testsupport::Find;
using testsupport::TMessageBoxes;

namespace {

// Temporary store files for one test.
class TTempStores : public testsupport::TTempStore {
public:
    QString UserPath() const { return QString::fromStdString(TTempStore::UserPath()); }
    QString SystemPath() const { return QString::fromStdString(TTempStore::SystemPath()); }
};

// The window frees itself when it closes; this frees it otherwise.
struct TFormGuard {
    QPointer<TForm1> Form;
    explicit TFormGuard(const QStringList& Args = {}) : Form(new TForm1(Args)) {}
    ~TFormGuard() { delete Form.data(); }
    TForm1* operator->() const { return Form.data(); }
};

QStringList Items(const QComboBox* Box) {
    QStringList items;
    for (int i = 0; i < Box->count(); ++i)
        items << Box->itemText(i);
    return items;
}

QStringList Headers(const common::TListView* List) {
    QStringList titles;
    for (int c = 0; c < List->model()->columnCount(); ++c)
        titles << List->model()->headerData(c, Qt::Horizontal).toString();
    return titles;
}

} // namespace

TEST(MonitorMainForm, EveryControlStartsWithItsTextAndState) {
    TTempStores stores;
    TMessageBoxes boxes;
    TFormGuard form;
    TForm1& f = *form.Form;

    EXPECT_TRUE(boxes.Seen.empty());
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Corvanta Component Broker Monitor"));
    EXPECT_EQ(Find<QTabWidget>(f, "PageControl1")->count(), 1);
    EXPECT_EQ(Find<QTabWidget>(f, "PageControl1")->currentWidget(), Find<QWidget>(f, "TabSheet1"));
    EXPECT_EQ(Find<QTabWidget>(f, "PageControl1")->tabText(0), QStringLiteral("General"));
    EXPECT_EQ(Find<QLabel>(f, "Label1")->text(), QStringLiteral("Corvanta Component Broker Monitor"));
    EXPECT_EQ(Find<QLabel>(f, "Label2")->text(), QStringLiteral("Type:"));
    EXPECT_EQ(Find<QLabel>(f, "Label3")->text(), QStringLiteral("Corvanta Component Adapters"));
    EXPECT_EQ(Find<QLabel>(f, "Label4")->text(), QStringLiteral("Component Broker:"));
    EXPECT_EQ(Find<QLabel>(f, "Label5")->text(), QStringLiteral("Interval (s):"));
    EXPECT_EQ(Find<QGroupBox>(f, "GroupBox1")->title(), QStringLiteral("Components"));
    EXPECT_EQ(Find<QGroupBox>(f, "GroupBox2")->title(), QStringLiteral("Services"));
    EXPECT_EQ(Find<QGroupBox>(f, "GroupBox3")->title(), QStringLiteral("Refresh"));
    EXPECT_EQ(Find<QCheckBox>(f, "cbRefresh")->text(), QStringLiteral("Automatic"));
    EXPECT_EQ(Find<QPushButton>(f, "RefreshBtn")->text(), QStringLiteral("&Refresh"));
    EXPECT_EQ(Find<QPushButton>(f, "CloseBtn")->text(), QStringLiteral("&Close"));
    EXPECT_EQ(Find<QPushButton>(f, "HelpBtn")->text(), QStringLiteral("&Help"));
    EXPECT_EQ(Find<QPushButton>(f, "DisconnectBtn")->text(), QStringLiteral("Disconnect"));
    EXPECT_EQ(Find<QLabel>(f, "lblVersion")->text(), QStringLiteral("Version:"));
    EXPECT_FALSE(Find<QLabel>(f, "lblVersion")->isVisible());
    EXPECT_TRUE(Find<QLabel>(f, "lblVersionDisplay")->text().isEmpty());
    EXPECT_EQ(Find<QAction>(f, "Item11")->text(), QStringLiteral("&Details..."));
    EXPECT_EQ(Find<QAction>(f, "Item12")->text(), QStringLiteral("&Details..."));
    EXPECT_EQ(Find<QMenu>(f, "PopupMenu1")->actions(), QList<QAction*>{Find<QAction>(f, "Item11")});
    EXPECT_EQ(Find<QMenu>(f, "PopupMenu2")->actions(), QList<QAction*>{Find<QAction>(f, "Item12")});

    EXPECT_EQ(Headers(Find<common::TListView>(f, "ListView1")),
              (QStringList{QStringLiteral("Name"), QStringLiteral("Active"), QStringLiteral("Maximum"),
                           QStringLiteral("Requests"), QStringLiteral("Queued"), QStringLiteral("Queue t"),
                           QStringLiteral("Service t")}));
    EXPECT_EQ(Headers(Find<common::TListView>(f, "ListView2")),
              (QStringList{QStringLiteral("Name"), QStringLiteral("Requests"), QStringLiteral("Queued"),
                           QStringLiteral("Queue t"), QStringLiteral("Service t")}));
    EXPECT_EQ(Find<common::TListView>(f, "ListView1")->columnWidth(0), 100);
    EXPECT_EQ(Find<common::TListView>(f, "ListView1")->columnWidth(6), 60);
    EXPECT_EQ(Find<common::TListView>(f, "ListView2")->columnWidth(4), 60);
    EXPECT_EQ(Find<common::TListView>(f, "ListView1")->model()->rowCount(), 0);
    EXPECT_EQ(Find<common::TListView>(f, "ListView2")->model()->rowCount(), 0);
    EXPECT_FALSE(Find<common::TListView>(f, "ListView1")->HideSelection());
    EXPECT_TRUE(Find<common::TListView>(f, "ListView2")->HideSelection());

    EXPECT_FALSE(Find<QComboBox>(f, "ComboBox1")->isEditable());
    EXPECT_EQ(Items(Find<QComboBox>(f, "ComboBox1")), QStringList{QStringLiteral("(None)")});
    EXPECT_EQ(Find<QComboBox>(f, "ComboBox1")->currentIndex(), 0);

    EXPECT_FALSE(Find<QCheckBox>(f, "cbRefresh")->isChecked());
    EXPECT_TRUE(Find<QCheckBox>(f, "cbRefresh")->isEnabled());
    EXPECT_EQ(Find<QLineEdit>(f, "Edit2")->text(), QStringLiteral("10"));
    for (QWidget* w : std::initializer_list<QWidget*>{
             Find<QLabel>(f, "Label5"), Find<QLineEdit>(f, "Edit2"), Find<common::TUpDown>(f, "UpDown1"),
             Find<QPushButton>(f, "RefreshBtn"), Find<QPushButton>(f, "DisconnectBtn")})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_TRUE(Find<QPushButton>(f, "CloseBtn")->isEnabled());
    EXPECT_TRUE(Find<QPushButton>(f, "HelpBtn")->isEnabled());
    EXPECT_FALSE(Find<QTimer>(f, "Timer1")->isActive());
    EXPECT_EQ(Find<common::TUpDown>(f, "UpDown1")->Associate(), Find<QLineEdit>(f, "Edit2"));
    EXPECT_EQ(Find<common::TUpDown>(f, "UpDown1")->Min(), 1);
    EXPECT_EQ(Find<common::TUpDown>(f, "UpDown1")->Max(), 3600);
    EXPECT_EQ(Find<common::TUpDown>(f, "UpDown1")->Increment(), 1);
    EXPECT_FALSE(Find<common::TUpDown>(f, "UpDown1")->Wrap());

    EXPECT_FALSE(f.DebugMode);
    EXPECT_TRUE(f.BrokerName.isEmpty());
    EXPECT_TRUE(f.CurrentComponent.isEmpty());
    EXPECT_TRUE(f.CurrentService.isEmpty());

    // Every control is found by its name, and none still shows the
    // placeholder text of the window's definition.
    for (const char* name : {"PageControl1",
                             "TabSheet1",
                             "Image1",
                             "Label1",
                             "Bevel1",
                             "Label2",
                             "Label3",
                             "Label4",
                             "ComboBox1",
                             "lblVersion",
                             "lblVersionDisplay",
                             "DisconnectBtn",
                             "Bevel2",
                             "GroupBox3",
                             "cbRefresh",
                             "Label5",
                             "Edit2",
                             "UpDown1",
                             "RefreshBtn",
                             "GroupBox1",
                             "ListView1",
                             "GroupBox2",
                             "ListView2",
                             "CloseBtn",
                             "HelpBtn",
                             "Timer1",
                             "PopupMenu1",
                             "Item11",
                             "PopupMenu2",
                             "Item12"})
        EXPECT_NE(f.findChild<QObject*>(QString::fromUtf8(name)), nullptr) << name;
    for (QWidget* w : f.findChildren<QWidget*>()) {
        QString text = w->property("text").toString() + w->property("title").toString();
        EXPECT_FALSE(!w->objectName().isEmpty() && text == w->objectName()) << w->objectName().toStdString();
    }
    // Controls without a text of their own carry their label's.
    EXPECT_EQ(Find<QComboBox>(f, "ComboBox1")->accessibleName(), QStringLiteral("Component Broker:"));
    EXPECT_EQ(Find<QLineEdit>(f, "Edit2")->accessibleName(), QStringLiteral("Interval (s):"));
    EXPECT_EQ(Find<common::TUpDown>(f, "UpDown1")->accessibleName(), QStringLiteral("Interval (s):"));
    EXPECT_EQ(Find<common::TListView>(f, "ListView1")->accessibleName(), QStringLiteral("Components"));
    EXPECT_EQ(Find<common::TListView>(f, "ListView2")->accessibleName(), QStringLiteral("Services"));
}

TEST(MonitorMainForm, WindowIsFixedCentredAndCarriesTheProductIcon) {
    TTempStores stores;
    TMessageBoxes boxes;
    TFormGuard form;
    TForm1& f = *form.Form;

    EXPECT_EQ(f.size(), QSize(525, 502));
    EXPECT_EQ(f.minimumSize(), f.maximumSize());
    Qt::WindowFlags flags = f.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    // The whole window, frame included, is centred.
    EXPECT_LE((f.frameGeometry().center() - area.center()).manhattanLength(), 4);
    EXPECT_EQ(f.HelpContext(), 118);

    EXPECT_EQ(Find<QLabel>(f, "Image1")->size(), QSize(33, 33));
    EXPECT_EQ(Find<QLabel>(f, "Image1")->pixmap().size(), QSize(32, 32));
    EXPECT_EQ(Find<QLabel>(f, "Image1")->pixmap().toImage(),
              f.LoadIconImage(QStringLiteral("ICON_VKR"), 32).toImage());
    EXPECT_TRUE(f.windowIcon().availableSizes().contains(QSize(16, 16)));
    EXPECT_EQ(f.font().family(), QStringLiteral("MS Sans Serif"));
    EXPECT_EQ(f.font().pointSize(), 8);
}

TEST(MonitorMainForm, KeyboardOrder) {
    TTempStores stores;
    TMessageBoxes boxes;
    TFormGuard form;
    TForm1& f = *form.Form;
    // Walk the focus chain once round, keeping the controls Tab can reach
    // (disabled ones included: they keep their place).
    QStringList order;
    QWidget* w = Find<QComboBox>(f, "ComboBox1");
    do {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(&f) && w->window() == &f)
            order << w->objectName();
        w = w->nextInFocusChain();
    } while (w != Find<QComboBox>(f, "ComboBox1"));
    EXPECT_EQ(order, (QStringList{QStringLiteral("ComboBox1"), QStringLiteral("cbRefresh"),
                                  QStringLiteral("Edit2"), QStringLiteral("UpDown1"),
                                  QStringLiteral("RefreshBtn"), QStringLiteral("ListView1"),
                                  QStringLiteral("ListView2"), QStringLiteral("DisconnectBtn"),
                                  QStringLiteral("CloseBtn"), QStringLiteral("HelpBtn")}));
}

TEST(MonitorMainForm, SelectorListsUserNamesThenSystemNamesWithoutMerging) {
    TTempStores stores;
    Define(brokerstore::scSystem, "Shared");
    Define(brokerstore::scSystem, "Plant");
    Define(brokerstore::scUser, "Shared");
    Define(brokerstore::scUser, "Mine");
    TMessageBoxes boxes;
    TFormGuard form;

    QStringList expected{QStringLiteral("(None)")};
    for (auto scope : {brokerstore::scUser, brokerstore::scSystem})
        for (const std::string& name : brokerstore::ListBrokerNames(scope))
            expected << QString::fromStdString(name);
    EXPECT_EQ(Items(Find<QComboBox>(form, "ComboBox1")), expected);
    EXPECT_EQ(Items(Find<QComboBox>(form, "ComboBox1")).count(QStringLiteral("Shared")), 2);
    EXPECT_EQ(expected.size(), 5);
    // The User names come first.
    EXPECT_TRUE(expected.indexOf(QStringLiteral("Mine")) < expected.indexOf(QStringLiteral("Plant")));
    EXPECT_TRUE(expected.indexOf(QStringLiteral("Shared")) < expected.indexOf(QStringLiteral("Plant")));
    EXPECT_EQ(Find<QComboBox>(form, "ComboBox1")->currentIndex(), 0);
    EXPECT_TRUE(boxes.Seen.empty());
}

TEST(MonitorMainForm, NoStoreFilesGiveAnEmptySelectorAndStayUncreated) {
    TTempStores stores;
    TMessageBoxes boxes;
    TFormGuard form;
    EXPECT_EQ(Items(Find<QComboBox>(form, "ComboBox1")), QStringList{QStringLiteral("(None)")});
    EXPECT_TRUE(boxes.Seen.empty());
    // The monitor only reads the store.
    EXPECT_FALSE(QFile::exists(stores.UserPath()));
    EXPECT_FALSE(QFile::exists(stores.SystemPath()));
}

TEST(MonitorMainForm, DamagedStoreFileStillOpensTheWindowWithWhatCouldBeRead) {
    TTempStores stores;
    Define(brokerstore::scSystem, "Plant");
    {
        QFile damaged(stores.UserPath());
        ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
        damaged.write(QByteArray(4096, '\x5a'));
    }
    TMessageBoxes boxes;
    TFormGuard form;
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(Items(Find<QComboBox>(form, "ComboBox1")),
              (QStringList{QStringLiteral("(None)"), QStringLiteral("Plant")}));
    EXPECT_EQ(Find<QComboBox>(form, "ComboBox1")->currentIndex(), 0);
}

TEST(MonitorCommandLine, DebugSwitchInAnyCaseAndTheUsageMessageOtherwise) {
    TMessageBoxes boxes;
    QWidget owner;
    EXPECT_FALSE(monitor::ReadCommandLine({}, &owner));
    for (const char* arg : {"-debug", "-DEBUG", "-DeBuG"})
        EXPECT_TRUE(monitor::ReadCommandLine({QString::fromUtf8(arg)}, &owner)) << arg;
    EXPECT_TRUE(boxes.Seen.empty());

    const QList<QStringList> wrong{{QStringLiteral("-debug"), QStringLiteral("extra")},
                                   {QStringLiteral("/debug")},
                                   {QStringLiteral("debug")},
                                   {QStringLiteral("-debugx")},
                                   {QStringLiteral("")},
                                   {QStringLiteral("--debug")}};
    for (const QStringList& args : wrong) {
        boxes.Seen.clear();
        EXPECT_FALSE(monitor::ReadCommandLine(args, &owner)) << args.join(u' ').toStdString();
        ASSERT_EQ(boxes.Seen.size(), 1u) << args.join(u' ').toStdString();
        EXPECT_EQ(boxes.Seen[0].Text, QStringLiteral("Usage: WDXMonitor [-debug]"));
        EXPECT_EQ(boxes.Seen[0].Caption, QStringLiteral("WDXMonitor"));
        EXPECT_EQ(boxes.Seen[0].Icon, common::TMsgIcon::Error);
        EXPECT_EQ(boxes.Seen[0].Buttons, common::TMsgButtons::Ok);
        EXPECT_EQ(boxes.Seen[0].Owner, &owner);
    }
}

TEST(MonitorCommandLine, TheWindowReadsItOnceShownAndRunsOnAfterTheUsageMessage) {
    TTempStores stores;
    {
        TMessageBoxes boxes;
        TFormGuard form({QStringLiteral("-Debug")});
        EXPECT_TRUE(form->DebugMode);
        EXPECT_TRUE(boxes.Seen.empty());
    }
    TMessageBoxes boxes;
    bool shownBeforeBox = false;
    boxes.WhileOpen = [&](const common::TMessageRequest& R) {
        shownBeforeBox = R.Owner && R.Owner->isVisible() && qobject_cast<TForm1*>(R.Owner);
    };
    TFormGuard form({QStringLiteral("-debug"), QStringLiteral("-debug")});
    ASSERT_EQ(boxes.Seen.size(), 1u);
    EXPECT_TRUE(shownBeforeBox);
    EXPECT_FALSE(form->DebugMode);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(Find<QLineEdit>(form, "Edit2")->text(), QStringLiteral("10"));
}

TEST(MonitorMainForm, EscapeLeavesTheWindowOpenAndClosingFreesIt) {
    TTempStores stores;
    TMessageBoxes boxes;
    TFormGuard form;
    QTest::keyClick(form.Form, Qt::Key_Escape);
    EXPECT_TRUE(form->isVisible());
    form->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.Form.isNull(); }, 2000));
}
