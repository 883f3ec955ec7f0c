#include <QApplication>
#include <gtest/gtest.h>

// GUI tests never need a display: the offscreen platform is forced unless the
// caller picked one explicitly (QT_QPA_PLATFORM=xcb to watch a test run).
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
