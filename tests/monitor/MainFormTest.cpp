#include "support/TempStore.h"
#include "brokerstore/BrokerStore.h"
#include "common/widgets/ListView.h"
#include "common/widgets/MessageService.h"
#include "common/widgets/UpDown.h"
#include "monitor/MainForm.h"
#include "monitor/Startup.h"

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

namespace {

// Temporary store files for one test, and broker definitions in them.
class TTempStores : public testsupport::TTempStore {
public:
    QString UserPath() const { return QString::fromStdString(TTempStore::UserPath()); }
    QString SystemPath() const { return QString::fromStdString(TTempStore::SystemPath()); }
    static void Define(brokerstore::TBrokerScope Scope, const std::string& Name) {
        brokerstore::TBrokerDefinition def;
        def.Name = Name;
        def.Scope = Scope;
        def.HostName = "localhost";
        def.Port = "7563";
        def.TimeOut = "30";
        ASSERT_TRUE(brokerstore::WriteBrokerDefinition(def)) << Name;
    }
};

// Collects every message box; answers OK.
struct TBoxes {
    std::vector<common::TMessageRequest> Seen;
    common::TMessageHandlerScope Scope{[this](const common::TMessageRequest& R) {
        Seen.push_back(R);
        return common::TMsgAnswer::Ok;
    }};
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
    TBoxes boxes;
    TFormGuard form;
    TForm1& f = *form.Form;

    EXPECT_TRUE(boxes.Seen.empty());
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.windowTitle(), "Corvanta Component Broker Monitor");
    EXPECT_EQ(f.PageControl1->count(), 1);
    EXPECT_EQ(f.PageControl1->currentWidget(), f.TabSheet1);
    EXPECT_EQ(f.PageControl1->tabText(0), "General");
    EXPECT_EQ(f.Label1->text(), "Corvanta Component Broker Monitor");
    EXPECT_EQ(f.Label2->text(), "Type:");
    EXPECT_EQ(f.Label3->text(), "Corvanta Component Adapters");
    EXPECT_EQ(f.Label4->text(), "Component Broker:");
    EXPECT_EQ(f.Label5->text(), "Interval (s):");
    EXPECT_EQ(f.GroupBox1->title(), "Components");
    EXPECT_EQ(f.GroupBox2->title(), "Services");
    EXPECT_EQ(f.GroupBox3->title(), "Refresh");
    EXPECT_EQ(f.cbRefresh->text(), "Automatic");
    EXPECT_EQ(f.RefreshBtn->text(), "&Refresh");
    EXPECT_EQ(f.CloseBtn->text(), "&Close");
    EXPECT_EQ(f.HelpBtn->text(), "&Help");
    EXPECT_EQ(f.DisconnectBtn->text(), "Disconnect");
    EXPECT_EQ(f.lblVersion->text(), "Version:");
    EXPECT_FALSE(f.lblVersion->isVisible());
    EXPECT_TRUE(f.lblVersionDisplay->text().isEmpty());
    EXPECT_EQ(f.Item11->text(), "&Details...");
    EXPECT_EQ(f.Item12->text(), "&Details...");
    EXPECT_EQ(f.PopupMenu1->actions(), QList<QAction*>{f.Item11});
    EXPECT_EQ(f.PopupMenu2->actions(), QList<QAction*>{f.Item12});

    EXPECT_EQ(Headers(f.ListView1),
              (QStringList{"Name", "Active", "Maximum", "Requests", "Queued", "Queue t", "Service t"}));
    EXPECT_EQ(Headers(f.ListView2), (QStringList{"Name", "Requests", "Queued", "Queue t", "Service t"}));
    EXPECT_EQ(f.ListView1->columnWidth(0), 100);
    EXPECT_EQ(f.ListView1->columnWidth(6), 60);
    EXPECT_EQ(f.ListView2->columnWidth(4), 60);
    EXPECT_EQ(f.ListView1->model()->rowCount(), 0);
    EXPECT_EQ(f.ListView2->model()->rowCount(), 0);
    EXPECT_FALSE(f.ListView1->HideSelection());
    EXPECT_TRUE(f.ListView2->HideSelection());

    EXPECT_FALSE(f.ComboBox1->isEditable());
    EXPECT_EQ(Items(f.ComboBox1), QStringList{"(None)"});
    EXPECT_EQ(f.ComboBox1->currentIndex(), 0);

    EXPECT_FALSE(f.cbRefresh->isChecked());
    EXPECT_TRUE(f.cbRefresh->isEnabled());
    EXPECT_EQ(f.Edit2->text(), "10");
    for (QWidget* w : std::initializer_list<QWidget*>{f.Label5, f.Edit2, f.UpDown1, f.RefreshBtn, f.DisconnectBtn})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_TRUE(f.CloseBtn->isEnabled());
    EXPECT_TRUE(f.HelpBtn->isEnabled());
    EXPECT_FALSE(f.Timer1->isActive());
    EXPECT_EQ(f.UpDown1->Associate(), f.Edit2);
    EXPECT_EQ(f.UpDown1->Min(), 1);
    EXPECT_EQ(f.UpDown1->Max(), 3600);
    EXPECT_EQ(f.UpDown1->Increment(), 1);
    EXPECT_FALSE(f.UpDown1->Wrap());

    EXPECT_FALSE(f.DebugMode);
    EXPECT_TRUE(f.BrokerName.isEmpty());
    EXPECT_TRUE(f.CurrentComponent.isEmpty());
    EXPECT_TRUE(f.CurrentService.isEmpty());

    // Every control is found by its name, and none still shows the
    // placeholder text of the window's definition.
    for (const char* name : {"PageControl1", "TabSheet1", "Image1", "Label1", "Bevel1", "Label2", "Label3", "Label4",
                             "ComboBox1", "lblVersion", "lblVersionDisplay", "DisconnectBtn", "Bevel2", "GroupBox3",
                             "cbRefresh", "Label5", "Edit2", "UpDown1", "RefreshBtn", "GroupBox1", "ListView1",
                             "GroupBox2", "ListView2", "CloseBtn", "HelpBtn", "Timer1", "PopupMenu1", "Item11",
                             "PopupMenu2", "Item12"})
        EXPECT_NE(f.findChild<QObject*>(name), nullptr) << name;
    for (QWidget* w : f.findChildren<QWidget*>()) {
        QString text = w->property("text").toString() + w->property("title").toString();
        EXPECT_FALSE(!w->objectName().isEmpty() && text == w->objectName()) << w->objectName().toStdString();
    }
    // Controls without a text of their own carry their label's.
    EXPECT_EQ(f.ComboBox1->accessibleName(), "Component Broker:");
    EXPECT_EQ(f.Edit2->accessibleName(), "Interval (s):");
    EXPECT_EQ(f.UpDown1->accessibleName(), "Interval (s):");
    EXPECT_EQ(f.ListView1->accessibleName(), "Components");
    EXPECT_EQ(f.ListView2->accessibleName(), "Services");
}

TEST(MonitorMainForm, WindowIsFixedCentredAndCarriesTheProductIcon) {
    TTempStores stores;
    TBoxes boxes;
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

    EXPECT_EQ(f.Image1->size(), QSize(33, 33));
    EXPECT_EQ(f.Image1->pixmap().size(), QSize(32, 32));
    EXPECT_EQ(f.Image1->pixmap().toImage(), f.LoadIconImage("ICON_VKR", 32).toImage());
    EXPECT_TRUE(f.windowIcon().availableSizes().contains(QSize(16, 16)));
    EXPECT_EQ(f.font().family(), "MS Sans Serif");
    EXPECT_EQ(f.font().pointSize(), 8);
}

TEST(MonitorMainForm, KeyboardOrder) {
    TTempStores stores;
    TBoxes boxes;
    TFormGuard form;
    TForm1& f = *form.Form;
    // Walk the focus chain once round, keeping the controls Tab can reach
    // (disabled ones included: they keep their place).
    QStringList order;
    QWidget* w = f.ComboBox1;
    do {
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(&f) && w->window() == &f)
            order << w->objectName();
        w = w->nextInFocusChain();
    } while (w != f.ComboBox1);
    EXPECT_EQ(order, (QStringList{"ComboBox1", "cbRefresh", "Edit2", "UpDown1", "RefreshBtn", "ListView1",
                                  "ListView2", "DisconnectBtn", "CloseBtn", "HelpBtn"}));
}

TEST(MonitorMainForm, SelectorListsUserNamesThenSystemNamesWithoutMerging) {
    TTempStores stores;
    TTempStores::Define(brokerstore::scSystem, "Shared");
    TTempStores::Define(brokerstore::scSystem, "Plant");
    TTempStores::Define(brokerstore::scUser, "Shared");
    TTempStores::Define(brokerstore::scUser, "Mine");
    TBoxes boxes;
    TFormGuard form;

    QStringList expected{"(None)"};
    for (auto scope : {brokerstore::scUser, brokerstore::scSystem})
        for (const std::string& name : brokerstore::ListBrokerNames(scope))
            expected << QString::fromStdString(name);
    EXPECT_EQ(Items(form->ComboBox1), expected);
    EXPECT_EQ(Items(form->ComboBox1).count("Shared"), 2);
    EXPECT_EQ(expected.size(), 5);
    // The User names come first.
    EXPECT_TRUE(expected.indexOf("Mine") < expected.indexOf("Plant"));
    EXPECT_TRUE(expected.indexOf("Shared") < expected.indexOf("Plant"));
    EXPECT_EQ(form->ComboBox1->currentIndex(), 0);
    EXPECT_TRUE(boxes.Seen.empty());
}

TEST(MonitorMainForm, NoStoreFilesGiveAnEmptySelectorAndStayUncreated) {
    TTempStores stores;
    TBoxes boxes;
    TFormGuard form;
    EXPECT_EQ(Items(form->ComboBox1), QStringList{"(None)"});
    EXPECT_TRUE(boxes.Seen.empty());
    // The monitor only reads the store.
    EXPECT_FALSE(QFile::exists(stores.UserPath()));
    EXPECT_FALSE(QFile::exists(stores.SystemPath()));
}

TEST(MonitorMainForm, DamagedStoreFileStillOpensTheWindowWithWhatCouldBeRead) {
    TTempStores stores;
    TTempStores::Define(brokerstore::scSystem, "Plant");
    {
        QFile damaged(stores.UserPath());
        ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
        damaged.write(QByteArray(4096, '\x5a'));
    }
    TBoxes boxes;
    TFormGuard form;
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(Items(form->ComboBox1), (QStringList{"(None)", "Plant"}));
    EXPECT_EQ(form->ComboBox1->currentIndex(), 0);
}

TEST(MonitorCommandLine, DebugSwitchInAnyCaseAndTheUsageMessageOtherwise) {
    TBoxes boxes;
    QWidget owner;
    EXPECT_FALSE(monitor::ReadCommandLine({}, &owner));
    for (const char* arg : {"-debug", "-DEBUG", "-DeBuG"})
        EXPECT_TRUE(monitor::ReadCommandLine({arg}, &owner)) << arg;
    EXPECT_TRUE(boxes.Seen.empty());

    const QList<QStringList> wrong{{"-debug", "extra"}, {"/debug"}, {"debug"}, {"-debugx"}, {""}, {"--debug"}};
    for (const QStringList& args : wrong) {
        boxes.Seen.clear();
        EXPECT_FALSE(monitor::ReadCommandLine(args, &owner)) << args.join(' ').toStdString();
        ASSERT_EQ(boxes.Seen.size(), 1u) << args.join(' ').toStdString();
        EXPECT_EQ(boxes.Seen[0].Text, "Usage: WDXMonitor [-debug]");
        EXPECT_EQ(boxes.Seen[0].Caption, "WDXMonitor");
        EXPECT_EQ(boxes.Seen[0].Icon, common::TMsgIcon::Error);
        EXPECT_EQ(boxes.Seen[0].Buttons, common::TMsgButtons::Ok);
        EXPECT_EQ(boxes.Seen[0].Owner, &owner);
    }
}

TEST(MonitorCommandLine, TheWindowReadsItOnceShownAndRunsOnAfterTheUsageMessage) {
    TTempStores stores;
    {
        TBoxes boxes;
        TFormGuard form({"-Debug"});
        EXPECT_TRUE(form->DebugMode);
        EXPECT_TRUE(boxes.Seen.empty());
    }
    TBoxes boxes;
    bool shownBeforeBox = false;
    common::TMessageHandlerScope watch([&](const common::TMessageRequest& R) {
        shownBeforeBox = R.Owner && R.Owner->isVisible() && qobject_cast<TForm1*>(R.Owner);
        boxes.Seen.push_back(R);
        return common::TMsgAnswer::Ok;
    });
    TFormGuard form({"-debug", "-debug"});
    ASSERT_EQ(boxes.Seen.size(), 1u);
    EXPECT_TRUE(shownBeforeBox);
    EXPECT_FALSE(form->DebugMode);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->Edit2->text(), "10");
}

TEST(MonitorMainForm, EscapeLeavesTheWindowOpenAndClosingFreesIt) {
    TTempStores stores;
    TBoxes boxes;
    TFormGuard form;
    QTest::keyClick(form.Form, Qt::Key_Escape);
    EXPECT_TRUE(form->isVisible());
    form->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.Form.isNull(); }, 2000));
}
