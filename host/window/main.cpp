// fogbell: the desktop program. Shows the main window; a file named on the command line (a
// container, or a single audio file) is opened once the window is up. When the window closes,
// the program ends.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>

#include "host/window/main_window.h"
#include "host/window/silent_playback.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Fogbell");
    QApplication::setApplicationDisplayName("Fogbell");
    QApplication::setApplicationVersion("1.7");
    QApplication::setDesktopFileName("fogbell");

    QCommandLineParser parser;
    parser.setApplicationDescription("Explorer and player for the sound files of Mistvale.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument("FILE",
                                 "A container (AIX, AFS, PAC, MVX) to open, or a single "
                                 "audio file (ADX, WAV, XMD) to play.");
    parser.process(app);

    // Everything the program needs lies beside it (an installed program is a symbolic link to
    // its own folder, which applicationDirPath follows).
    const QString programDirectory = QCoreApplication::applicationDirPath();
    fogbell::window::WindowSetup setup;
    setup.paths = fogbell::PathsFor(QFile::encodeName(programDirectory).toStdString());
    setup.pictureFile = QDir(programDirectory).filePath("pic.jpg");
    setup.makePlayback = [](fogbell::MainView& view) {
        return std::make_unique<fogbell::window::SilentPlayback>(view);
    };

    fogbell::window::MainWindow window(std::move(setup));
    if (!window.Initialize()) {
        return 0;
    }
    if (const QStringList files = parser.positionalArguments(); !files.isEmpty()) {
        window.show();
        window.OpenPath(files.front());
    }
    window.exec();
    return 0;
}
