// The error box of a failed connection call.

#include "monitor/NPXError.h"
#include "common/StdForm.h"
#include "common/widgets/MessageService.h"
#include "monitor/MonitorStrings.h"
#include "support/MessageBoxes.h"

#include <gtest/gtest.h>

using namespace wdx::monitor;

TEST(ShowNPXError, ComposesTextAndTitle) {
    wdx::common::TWDXStdForm form(MonitorStrings());
    wdx::testsupport::TMessageBoxes recorder;
    const std::vector<wdx::testsupport::TSeenBox>& boxes = recorder.Seen;
    ShowNPXError(ENPXException(2002, "", u""), &form, form);
    ShowNPXError(ENPXException(2001, "Broker1", u"refused ✗"), nullptr, form);
    ShowNPXError(ENPXException(2999, "Comp", u"detail"), &form, form);
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].Text, QStringLiteral("Cannot access components: "));
    EXPECT_EQ(boxes[0].Caption, QStringLiteral(""));
    EXPECT_EQ(boxes[0].Owner, &form);
    EXPECT_EQ(boxes[0].Icon, wdx::common::TMsgIcon::Error);
    EXPECT_EQ(boxes[0].Buttons, wdx::common::TMsgButtons::Ok);
    EXPECT_EQ(boxes[1].Text, QStringLiteral("Cannot access Corvanta Component Broker: refused ✗"));
    EXPECT_EQ(boxes[1].Caption, QStringLiteral("Broker1"));
    EXPECT_EQ(boxes[2].Text, QStringLiteral("Cannot find resource string detail"));
    EXPECT_EQ(boxes[2].Caption, QStringLiteral("Comp"));
}

TEST(ShowNPXError, TakesTheTextFromTheFormsOwnTable) {
    const wdx::common::TStringTable table{{2002, "Other words:"}};
    wdx::common::TWDXStdForm form(table);
    wdx::testsupport::TMessageBoxes recorder;
    const std::vector<wdx::testsupport::TSeenBox>& boxes = recorder.Seen;
    ShowNPXError(ENPXException(2002, "T", u"why"), &form, form);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, QStringLiteral("Other words: why"));
}
