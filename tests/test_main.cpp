// Every test program runs with a QApplication (offscreen), so widget tests and
// core tests that use fonts share one entry point.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef HUB_BUILD_DIR_DEFAULT
    if (qEnvironmentVariableIsEmpty("HUB_SOURCE_DIR")) qputenv("HUB_SOURCE_DIR", HUB_SOURCE_DIR_DEFAULT);
    if (qEnvironmentVariableIsEmpty("HUB_BUILD_DIR")) qputenv("HUB_BUILD_DIR", HUB_BUILD_DIR_DEFAULT);
#endif
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
