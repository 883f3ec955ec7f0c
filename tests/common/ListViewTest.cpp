#include "common/widgets/ListView.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace wdx::common;

namespace {
struct ListViewTest : ::testing::Test {
    TListView List;
    void SetUp() override {
        List.SetColumns({QStringLiteral("Name"), QStringLiteral("Active"), QStringLiteral("Maximum")},
                        {100, 60, 60});
        List.resize(300, 200);
        List.show();
    }
    void Fill(int Rows) {
        std::vector<QStringList> rows;
        for (int i = 0; i < Rows; ++i)
            rows.push_back({QStringLiteral("row%1").arg(i), QString::number(i), QString::number(-i)});
        List.Items()->Assign(std::move(rows));
    }
    QPoint RowCentre(int Row) { return List.visualRect(List.Items()->index(Row, 0)).center(); }
};
} // namespace

TEST_F(ListViewTest, ColumnsAndRows) {
    EXPECT_EQ(List.Items()->columnCount(), 3);
    EXPECT_EQ(List.Items()->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("Active"));
    EXPECT_EQ(List.columnWidth(0), 100);
    EXPECT_EQ(List.columnWidth(2), 60);

    List.Items()->Add({QStringLiteral("first"), QStringLiteral("1"), QStringLiteral("2")});
    List.Items()->Add({QStringLiteral("short")}); // missing cells read as empty
    EXPECT_EQ(List.Items()->Count(), 2);
    EXPECT_EQ(List.Items()->Caption(0), QStringLiteral("first"));
    EXPECT_EQ(List.Items()->data(List.Items()->index(0, 2), Qt::DisplayRole).toString(), QStringLiteral("2"));
    EXPECT_EQ(List.Items()->Text(1, 2), QStringLiteral(""));
    EXPECT_EQ(List.Items()->Text(5, 0), QStringLiteral(""));

    Fill(100000);
    EXPECT_EQ(List.Items()->Count(), 100000);
    EXPECT_EQ(List.Items()->Caption(99999), QStringLiteral("row99999"));
    List.Items()->Clear();
    EXPECT_EQ(List.Items()->Count(), 0);
    EXPECT_EQ(List.model()->rowCount(), 0);
}

TEST_F(ListViewTest, SingleReadOnlySelection) {
    Fill(5);
    EXPECT_TRUE(List.showGrid());
    EXPECT_EQ(List.SelectedRow(), -1);
    QTest::mouseClick(List.viewport(), Qt::LeftButton, {}, RowCentre(1));
    EXPECT_EQ(List.SelectedRow(), 1);
    // Ctrl and Shift do not add rows to the selection.
    QTest::mouseClick(List.viewport(), Qt::LeftButton, Qt::ControlModifier, RowCentre(3));
    QTest::mouseClick(List.viewport(), Qt::LeftButton, Qt::ShiftModifier, RowCentre(4));
    EXPECT_EQ(List.selectionModel()->selectedRows().size(), 1);
    // A double-click opens no editor.
    QTest::mouseDClick(List.viewport(), Qt::LeftButton, {}, RowCentre(2));
    EXPECT_EQ(List.indexWidget(List.Items()->index(2, 0)), nullptr);
    EXPECT_EQ(List.findChildren<QLineEdit*>().size(), 0);

    List.SelectRow(0);
    EXPECT_EQ(List.SelectedRow(), 0);
    List.SelectRow(-1);
    EXPECT_EQ(List.SelectedRow(), -1);
    List.SelectRow(17);
    EXPECT_EQ(List.SelectedRow(), -1);
}

TEST_F(ListViewTest, HiddenSelectionIsNotDrawnWithoutFocus) {
    List.SetHideSelection(true);
    EXPECT_EQ(List.palette().color(QPalette::Inactive, QPalette::Highlight),
              List.palette().color(QPalette::Inactive, QPalette::Base));
    List.SetHideSelection(false);
    EXPECT_NE(List.palette().color(QPalette::Inactive, QPalette::Highlight),
              List.palette().color(QPalette::Inactive, QPalette::Base));
}

TEST_F(ListViewTest, CellsChangeInPlaceAndRowsAreRemoved) {
    Fill(3);
    QSignalSpy changed(List.Items(), &QAbstractItemModel::dataChanged);
    List.Items()->SetText(1, 2, QStringLiteral("changed"));
    List.Items()->SetText(1, 5, QStringLiteral("beyond")); // a row with fewer cells grows
    List.Items()->SetText(7, 0, QStringLiteral("ignored"));
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(List.Items()->Text(1, 2), QStringLiteral("changed"));
    EXPECT_EQ(List.Items()->Text(1, 5), QStringLiteral("beyond"));
    EXPECT_EQ(List.Items()->Text(1, 4), QStringLiteral(""));
    EXPECT_EQ(List.Items()->Caption(1), QStringLiteral("row1"));

    List.Items()->Delete(1);
    List.Items()->Delete(-1);
    List.Items()->Delete(2);
    ASSERT_EQ(List.Items()->Count(), 2);
    EXPECT_EQ(List.Items()->Caption(0), QStringLiteral("row0"));
    EXPECT_EQ(List.Items()->Caption(1), QStringLiteral("row2"));
    EXPECT_EQ(List.model()->rowCount(), 2);
}

namespace {
// Rows that count how often a cell's text was asked for.
struct TCountingSource : TListSource {
    int Rows;
    mutable int Asked = 0;
    explicit TCountingSource(int Rows) : Rows(Rows) {}
    int Count() const override { return Rows; }
    QString Text(int Row, int Column) const override {
        ++Asked;
        return QStringLiteral("r%1c%2").arg(Row).arg(Column);
    }
};
} // namespace

TEST_F(ListViewTest, RowsFromASourceAreReadOnlyWhenDrawn) {
    auto owned = std::make_unique<TCountingSource>(100000);
    TCountingSource* source = owned.get();
    List.Items()->Assign(std::move(owned));
    EXPECT_EQ(List.Items()->Count(), 100000);
    EXPECT_EQ(List.model()->rowCount(), 100000);
    EXPECT_EQ(List.Items()->Caption(99999), QStringLiteral("r99999c0"));
    EXPECT_EQ(List.Items()->Text(5, 3), QStringLiteral("")) << "beyond the columns";
    EXPECT_EQ(List.Items()->Text(100000, 0), QStringLiteral("")) << "beyond the rows";
    QApplication::processEvents(); // the view lays its rows out lazily
    source->Asked = 0;
    (void)List.grab(); // draws the list once
    EXPECT_GT(source->Asked, 0);
    EXPECT_LT(source->Asked, 3 * 50) << "only the rows on screen are drawn";

    // Adding a row keeps the source's rows, now as texts.
    List.Items()->Add({QStringLiteral("added"), QStringLiteral("1"), QStringLiteral("2")});
    EXPECT_EQ(List.Items()->Count(), 100001);
    EXPECT_EQ(List.Items()->Text(7, 2), QStringLiteral("r7c2"));
    EXPECT_EQ(List.Items()->Caption(100000), QStringLiteral("added"));
    List.Items()->Clear();
    EXPECT_EQ(List.model()->rowCount(), 0);
}

TEST_F(ListViewTest, ClickComesForLeftClicksOnRowsAndBelowThem) {
    Fill(2);
    QSignalSpy clicks(&List, &TListView::Click);
    QTest::mouseClick(List.viewport(), Qt::LeftButton, {}, RowCentre(1));
    ASSERT_EQ(clicks.count(), 1);
    EXPECT_EQ(List.SelectedRow(), 1);
    // Below the rows: the selection is cleared, and it is a click too.
    const QPoint below(5, List.viewport()->height() - 2);
    ASSERT_FALSE(List.indexAt(below).isValid());
    QTest::mouseClick(List.viewport(), Qt::LeftButton, {}, below);
    EXPECT_EQ(clicks.count(), 2);
    EXPECT_EQ(List.SelectedRow(), -1);
    // The right button and the keyboard are no clicks.
    QTest::mouseClick(List.viewport(), Qt::RightButton, {}, RowCentre(0));
    List.setFocus();
    QTest::keyClick(&List, Qt::Key_Down);
    EXPECT_EQ(clicks.count(), 2);
    // A double-click counts its first click only.
    QTest::mousePress(List.viewport(), Qt::LeftButton, {}, RowCentre(0));
    QTest::mouseRelease(List.viewport(), Qt::LeftButton, {}, RowCentre(0));
    QTest::mouseDClick(List.viewport(), Qt::LeftButton, {}, RowCentre(0));
    QTest::mouseRelease(List.viewport(), Qt::LeftButton, {}, RowCentre(0));
    EXPECT_EQ(clicks.count(), 3);
}
