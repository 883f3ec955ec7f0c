// The administrator's Help button on the real window: the topic it asks for, or why not.
#include "AdminTestSupport.h"
#include "help/FakeHelpService.h"

#include "common/help/HelpService.h"
#include "support/ScratchDir.h"

#include <QFile>
#include <QPushButton>
#include <QTest>

using namespace wdx;
using namespace wdx::clntadmin::test;

using testsupport::TScratchDir;

TEST(AdminHelpButton, OpensTheWindowsTopicInTheFileFound) {
    testsupport::TTempStore store;
    TScratchDir dir;
    QFile(dir.Dir.filePath(QStringLiteral("NPXDeploy.chm"))).open(QIODevice::WriteOnly);
    wdx::test::TFakeHelpService fake;
    common::THelpServiceScope scope(fake);
    TMessageBoxes boxes;
    TFormGuard form;

    QTest::mouseClick(Find<QPushButton>(form, "HelpBtn"), Qt::LeftButton);
    EXPECT_TRUE(boxes.Seen.empty());
    ASSERT_EQ(fake.HtmlCalls.size(), 1u);
    EXPECT_EQ(fake.HtmlCalls[0].Command, common::HH_HELP_CONTEXT);
    EXPECT_EQ(fake.HtmlCalls[0].File, QStringLiteral("NPXDeploy.chm"));
    EXPECT_EQ(fake.NumberOf(fake.HtmlCalls[0]), 116);
}

TEST(AdminHelpButton, WithoutAHelpFileSaysWhereItLooked) {
    testsupport::TTempStore store;
    TScratchDir dir;
    // The window looks beside the client directory of the System store.
    testsupport::SetClientDir(dir.Dir.filePath(QStringLiteral("client")).toStdString());
    wdx::test::TFakeHelpService fake;
    common::THelpServiceScope scope(fake);
    TMessageBoxes boxes;
    TFormGuard form;

    QTest::mouseClick(Find<QPushButton>(form, "HelpBtn"), Qt::LeftButton);
    EXPECT_TRUE(fake.HtmlCalls.empty());
    ASSERT_EQ(boxes.Seen.size(), 1u);
    EXPECT_EQ(boxes.Seen[0].Text, QStringLiteral("Cannot find help file: ") +
                                      dir.Dir.filePath(QStringLiteral("Documentation/NPXDeploy.chm")));
    EXPECT_EQ(boxes.Seen[0].Icon, common::TMsgIcon::Error);
}
