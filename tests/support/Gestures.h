#pragma once
// The operator's gestures on the controls the windows share: choosing an
// item of a selector and clicking a row of a list, with real key presses and
// mouse clicks, so that the controls report them with their own signals.

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QString>
#include <QTest>
#include <gtest/gtest.h>

namespace wdx::testsupport {

// Chooses the item Text of a selector as the operator does with the
// keyboard: F4 opens its drop-down list, Home and Down go to the item, Return
// takes it. The selector then says "activated" itself, also when the item
// was chosen already.
inline void Choose(QComboBox* Box, const QString& Text) {
    const int index = Box->findText(Text);
    ASSERT_GE(index, 0) << "the selector has no item " << Text.toStdString();
    QTest::keyClick(Box, Qt::Key_F4);
    QAbstractItemView* list = Box->view();
    ASSERT_TRUE(QTest::qWaitFor([list] { return list->isVisible(); }, 2000))
        << "the drop-down list did not open";
    QTest::keyClick(list, Qt::Key_Home);
    while (list->currentIndex().row() < index) {
        const int before = list->currentIndex().row();
        QTest::keyClick(list, Qt::Key_Down);
        ASSERT_GT(list->currentIndex().row(), before) << "Down did not move in the drop-down list";
    }
    ASSERT_EQ(list->currentIndex().row(), index);
    QTest::keyClick(list, Qt::Key_Return);
}

// The centre of the first cell of Row, in the view's viewport.
inline QPoint RowCentre(const QAbstractItemView* View, int Row) {
    QApplication::processEvents(); // the view lays out its rows lazily
    return View->visualRect(View->model()->index(Row, 0)).center();
}

inline void ClickRow(QAbstractItemView* View, int Row) {
    QTest::mouseClick(View->viewport(), Qt::LeftButton, {}, RowCentre(View, Row));
}

// The cells of Row joined by '|', as a list shows them.
inline QString RowText(const QAbstractItemView* View, int Row) {
    QStringList cells;
    for (int c = 0; c < View->model()->columnCount(); ++c)
        cells << View->model()->index(Row, c).data().toString();
    return cells.join(u'|');
}

inline QString Cell(const QAbstractItemView* View, int Row, int Column) {
    return View->model()->index(Row, Column).data().toString();
}

} // namespace wdx::testsupport
