#include "ChmSample.h"
#include "FakeHelpService.h"

#include "clntadmin/ClntAdminHelpTopics.h"
#include "clntadmin/ClntAdminStrings.h"
#include "common/StdForm.h"
#include "common/help/ChmHelpService.h"
#include "common/help/HelpFile.h"
#include "common/help/HelpRouter.h"
#include "common/help/HelpWindow.h"
#include "common/widgets/MessageService.h"
#include "monitor/MonitorHelpTopics.h"
#include "monitor/MonitorStrings.h"
#include "support/MessageBoxes.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <memory>

using namespace wdx::common;
using wdx::test::TFakeHelpService;
using wdx::test::TRouterPtr;
namespace monitorhc = wdx::monitor::hc;
namespace adminhc = wdx::clntadmin::hc;

namespace {

void Touch(const QString& Path) {
    QDir().mkpath(QFileInfo(Path).absolutePath());
    QFile f(Path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
}

// A working directory and the process's current directory of the test's own;
// everything is put back afterwards. The client directory is what the test
// says it is (the programs read it from the store: BrokerStoreTest).
class HelpFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Root.isValid());
        FOldDir = QDir::currentPath();
        Work = Root.filePath(QStringLiteral("apps/work"));
        QDir().mkpath(Work);
        ASSERT_TRUE(QDir::setCurrent(Work));
        SetApplicationOnHelp(nullptr);
        SetApplicationHelpFile({});
    }
    void TearDown() override {
        Router.reset();
        QDir::setCurrent(FOldDir);
        SetApplicationOnHelp(nullptr);
    }

    void SetClientDir(const QString& Dir) { ClientDir = Dir.toStdString(); }
    // The lookup a program hands to the search, counting how often it is asked.
    TClientDirLookup Lookup() {
        return [this] {
            ++Lookups;
            return ClientDir;
        };
    }
    QString Locate() {
        TWDXStdForm form(wdx::monitor::MonitorStrings());
        LocateHelpFile(form, Lookup());
        return FormHelpFile(&form);
    }

    QTemporaryDir Root;
    QString Work; // the current directory: <root>/apps/work
    TRouterPtr Router;
    std::string ClientDir;
    int Lookups = 0;

private:
    QString FOldDir;
};

TEST_F(HelpFileTest, CurrentDirectoryWinsOverTheClientDirectory) {
    Touch(Root.filePath(QStringLiteral("apps/Documentation/NPXDeploy.chm")));
    SetClientDir(Root.filePath(QStringLiteral("apps/client")));
    EXPECT_EQ(Locate(), Root.filePath(QStringLiteral("apps/Documentation/NPXDeploy.chm")));
    EXPECT_EQ(Lookups, 1);
    Touch(Work + QStringLiteral("/NPXDeploy.chm"));
    EXPECT_EQ(Locate(), QStringLiteral("NPXDeploy.chm"));
    EXPECT_EQ(HelpFileCandidate(), QStringLiteral("NPXDeploy.chm"));
    EXPECT_EQ(Lookups, 1); // the client directory is then not read
}

TEST_F(HelpFileTest, DocumentationBesideTheClientDirectory) {
    const QString parentDoc = Root.filePath(QStringLiteral("opt/Documentation/NPXDeploy.chm"));
    const QString innerDoc = Root.filePath(QStringLiteral("opt/client/Documentation/NPXDeploy.chm"));
    Touch(parentDoc);
    Touch(innerDoc);
    SetClientDir(Root.filePath(QStringLiteral("opt/client")));
    EXPECT_EQ(Locate(), parentDoc);
    // A trailing separator keeps the whole directory.
    SetClientDir(Root.filePath(QStringLiteral("opt/client/")));
    EXPECT_EQ(Locate(), innerDoc);
}

TEST_F(HelpFileTest, RelativeFallbackWhenTheClientDirectoryGivesNothing) {
    const QString fallback = QStringLiteral("../Documentation/NPXDeploy.chm");
    Touch(Root.filePath(QStringLiteral("apps/Documentation/NPXDeploy.chm")));

    EXPECT_EQ(Locate(), fallback);          // none stored
    SetClientDir(QStringLiteral("Client")); // no separator
    EXPECT_EQ(Locate(), fallback);
    SetClientDir(QStringLiteral("/Client")); // nothing before it
    EXPECT_EQ(Locate(), fallback);
    EXPECT_EQ(HelpFileCandidate(), fallback);
    // A program that hands in no lookup at all.
    TWDXStdForm form(wdx::monitor::MonitorStrings());
    LocateHelpFile(form, nullptr);
    EXPECT_EQ(FormHelpFile(&form), fallback);
}

TEST_F(HelpFileTest, AnyDirectoryEntryCounts) {
    QDir().mkpath(Work + QStringLiteral("/NPXDeploy.chm"));
    EXPECT_EQ(Locate(), QStringLiteral("NPXDeploy.chm"));
    QDir(Work).rmdir(QStringLiteral("NPXDeploy.chm"));
    ASSERT_TRUE(
        QFile::link(Root.filePath(QStringLiteral("gone.chm")), Work + QStringLiteral("/NPXDeploy.chm")));
    EXPECT_EQ(Locate(), QStringLiteral("NPXDeploy.chm"));
}

TEST_F(HelpFileTest, NoFileNamesTheLastPathTried) {
    SetClientDir(Root.filePath(QStringLiteral("opt/client")));
    EXPECT_TRUE(Locate().isEmpty());
    EXPECT_EQ(HelpFileCandidate(), Root.filePath(QStringLiteral("opt/Documentation/NPXDeploy.chm")));
}

// ---- the Help button -------------------------------------------------------

TEST_F(HelpFileTest, HelpButtonWithoutFileSaysWhereItLooked) {
    for (bool monitor : {true, false}) {
        SCOPED_TRACE(monitor);
        wdx::testsupport::TMessageBoxes boxes;
        TWDXStdForm form(monitor ? wdx::monitor::MonitorStrings() : wdx::clntadmin::ClntAdminStrings());
        form.setWindowTitle(QStringLiteral("Main"));
        LocateHelpFile(form, Lookup());
        HelpBtnClick(form, monitor ? monitorhc::HelpButtonMessages : adminhc::HelpButtonMessages);
        ASSERT_EQ(boxes.Seen.size(), 1u);
        EXPECT_EQ(boxes.Seen[0].Text,
                  QStringLiteral("Cannot find help file: ../Documentation/NPXDeploy.chm"));
        EXPECT_EQ(boxes.Seen[0].Caption, QStringLiteral("Main"));
        EXPECT_EQ(boxes.Seen[0].Owner, &form);
        EXPECT_EQ(boxes.Seen[0].Icon, TMsgIcon::Error);
        EXPECT_EQ(boxes.Seen[0].Buttons, TMsgButtons::Ok);
    }
}

TEST_F(HelpFileTest, HelpButtonAsksForTheWindowsTopic) {
    TFakeHelpService fake;
    THelpServiceScope scope(fake);
    Touch(Work + QStringLiteral("/NPXDeploy.chm"));
    for (bool monitor : {true, false}) {
        SCOPED_TRACE(monitor);
        wdx::testsupport::TMessageBoxes boxes;
        TWDXStdForm form(monitor ? wdx::monitor::MonitorStrings() : wdx::clntadmin::ClntAdminStrings());
        SetHelpContext(&form, monitor ? monitorhc::MainWindow : adminhc::MainWindow);
        Router.reset(CreateHelpRouter1(&form));
        LocateHelpFile(form, Lookup());
        fake.HtmlCalls.clear();
        HelpBtnClick(form, monitor ? monitorhc::HelpButtonMessages : adminhc::HelpButtonMessages);
        EXPECT_TRUE(boxes.Seen.empty());
        ASSERT_EQ(fake.HtmlCalls.size(), 1u);
        EXPECT_EQ(fake.HtmlCalls[0].Command, HH_HELP_CONTEXT);
        EXPECT_EQ(fake.HtmlCalls[0].File, QStringLiteral("NPXDeploy.chm"));
        EXPECT_EQ(fake.NumberOf(fake.HtmlCalls[0]), monitor ? 118 : 116);
        Router.reset();
    }
}

TEST_F(HelpFileTest, HelpButtonReportsAFailedRequestInFull) {
    TFakeHelpService fake;
    THelpServiceScope scope(fake);
    fake.HtmlHelpResult = false;
    // A path far longer than the message's 128 characters.
    const QString deep = Root.filePath(QString(150, u'd') + QStringLiteral("/client"));
    const QString file = QFileInfo(deep).absolutePath() + QStringLiteral("/Documentation/NPXDeploy.chm");
    Touch(file);
    SetClientDir(deep);
    wdx::testsupport::TMessageBoxes boxes;
    TWDXStdForm form(wdx::clntadmin::ClntAdminStrings());
    form.setWindowTitle(QStringLiteral("Client Administrator"));
    SetHelpContext(&form, adminhc::MainWindow);
    Router.reset(CreateHelpRouter1(&form));
    LocateHelpFile(form, Lookup());
    ASSERT_EQ(FormHelpFile(&form), file);
    HelpBtnClick(form, adminhc::HelpButtonMessages);
    ASSERT_EQ(boxes.Seen.size(), 1u);
    EXPECT_EQ(boxes.Seen[0].Text,
              QStringLiteral("Cannot find online help: ") + file + QStringLiteral(" 116."));
    EXPECT_EQ(boxes.Seen[0].Caption, QStringLiteral("Client Administrator"));
    EXPECT_EQ(boxes.Seen[0].Icon, TMsgIcon::Error);

    // Without a router nothing serves the request: the same message.
    Router.reset();
    boxes.Seen.clear();
    HelpBtnClick(form, adminhc::HelpButtonMessages);
    ASSERT_EQ(boxes.Seen.size(), 1u);
    EXPECT_TRUE(boxes.Seen[0].Text.startsWith(QStringLiteral("Cannot find online help: ")));
}

TEST_F(HelpFileTest, TopicMissingInTheRealFile) {
    TChmHelpService service;
    THelpServiceScope scope(service);
    QFile::copy(wdx::test::SampleChm(), Work + QStringLiteral("/NPXDeploy.chm"));
    wdx::testsupport::TMessageBoxes boxes;
    TWDXStdForm form(wdx::monitor::MonitorStrings());
    SetHelpContext(&form, 117); // the sample maps 116 and 118 only
    Router.reset(CreateHelpRouter1(&form));
    LocateHelpFile(form, Lookup());
    HelpBtnClick(form, monitorhc::HelpButtonMessages);
    ASSERT_EQ(boxes.Seen.size(), 1u);
    EXPECT_EQ(boxes.Seen[0].Text, QStringLiteral("Cannot find online help: NPXDeploy.chm 117."));
    EXPECT_TRUE(service.Windows().isEmpty());
}

TEST(FormatResText, FillsInTurn) {
    EXPECT_EQ(FormatResText(QStringLiteral("Cannot find online help: %s %d."), QStringLiteral("a.chm"), 118),
              QStringLiteral("Cannot find online help: a.chm 118."));
    EXPECT_EQ(FormatResText(QStringLiteral("100%% %s %d %s %x"), QStringLiteral("%d"), -5),
              QStringLiteral("100% %d -5 %s %x"));
    EXPECT_EQ(FormatResText(QStringLiteral("Cannot find resource string"), QStringLiteral("x"), 1),
              QStringLiteral("Cannot find resource string"));
}

// ---- F1 and the context-help button ---------------------------------------

class HelpKeysTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetApplicationOnHelp(nullptr);
        Form = std::make_unique<TWDXStdForm>(wdx::monitor::MonitorStrings());
        auto* layout = new QVBoxLayout(Form.get());
        Edit = new QLineEdit(Form.get());
        layout->addWidget(Edit);
        SetFormHelpFile(Form.get(), QStringLiteral("/docs/NPXDeploy.chm"));
        SetHelpContext(Form.get(), monitorhc::MainWindow);
        Router.reset(CreateHelpRouter1(Form.get()));
    }
    void TearDown() override {
        Router.reset();
        Form.reset();
    }
    void ShowAndFocus() {
        Form->show();
        QApplication::setActiveWindow(Form.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get(), 2000));
        Edit->setFocus();
    }

    TFakeHelpService Fake;
    THelpServiceScope Scope{Fake};
    std::unique_ptr<TWDXStdForm> Form;
    QLineEdit* Edit = nullptr;
    TRouterPtr Router;
};

TEST_F(HelpKeysTest, F1OpensTheWindowsTopic) {
    ShowAndFocus();
    QTest::keyClick(Edit, Qt::Key_F1);
    ASSERT_EQ(Fake.HtmlCalls.size(), 1u);
    EXPECT_EQ(Fake.HtmlCalls[0].Command, HH_HELP_CONTEXT);
    EXPECT_EQ(Fake.NumberOf(Fake.HtmlCalls[0]), 118);
    EXPECT_EQ(Fake.HtmlCalls[0].File, QStringLiteral("/docs/NPXDeploy.chm"));

    // With a modifier, F1 is an ordinary key.
    QTest::keyClick(Edit, Qt::Key_F1, Qt::ShiftModifier);
    EXPECT_EQ(Fake.HtmlCalls.size(), 1u);
}

TEST_F(HelpKeysTest, ContextHelpWindowsShowPopups) {
    Form->setWindowFlag(Qt::WindowContextHelpButtonHint);
    SetHelpContext(Edit, 11601);
    ShowAndFocus();
    QTest::keyClick(Edit, Qt::Key_F1);
    ASSERT_EQ(Fake.HtmlCalls.size(), 1u);
    EXPECT_EQ(Fake.HtmlCalls[0].Command, HH_DISPLAY_TEXT_POPUP);
    EXPECT_EQ(Fake.HtmlCalls[0].File, QStringLiteral("/docs/NPXDeploy.chm::/CSHelp.txt"));
    EXPECT_EQ(Fake.PopupOf(Fake.HtmlCalls[0]).idString, 11601u);
    EXPECT_EQ(Fake.PopupOf(Fake.HtmlCalls[0]).pt,
              Edit->mapToGlobal(QPoint(Edit->width() / 2, Edit->height())));

    // A click in context-help mode: the pop-up where the click was.
    QHelpEvent click(QEvent::WhatsThis, QPoint(3, 4), QPoint(123, 145));
    QApplication::sendEvent(Edit, &click);
    ASSERT_EQ(Fake.HtmlCalls.size(), 2u);
    EXPECT_EQ(Fake.PopupOf(Fake.HtmlCalls[1]).pt, QPoint(123, 145));
    EXPECT_EQ(Fake.PopupOf(Fake.HtmlCalls[1]).idString, 11601u);
}

TEST_F(HelpKeysTest, F1InTheMainWindowOpensTheHelpWindow) {
    TChmHelpService service;
    THelpServiceScope real(service);
    Router.reset(); // created again under the real service
    Router.reset(CreateHelpRouter1(Form.get()));
    SetFormHelpFile(Form.get(), QStringLiteral(WDX_HELP_CHM));
    ShowAndFocus();
    QTest::keyClick(Edit, Qt::Key_F1);
    ASSERT_EQ(service.Windows().size(), 1);
    EXPECT_EQ(service.Windows().first()->CurrentTopic(), QStringLiteral("/monitor.htm"));
    Router.reset(); // the router's end closes the help
    EXPECT_TRUE(service.Windows().isEmpty());
}

} // namespace
