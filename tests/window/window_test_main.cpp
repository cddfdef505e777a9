// The window tests run inside one QApplication on Qt's offscreen platform (no display needed).
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {  // unless the caller chose a platform
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // Qt's plug-ins (the offscreen platform among them) are staged beside the programs, not
    // beside the tests; Wine does not hand QT_* variables of this machine to Windows programs.
    QApplication::addLibraryPath(QStringLiteral(FOGBELL_STAGE_DIR));
    QApplication app(argc, argv);
    QApplication::setApplicationName("Fogbell");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
