// The parameter details dialog, opened from the service list on the
// scripted fake.

#include "WindowHarness.h"
#include "monitor/ParamDetailsForm.h"
#include "support/DialogDriver.h"

#include <QHeaderView>

using wdx::testsupport::TDialogDriver;

using namespace wdx;
using namespace wdx::monitor;
using namespace wdx::monitor::test;
using common::TMsgIcon;

namespace {

class ParamDetailsTest : public TWindowTest {
protected:
    // Connects, lists the services of "Orders" and opens the parameters of
    // the service in row ServiceRow; Drive runs inside the dialog.
    void OpenParams(int ServiceRow, std::function<void(TForm3&)> Drive) {
        Open();
        Connect();
        ClickRow(Find<common::TListView>(Form, "ListView1"), 0);
        Find<common::TListView>(Form, "ListView2")->SelectRow(ServiceRow);
        TDialogDriver<TForm3> driver(std::move(Drive));
        Form->ListView2DblClick();
    }
    static QStringList Rows(const TForm3& D) {
        QStringList rows;
        for (int r = 0; r < Find<common::TListView>(D, "ListView1")->model()->rowCount(); ++r)
            rows << RowText(Find<common::TListView>(D, "ListView1"), r);
        return rows;
    }
};

TEST_F(ParamDetailsTest, ListsTheParametersInTheConnectionsOrderWithTheirWords) {
    // Name, DataType, Mode, Precision, Scale.
    Server->Params[u"Create"] = {{u"zeta", 4, 5, 1, 0},          {u"alpha", 1, 1, 30, 0},
                                 {u"amount", 2, 3, 12, 2},       {u"when", 3, 2, 0, 0},
                                 {u"blob", 5, 1, 100, -1},       {u"odd", 9, 4, 0, 0},
                                 {u"neg", -2, 0, -5, 2147483647}};
    OpenParams(0, [&](TForm3& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Parameter Details"));
        EXPECT_EQ(
            Rows(d),
            QStringList({QStringLiteral("zeta|boolean|1|0|Result"), QStringLiteral("alpha|char|30|0|Input"),
                         QStringLiteral("amount|number|12|2|In/Out"), QStringLiteral("when|date|0|0|Output"),
                         QStringLiteral("blob|binary|100|-1|Input"), QStringLiteral("odd|9|0|0|4"),
                         QStringLiteral("neg|-2|-5|2147483647|0")}));
        QStringList titles;
        for (int c = 0; c < Find<common::TListView>(d, "ListView1")->model()->columnCount(); ++c)
            titles << Find<common::TListView>(d, "ListView1")
                          ->model()
                          ->headerData(c, Qt::Horizontal, Qt::DisplayRole)
                          .toString();
        EXPECT_EQ(titles,
                  QStringList({QStringLiteral("Name"), QStringLiteral("Type"), QStringLiteral("Precision"),
                               QStringLiteral("Scale"), QStringLiteral("Mode")}));
        EXPECT_EQ(Find<QPushButton>(d, "Button1")->text(), QStringLiteral("OK"));
        EXPECT_EQ(Find<common::TListView>(d, "ListView1")->horizontalHeader()->sectionResizeMode(4),
                  QHeaderView::Stretch);
        Find<QPushButton>(d, "Button1")->click();
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_TRUE(Boxes.Seen.empty());
    EXPECT_EQ(Form->CurrentService, QStringLiteral("Create"));
}

TEST_F(ParamDetailsTest, AServiceWithoutParametersShowsAnEmptyListAndNoMessage) {
    OpenParams(1, [&](TForm3& d) {
        EXPECT_EQ(Find<common::TListView>(d, "ListView1")->model()->rowCount(), 0);
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Parameter Details"));
        Find<QPushButton>(d, "Button1")->click();
    });
    EXPECT_TRUE(Boxes.Seen.empty());
    EXPECT_EQ(Count(Server->Calls, "params.Open"), 1);
}

TEST_F(ParamDetailsTest, ParametersNotObtainableAreShownOverAnEmptyList) {
    Server->Params[u"Cancel"] = {{u"id", 2, 1, 10, 0}};
    Server->ParamsOpen = -1;
    OpenParams(1, [&](TForm3& d) {
        ASSERT_EQ(Boxes.Seen.size(), 1u);
        EXPECT_EQ(Boxes.Seen[0].Text, QStringLiteral("Cannot access services: params error text"));
        EXPECT_EQ(Boxes.Seen[0].Caption, QStringLiteral("Cancel"));
        EXPECT_EQ(Boxes.Seen[0].Icon, TMsgIcon::Error);
        EXPECT_EQ(Boxes.Seen[0].Owner, &d);
        EXPECT_EQ(Find<common::TListView>(d, "ListView1")->model()->rowCount(), 0);
        EXPECT_TRUE(d.isVisible());
        Find<QPushButton>(d, "Button1")->click();
    });
}

TEST_F(ParamDetailsTest, WithoutConnectionOrServiceNameTheListStaysEmptySilently) {
    Server->Params[u"Create"] = {{u"id", 2, 1, 10, 0}};
    Open();
    Connect();
    {
        TForm3 d(Form);
        d.SetServiceName("Create"); // no connection
        d.show();
        EXPECT_EQ(Find<common::TListView>(d, "ListView1")->model()->rowCount(), 0);
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Parameter Details"));
    }
    {
        TForm3 d(Form);
        d.SetMonitor(Form->Connection.Link()); // no service name
        d.show();
        EXPECT_EQ(Find<common::TListView>(d, "ListView1")->model()->rowCount(), 0);
    }
    {
        TForm3 d(Form);
        d.SetMonitor(Form->Connection.Link());
        d.SetServiceName("Create");
        Form->DisconnectBtnClick(); // the link is empty now
        d.show();
        EXPECT_EQ(Find<common::TListView>(d, "ListView1")->model()->rowCount(), 0);
    }
    EXPECT_TRUE(Boxes.Seen.empty());
    EXPECT_EQ(Count(Server->Calls, "params.Open"), 0);
}

} // namespace
