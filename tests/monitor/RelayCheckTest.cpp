// The relay check and the texts of the connect step, without any window.

#include "ComEnvironment.h"
#include "FakeMonitor.h"

#include "monitor/NPXMonitor.h"
#include "monitor/RelayCheck.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace wdx::monitor;
using namespace wdx::monitor::fake;
using Calls = std::vector<std::string>;

namespace {

class RelayCheckTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(Server->LiveObjects, 0) << "the relay was never released"; }
    TFakeServer Server;
};

} // namespace

TEST_F(RelayCheckTest, ChecksTheBrokerAndHoldsTheRelayUntilDropped) {
    Server->CheckBrokerCode = 0;
    {
        TRelayCheck check = CheckBrokerThroughRelay(u"Alpha ✓");
        EXPECT_TRUE(check.Created());
        EXPECT_EQ(check.Status(), 0);
        EXPECT_FALSE(check.NeedsWarning(true));
        EXPECT_EQ(Server->CheckedBrokers, std::vector<std::u16string>{u"Alpha ✓"});
        EXPECT_EQ(Server->CheckArgs, (std::vector<std::int32_t>{0, 0, 0}));
        // The error text is the caller's to ask for: a healthy broker needs none.
        const Calls calls = Server->TakeCalls();
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "Relay.ErrorText"), 0);
        EXPECT_EQ(Server->LiveObjects, 1);
    }
    EXPECT_EQ(Server->LiveObjects, 0);
}

TEST_F(RelayCheckTest, ReleaseLetsTheRelayGoAtOnce) {
    TRelayCheck check = CheckBrokerThroughRelay(u"Alpha");
    ASSERT_EQ(Server->LiveObjects, 1);
    check.Release();
    EXPECT_EQ(Server->LiveObjects, 0);
    EXPECT_FALSE(check.Created());
}

TEST_F(RelayCheckTest, StatusesAndWhenTheyAreWarnedOf) {
    struct TCase {
        std::int16_t Code;
        bool FailCheck, WarnedNormally, WarnedInDebug;
    };
    const TCase cases[] = {{0, false, false, false}, {2, false, false, true}, {1, false, true, true},
                           {-7, false, true, true},  {0, true, true, true},   {3, false, true, true}};
    for (const TCase& c : cases) {
        Server->CheckBrokerCode = c.Code;
        if (c.FailCheck)
            Server->FailCall("Relay.CheckBroker", u"relay down");
        TRelayCheck check = CheckBrokerThroughRelay(u"B");
        const std::string what = "code " + std::to_string(c.Code) + (c.FailCheck ? " (check failed)" : "");
        EXPECT_TRUE(check.Created()) << what;
        EXPECT_EQ(check.Status(), c.FailCheck ? RelayCheckFailed : c.Code) << what;
        EXPECT_EQ(check.NeedsWarning(false), c.WarnedNormally) << what;
        EXPECT_EQ(check.NeedsWarning(true), c.WarnedInDebug) << what;
    }
}

TEST_F(RelayCheckTest, AFailedCreationIsReportedNotThrown) {
    Server->FailCall("Relay.Create", u"no relay here");
    TRelayCheck check = CheckBrokerThroughRelay(u"B");
    EXPECT_FALSE(check.Created());
    EXPECT_EQ(check.Status(), RelayCheckFailed);
    EXPECT_NE(check.CreateFailure().find("no relay here"), std::string::npos) << check.CreateFailure();
    EXPECT_TRUE(Server->CheckedBrokers.empty());
    EXPECT_EQ(RelayFailureText(check), "Cannot access Omni Relay: " + check.CreateFailure());
}

TEST_F(RelayCheckTest, ErrorTextIsAskedOnDemandAndItsFailureThrown) {
    Server->CheckBrokerCode = 1;
    Server->RelayErrorText = u"broker sick ✗";
    TRelayCheck check = CheckBrokerThroughRelay(u"B");
    EXPECT_EQ(check.ErrorText(), u"broker sick ✗");
    Server->FailCall("Relay.ErrorText", u"unreadable");
    EXPECT_THROW((void)check.ErrorText(), wdx::monitor::ECOMError);
}

TEST(FillMessageTemplate, FillsByKindInOnePass) {
    EXPECT_EQ(FillMessageTemplate(u"Invalid: %d - %s", -1, u"why"), u"Invalid: -1 - why");
    // Each conversion takes its own value, as often as it stands.
    EXPECT_EQ(FillMessageTemplate(u"%s %d %s %d", 7, u"x"), u"x 7 x 7");
    // The text is never a template, and %% and unknown conversions stay literal.
    EXPECT_EQ(FillMessageTemplate(u"100%% %s %x %", 2, u"%d%s"), u"100% %d%s %x %");
    EXPECT_EQ(FillMessageTemplate(u"", 1, u"x"), u"");
    EXPECT_EQ(FillMessageTemplate(u"%d", -32768, u""), u"-32768");
}

TEST(RelayTexts, TheWarningShowsTwoLinesFromTheMonitorsTable) {
    EXPECT_EQ(RelayWarningText(1, u"relay error text ✓"),
              "Invalid return from Omni Relay: 1 - relay error text ✓\nClick OK to continue, Cancel to "
              "disconnect.");
    const wdx::common::TStringTable table{{2009, "W %s/%d"}, {2007, "R:"}};
    EXPECT_EQ(RelayWarningText(-1, u"e", table), "W e/-1");
    EXPECT_EQ(RelayFailureText(TRelayCheck(), table), "R: ");
}

TEST(NPXErrorText, IdTextBlankDetail) {
    EXPECT_EQ(NPXErrorText(ENPXException(2002, "", u"")), "Cannot access components: ");
    EXPECT_EQ(NPXErrorText(ENPXException(2001, "B", u"refused ✗")),
              "Cannot access Corvanta Component Broker: refused ✗");
    EXPECT_EQ(NPXErrorText(ENPXException(2999, "C", u"detail")), "Cannot find resource string detail");
    const wdx::common::TStringTable table{{2001, "Mine:"}};
    EXPECT_EQ(NPXErrorText(ENPXException(2001, "B", u"d"), table), "Mine: d");
}

// No relay class anywhere (on Windows: none registered with the system
// either): a failed creation in the connect step's words, never a throw or a
// crash.
TEST(RelayCheckWithoutRelay, AMissingClassIsACreationFailureWithItsText) {
    TRelayCheck check = CheckBrokerThroughRelay(u"B");
    EXPECT_FALSE(check.Created());
    EXPECT_EQ(check.Status(), RelayCheckFailed);
    EXPECT_NE(check.CreateFailure().find("not registered"), std::string::npos) << check.CreateFailure();
    EXPECT_EQ(RelayFailureText(check), "Cannot access Omni Relay: " + check.CreateFailure());
}
