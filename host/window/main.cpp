// fogbell: the desktop program. Shows the main window; a file named on the command line (a
// container, or a single audio file) is opened once the window is up. When the window closes,
// the program ends.
//
//   fogbell [FILE]      the window
//   fogbell --formats   the plug-ins the program finds, without a window
#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#endif

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QMessageBox>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "fogbell_version.h"
#include "host/playback/play_engine.h"
#include "host/playback/sound_output.h"
#include "host/plugins/plugin_host.h"
#include "host/system/native_path.h"
#include "host/window/main_window.h"

namespace {

// The program's options; with process, --help, --version and errors in the options end the
// program here, as Qt shows them.
void Describe(QCoreApplication& app, QCommandLineParser& parser, bool process = true) {
    QCoreApplication::setApplicationName("Fogbell");
    QCoreApplication::setApplicationVersion(FOGBELL_VERSION);
    parser.setApplicationDescription("Explorer and player for the sound files of Mistvale.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({"formats", "List the plug-ins found beside the program and exit."});
    parser.addPositionalArgument("FILE",
                                 "A container (AIX, AFS, PAC, MVX) to open, or a single "
                                 "audio file (ADX, WAV, XMD) to play.");
    if (process) {
        parser.process(app);
    }
}

// --help, --version and errors in the options written to the program's output, as a console
// program writes them; nullopt when the options ask for none of them.
std::optional<int> PrintParserMessages(QCoreApplication& app, QCommandLineParser& parser) {
    Describe(app, parser, false);
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "%s\n", qUtf8Printable(parser.errorText()));
        return 1;
    }
    if (parser.isSet("help") || parser.isSet("help-all")) {
        std::fputs(qUtf8Printable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet("version")) {
        std::printf("%s %s\n", qUtf8Printable(QCoreApplication::applicationName()),
                    qUtf8Printable(QCoreApplication::applicationVersion()));
        return 0;
    }
    return std::nullopt;
}

// Everything the program needs lies beside it (an installed program is a symbolic link into
// its own folder, which applicationDirPath follows).
std::string ProgramDirectory() {
    const QString folder = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
#if defined(_WIN32)
    return fogbell::Utf8FromWide(folder.toStdWString().c_str());
#else
    return QFile::encodeName(folder).toStdString();
#endif
}

// The plug-in table that "fogbell-cli formats" prints too (FormatsTable); on standard error,
// the libraries that were left out and why.
int PrintFormats() {
    const fogbell::CorePaths paths = fogbell::PathsFor(ProgramDirectory());
    fogbell::PluginHost host;
    host.LoadDecoderPlugins(paths.decoderDirectory);
    host.LoadExplorerPlugins(paths.explorerDirectory);
    std::fputs(fogbell::FormatsTable(host).c_str(), stdout);
    for (const fogbell::LeftOutLibrary& library : host.LeftOut()) {
        std::fprintf(stderr, "fogbell: left out %s: %s\n", library.path.c_str(),
                     library.reason.c_str());
    }
    host.UnloadPlugins();
    return 0;
}

// Options that need no window (and so no display).
bool WantsNoWindow(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        for (const char* option : {"--formats", "--help", "-h", "--help-all", "--version", "-v"}) {
            if (std::strcmp(argv[i], option) == 0) {
                return true;
            }
        }
    }
    return false;
}

// A Windows program with a window starts without a console: what it prints goes nowhere unless
// it takes over the console of the command line that started it, when there is one. Output
// already redirected (to a file or a pipe) is left where it goes. True when the output goes
// somewhere.
bool UseParentConsole() {
#if defined(_WIN32)
    const auto missing = [](DWORD which) {
        const HANDLE handle = GetStdHandle(which);
        return handle == nullptr || handle == INVALID_HANDLE_VALUE;
    };
    const bool noOutput = missing(STD_OUTPUT_HANDLE);
    const bool noError = missing(STD_ERROR_HANDLE);
    bool attached = false;
    if ((noOutput || noError) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        attached = true;
        FILE* reopened = nullptr;
        if (noOutput) {
            freopen_s(&reopened, "CONOUT$", "w", stdout);
        }
        if (noError) {
            freopen_s(&reopened, "CONOUT$", "w", stderr);
        }
    }
    // The C library's own output counts too: a program that Wine starts from a terminal writes
    // there without a Windows handle of its own.
    const intptr_t crtOutput = _get_osfhandle(_fileno(stdout));
    return attached || (crtOutput != -1 && crtOutput != -2) || !missing(STD_OUTPUT_HANDLE);
#else
    return true;
#endif
}

}  // namespace

int main(int argc, char* argv[]) {
    if (WantsNoWindow(argc, argv)) {
        const bool output = UseParentConsole();
        QCoreApplication app(argc, argv);
        QCommandLineParser parser;
        if (!output) {
            Describe(app, parser);  // nowhere to print: Qt shows --help and --version in a box
        } else if (const std::optional<int> printed = PrintParserMessages(app, parser)) {
            return *printed;
        }
        return PrintFormats();
    }

    QApplication app(argc, argv);
    QApplication::setDesktopFileName("fogbell");
#if defined(_WIN32)
    // The dialog font of Windows, chosen rather than left to the system: Wine without Windows'
    // fonts has no Tahoma and would fall back on a serif face.
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans")});
    QApplication::setFont(font);
#endif
    QCommandLineParser parser;
    Describe(app, parser);

    // FOGBELL_AUDIO: the sound card through SDL (unset, "sdl") or the null device
    // ("null[:speed=N][:record=PATH]").
    const std::optional<fogbell::SoundOutputOptions> sound = fogbell::SoundOutputFromEnvironment();
    if (!sound) {
        QMessageBox::critical(nullptr, QCoreApplication::applicationName(),
                              QString("FOGBELL_AUDIO=%1 names no sound output. Use \"sdl\" or "
                                      "\"null[:speed=N][:record=PATH]\".")
                                  .arg(qEnvironmentVariable("FOGBELL_AUDIO")));
        return 1;
    }

    fogbell::window::WindowSetup setup;
    setup.paths = fogbell::PathsFor(ProgramDirectory());
    setup.pictureFile = QDir(QCoreApplication::applicationDirPath()).filePath("pic.jpg");
    setup.makePlayback = [options = *sound]() {
        return std::make_unique<fogbell::PlayEngine>(options);
    };

    fogbell::window::MainWindow window(std::move(setup));
    if (!window.Initialize()) {
        return 0;  // the reason has been shown; the settings are written
    }
    if (const QStringList files = parser.positionalArguments(); !files.isEmpty()) {
        window.show();
        window.OpenPath(files.front());
    }
    window.exec();
    return 0;
}
