#include "common/Application.h"

#include <gtest/gtest.h>

// main() for GUI tests: the programs' own application object, so that the
// default error report is the one the programs run with. The offscreen
// platform is forced unless the caller picked one explicitly
// (QT_QPA_PLATFORM=xcb to watch a test run).
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    wdx::common::TWDXApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
