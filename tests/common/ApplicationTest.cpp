#include "common/Application.h"
#include "common/widgets/MessageService.h"
#include "support/MessageBoxes.h"

#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace wdx::common;
using wdx::testsupport::TMessageBoxes;

namespace {
class ApplicationTest : public ::testing::Test {
protected:
    void SetUp() override {
        App = TWDXApplication::Instance();
        ASSERT_NE(App, nullptr) << "GUI tests run under the programs' application object";
        FOldTitle = App->Title();
        App->SetTitle(QStringLiteral("Test Program"));
    }
    void TearDown() override {
        if (App)
            App->SetTitle(FOldTitle);
    }
    TWDXApplication* App = nullptr;

private:
    QString FOldTitle;
};
} // namespace

TEST_F(ApplicationTest, ExceptionFromAHandlerIsReportedAndTheProgramRunsOn) {
    TMessageBoxes boxes;
    QWidget window;
    QPushButton button(QStringLiteral("Go"), &window);
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&] {
        if (++clicks == 1)
            throw std::runtime_error("Disk full");
    });
    window.show();

    QTest::mouseClick(&button, Qt::LeftButton);
    ASSERT_EQ(boxes.Seen.size(), 1u);
    EXPECT_EQ(boxes.Seen[0].Text, QStringLiteral("Disk full"));
    EXPECT_EQ(boxes.Seen[0].Caption, QStringLiteral("Test Program"));
    EXPECT_EQ(boxes.Seen[0].Icon, TMsgIcon::Error);
    EXPECT_EQ(boxes.Seen[0].Buttons, TMsgButtons::Ok);

    // The same control works again, and the event loop goes on delivering.
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(boxes.Seen.size(), 1u);
    bool timerRan = false;
    QTimer::singleShot(0, [&] { timerRan = true; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return timerRan; }, 2000));
}

TEST_F(ApplicationTest, ExceptionFromATimerTickIsReportedOncePerTick) {
    TMessageBoxes boxes;
    QTimer timer;
    int ticks = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (++ticks == 2)
            timer.stop();
        throw std::logic_error("tick " + std::to_string(ticks));
    });
    timer.start(1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks == 2; }, 2000));
    ASSERT_EQ(boxes.Seen.size(), 2u);
    EXPECT_EQ(boxes.Seen[0].Text, QStringLiteral("tick 1"));
    EXPECT_EQ(boxes.Seen[1].Text, QStringLiteral("tick 2"));
}

TEST_F(ApplicationTest, AnythingThrownThatIsNoExceptionStillGetsABox) {
    TMessageBoxes boxes;
    QPushButton button(QStringLiteral("Go"));
    QObject::connect(&button, &QPushButton::clicked, [] { throw 42; });
    button.show();
    QTest::mouseClick(&button, Qt::LeftButton);
    ASSERT_EQ(boxes.Seen.size(), 1u);
    EXPECT_EQ(boxes.Seen[0].Text, QStringLiteral("Unknown exception."));
    EXPECT_EQ(boxes.Seen[0].Icon, TMsgIcon::Error);
}

TEST_F(ApplicationTest, WithoutATitleTheProgramNameIsTheCaption) {
    TMessageBoxes boxes;
    App->SetTitle(QString());
    App->ShowException(QStringLiteral("Broken"));
    ASSERT_EQ(boxes.Seen.size(), 1u);
    EXPECT_EQ(boxes.Seen[0].Caption, App->applicationName());
    EXPECT_FALSE(boxes.Seen[0].Caption.isEmpty());
}
