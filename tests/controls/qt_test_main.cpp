// Test main for the window controls: one QApplication on Qt's offscreen platform for all tests.
#include <QApplication>
#include <QLocale>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // Qt's plug-ins (the offscreen platform among them) are staged beside the programs, not
    // beside the tests; Wine does not hand QT_* variables of this machine to Windows programs.
    QApplication::addLibraryPath(QStringLiteral(FOGBELL_STAGE_DIR));
    QLocale::setDefault(QLocale::c());
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("fogbell-controls-test"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
