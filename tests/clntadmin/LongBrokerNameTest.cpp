// A broker name is a key name, and the store refuses key names longer than
// the registry allows (255 characters): the dialog reports that as any failed
// write, and nothing is stored.

#include "AdminTestSupport.h"

#include "support/Controls.h"

#include <QLineEdit>
#include <QPushButton>

using namespace wdx;
using namespace wdx::clntadmin;
using namespace wdx::clntadmin::test;
using wdx::testsupport::Find;

TEST(AdminLongBrokerName, NameOver255CharactersIsAFailedAddAnd255IsStored) {
    testsupport::TTempStore store;
    TMessageBoxes boxes;
    TFormGuard form;
    const QString tooLong(256, QChar(u'b')), longest(255, QChar(u'c'));
    {
        TDialogDriver driver([&](TForm2& d) {
            Fill(d, tooLong, QStringLiteral("h"), QStringLiteral("1"), QStringLiteral("1"));
            Find<QPushButton>(d, "OKBtn")->click();
            ASSERT_EQ(boxes.Seen.size(), 1u);
            EXPECT_EQ(boxes.Seen[0].Text, QStringLiteral("Cannot add Component Broker details."));
            EXPECT_EQ(boxes.Seen[0].Caption, tooLong);
            EXPECT_EQ(boxes.Seen[0].Icon, common::TMsgIcon::Error);
            EXPECT_TRUE(d.isVisible());
            // The same dialog takes the longest name there is.
            boxes.Seen.clear();
            Enter(Find<QLineEdit>(d, "Edit1"), longest);
            Find<QPushButton>(d, "OKBtn")->click();
            EXPECT_TRUE(boxes.Seen.empty()) << boxes.Texts().join(QStringLiteral("; ")).toStdString();
        });
        Find<QPushButton>(form, "Button1")->click();
    }
    EXPECT_EQ(brokerstore::ListBrokerNames(scUser), std::vector<std::string>{longest.toStdString()});
    ASSERT_EQ(form.Rows().Count(), 1);
    EXPECT_EQ(form.Rows().Caption(0), longest);
    EXPECT_EQ(Stored(scUser, longest.toStdString(), "HostName"), "h");
}
