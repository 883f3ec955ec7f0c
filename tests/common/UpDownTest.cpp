#include "common/widgets/UpDown.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace wdx::common;

namespace {
struct UpDownTest : ::testing::Test {
    QWidget Window;
    QLineEdit* Edit = new QLineEdit(&Window);
    TUpDown* UpDown = new TUpDown(&Window);
    void SetUp() override {
        UpDown->SetAssociate(Edit);
        UpDown->SetRange(1, 3600);
        Window.show();
    }
    QToolButton* Btn(const char* Name) { return UpDown->findChild<QToolButton*>(QString::fromUtf8(Name)); }
};
} // namespace

TEST_F(UpDownTest, ButtonsStepTheTypedNumberAndStopAtTheEnds) {
    QSignalSpy clicks(UpDown, &TUpDown::Click);
    Edit->setText(QStringLiteral("10"));
    QTest::mouseClick(Btn("UpButton"), Qt::LeftButton);
    EXPECT_EQ(Edit->text(), QStringLiteral("11"));
    QTest::mouseClick(Btn("DownButton"), Qt::LeftButton);
    QTest::mouseClick(Btn("DownButton"), Qt::LeftButton);
    EXPECT_EQ(Edit->text(), QStringLiteral("9"));
    ASSERT_EQ(clicks.count(), 3);
    EXPECT_EQ(clicks.at(0).at(0).value<TUpDown::TUDBtnType>(), TUpDown::btNext);

    Edit->setText(QStringLiteral("3600"));
    UpDown->Step(TUpDown::btNext);
    EXPECT_EQ(Edit->text(), QStringLiteral("3600"));
    Edit->setText(QStringLiteral("1"));
    UpDown->Step(TUpDown::btPrev);
    EXPECT_EQ(Edit->text(), QStringLiteral("1"));
    // Typed text beyond the range is taken into it by the next step.
    Edit->setText(QStringLiteral("99999"));
    UpDown->Step(TUpDown::btPrev);
    EXPECT_EQ(Edit->text(), QStringLiteral("3599"));
    Edit->setText(QStringLiteral("-5"));
    UpDown->Step(TUpDown::btNext);
    EXPECT_EQ(Edit->text(), QStringLiteral("2"));
}

TEST_F(UpDownTest, TextThatIsNoNumberStepsFromTheLastPosition) {
    UpDown->SetPosition(10);
    EXPECT_EQ(Edit->text(), QStringLiteral("10"));
    Edit->setText(QStringLiteral("abc"));
    UpDown->Step(TUpDown::btNext);
    EXPECT_EQ(Edit->text(), QStringLiteral("11"));
    Edit->clear();
    UpDown->Step(TUpDown::btPrev);
    EXPECT_EQ(Edit->text(), QStringLiteral("10"));
}

TEST_F(UpDownTest, WrapAroundOnlyWhenAsked) {
    UpDown->SetWrap(true);
    Edit->setText(QStringLiteral("3600"));
    UpDown->Step(TUpDown::btNext);
    EXPECT_EQ(Edit->text(), QStringLiteral("1"));
    UpDown->Step(TUpDown::btPrev);
    EXPECT_EQ(Edit->text(), QStringLiteral("3600"));
    // A large increment must not overflow past the range's end.
    UpDown->SetWrap(false);
    UpDown->SetRange(0, 2147483647);
    UpDown->SetIncrement(2147483647);
    Edit->setText(QStringLiteral("5"));
    UpDown->Step(TUpDown::btNext);
    EXPECT_EQ(Edit->text(), QStringLiteral("2147483647"));
}

TEST_F(UpDownTest, ArrowKeysInTheEditStepAndADisabledControlDoesNothing) {
    Edit->setText(QStringLiteral("10"));
    QTest::keyClick(Edit, Qt::Key_Up);
    EXPECT_EQ(Edit->text(), QStringLiteral("11"));
    QTest::keyClick(Edit, Qt::Key_Down);
    QTest::keyClick(Edit, Qt::Key_Down);
    EXPECT_EQ(Edit->text(), QStringLiteral("9"));

    UpDown->setEnabled(false);
    QTest::mouseClick(Btn("UpButton"), Qt::LeftButton);
    QTest::keyClick(Edit, Qt::Key_Up);
    EXPECT_EQ(Edit->text(), QStringLiteral("9"));
}

TEST_F(UpDownTest, SyncedPositionLeavesTheTextAndIsWhereTheNextStepStarts) {
    Edit->setText(QStringLiteral("0042"));
    UpDown->SyncPosition(42);
    EXPECT_EQ(Edit->text(), QStringLiteral("0042"));
    EXPECT_EQ(UpDown->Position(), 42);
    UpDown->SyncPosition(99999); // kept within the range, text untouched
    EXPECT_EQ(UpDown->Position(), 3600);
    EXPECT_EQ(Edit->text(), QStringLiteral("0042"));
    Edit->setText(QStringLiteral("x"));
    UpDown->SyncPosition(20);
    UpDown->Step(TUpDown::btNext);
    EXPECT_EQ(Edit->text(), QStringLiteral("21"));
}
