// The monitor's Help button on the real window: the topic it asks for, or why not.
#include "WindowHarness.h"
#include "help/FakeHelpService.h"

#include "common/help/HelpService.h"
#include "support/ScratchDir.h"

#include <QFile>
#include <QPushButton>
#include <QTest>

using namespace wdx;

using testsupport::TScratchDir;

namespace wdx::monitor::test {

class MonitorHelpButton : public TWindowTest {
protected:
    TScratchDir Dir; // created before the window, which searches at creation
    wdx::test::TFakeHelpService Help;
    common::THelpServiceScope HelpScope{Help};
};

TEST_F(MonitorHelpButton, OpensTheWindowsTopicInTheFileFound) {
    QFile(Dir.Dir.filePath(QStringLiteral("NPXDeploy.chm"))).open(QIODevice::WriteOnly);
    TForm1& f = Open();
    QTest::mouseClick(Find<QPushButton>(f, "HelpBtn"), Qt::LeftButton);
    EXPECT_TRUE(Boxes.Seen.empty());
    ASSERT_EQ(Help.HtmlCalls.size(), 1u);
    EXPECT_EQ(Help.HtmlCalls[0].Command, common::HH_HELP_CONTEXT);
    EXPECT_EQ(Help.HtmlCalls[0].File, QStringLiteral("NPXDeploy.chm"));
    EXPECT_EQ(Help.NumberOf(Help.HtmlCalls[0]), 118);
}

TEST_F(MonitorHelpButton, WithoutAHelpFileSaysWhereItLooked) {
    // The window looks beside the client directory of the System store.
    testsupport::SetClientDir(Dir.Dir.filePath(QStringLiteral("client")).toStdString());
    TForm1& f = Open();
    QTest::mouseClick(Find<QPushButton>(f, "HelpBtn"), Qt::LeftButton);
    EXPECT_TRUE(Help.HtmlCalls.empty());
    ASSERT_EQ(Boxes.Seen.size(), 1u);
    EXPECT_EQ(Boxes.Seen[0].Text, QStringLiteral("Cannot find help file: ") +
                                      Dir.Dir.filePath(QStringLiteral("Documentation/NPXDeploy.chm")));
    EXPECT_EQ(Boxes.Seen[0].Icon, common::TMsgIcon::Error);
}

} // namespace wdx::monitor::test
