#include "clntadmin/WDXClntStdClasses.h"
#include "monitor/MonitorStrings.h"
#include "monitor/WDXMntrStdClasses.h"

#include <gtest/gtest.h>

using namespace wdx;

TEST(StringTables, EachProgramReadsItsOwnTable) {
    monitor::TWDXMntrStdForm mon;
    clntadmin::TWDXClntStdForm adm;
    EXPECT_EQ(mon.ResText(2005), QStringLiteral("Cannot process requested action:"));
    EXPECT_EQ(adm.ResText(2005), QStringLiteral("Cannot find help file:"));
    EXPECT_EQ(mon.ResText(1007), QStringLiteral("Cannot find resource string"));
    EXPECT_EQ(adm.ResText(1007), QStringLiteral("Cannot find resource string"));
    EXPECT_EQ(mon.ResText(1002), QStringLiteral("Corvanta Component Broker Monitor"));
    EXPECT_EQ(adm.ResText(1002), QStringLiteral("Client Administrator"));
}

TEST(StringTables, MonitorMessageWithLineFeed) {
    monitor::TWDXMntrStdForm mon;
    QStringList lines = mon.ResText(2009).split(u'\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("Invalid return from Omni Relay: %d - %s"));
    EXPECT_EQ(lines[1], QStringLiteral("Click OK to continue, Cancel to disconnect."));
}

TEST(StringTables, FormFromATableAloneReadsThatTable) {
    common::TWDXStdForm form(monitor::MonitorStrings());
    EXPECT_EQ(form.ResText(1067), QStringLiteral("(None)"));
    EXPECT_TRUE(form.LoadIconImage(QStringLiteral("ICON_VKR"), 32).isNull());
}
