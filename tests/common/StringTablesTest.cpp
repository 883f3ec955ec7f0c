#include "clntadmin/ClntAdminStrings.h"
#include "common/StdForm.h"
#include "monitor/MonitorStrings.h"

#include <gtest/gtest.h>

using namespace wdx;

TEST(StringTables, EachProgramReadsItsOwnTable) {
    common::TWDXStdForm mon(monitor::MonitorStrings());
    common::TWDXStdForm adm(clntadmin::ClntAdminStrings());
    EXPECT_EQ(mon.ResText(2005), "Cannot process requested action:");
    EXPECT_EQ(adm.ResText(2005), "Cannot find help file:");
    EXPECT_EQ(mon.ResText(1007), "Cannot find resource string");
    EXPECT_EQ(adm.ResText(1007), "Cannot find resource string");
    EXPECT_EQ(mon.ResText(1002), "Corvanta Component Broker Monitor");
    EXPECT_EQ(adm.ResText(1002), "Client Administrator");
}

TEST(StringTables, MonitorMessageWithLineFeed) {
    common::TWDXStdForm mon(monitor::MonitorStrings());
    QStringList lines = mon.ResText(2009).split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], "Invalid return from Omni Relay: %d - %s");
    EXPECT_EQ(lines[1], "Click OK to continue, Cancel to disconnect.");
}
