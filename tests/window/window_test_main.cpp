// The window tests run inside one QApplication on Qt's offscreen platform (no display needed).
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);  // unless the caller chose a platform
    QApplication app(argc, argv);
    QApplication::setApplicationName("Fogbell");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
