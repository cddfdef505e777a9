// fogbell-cli: the core's commands for scripts and batch work.
//
//   fogbell-cli formats [--json]
//   fogbell-cli list PATH [--json]
//   fogbell-cli extract PATH [TRACK...] [-o DIR] [--force] [--json] [--manifest]
//   fogbell-cli pack DIR OUT [--force] [--raw]
//   fogbell-cli wav PATH [TRACK...] [-o DIR] [--force] [--json] [--loops N [--fade SECONDS]]
//   fogbell-cli decode FILE [-o DIR] [--force] [--json]
//   fogbell-cli replace PATH TRACK FILE [--rebuild] [--loop START:END | --no-loop | --raw]
//   fogbell-cli encode IN.wav OUT.adx|OUT.xmd [--rate R] [--channels C]
//   fogbell-cli play PATH [TRACK] [--loop] [--start SECONDS] [--volume 5000..10000]
//                    [--audio sdl|null]
//                    [--speed N] [--record FILE [--force]]
//
// PATH is a container file, or FILE::TRACK[::TRACK...] for a container inside a container; for
// "list" and "wav" it may also be a single audio file. TRACK is a name as "list" prints it, or
// #N for the N-th row. Exit status: 0 when everything succeeded, 1 when something failed, 2 for
// a usage error (a container named where a track is needed, or the reverse, and a folder named
// as a file, are ones); "play" stopped by SIGINT or SIGTERM exits with 130. With --json, a
// failure that printed no document prints {"error": TEXT} on standard output.
//
// Each command lives in a file of its own under commands/ (commands.h); this file adds them in
// order, parses the arguments and runs the one given.
#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h: its shell header needs the types windows.h declares.
#include <shellapi.h>
#endif

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_output.h"
#include "cli/command_context.h"
#include "cli/commands/commands.h"
#include "cli/json_text.h"
#include "fogbell_version.h"
#include "host/system/native_path.h"

namespace fogbell::cli {
namespace {

std::string ProgramDirectory() {
#if defined(_WIN32)
    std::wstring self(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
        if (length == 0) {
            return ".";
        }
        if (length < self.size()) {
            self.resize(length);
            break;
        }
        self.resize(self.size() * 2);  // cut short: a longer path
    }
    return Utf8FromPath(std::filesystem::path(self).parent_path());
#else
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : self.parent_path().string();
#endif
}

// {"error": TEXT} on standard output.
void PrintJsonError(const std::string& text) {
    std::printf("{\"error\": %s}\n", JsonString(text).c_str());
}

bool AsksForJson(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--json") {
            return true;
        }
    }
    return false;
}

int RunCommand(int argc, char** argv);

// The command's exit status; with --json, a failure that printed no document prints the error
// document of its last text.
int Run(int argc, char** argv) {
    const int status = RunCommand(argc, argv);
    if (status != kExitOk && AsksForJson(argc, argv) && !JsonDocumentPrinted()) {
        PrintJsonError(LastFailure().empty() ? "failed" : LastFailure());
    }
    return status;
}

int RunCommand(int argc, char** argv) {
    CLI::App app{
        "Lists, extracts, saves as WAVE and replaces the tracks of Mistvale's sound "
        "containers.\nPATH is a container file, or FILE::TRACK[::TRACK...] for a "
        "container inside a container.\nTRACK is a name as \"list\" prints it (\\xHH for a "
        "byte that is not text) or #N for the N-th row.",
        kProgram};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string(kProgram) + " " + FOGBELL_VERSION);
    CommandContext context(ProgramDirectory());
    app.add_option("--plugins", context.pluginRoot,
                   "Folder holding decode_plugins/ and explore_plugins/ (default: beside the "
                   "program)");

    AddFormatsCommand(app, context);
    AddListCommand(app, context);
    AddExtractCommand(app, context);
    AddPackCommand(app, context);
    AddWavCommand(app, context);
    AddDecodeCommand(app, context);
    AddReplaceCommand(app, context);
    AddEncodeCommand(app, context);
    AddLoudnessCommand(app, context);
    AddLoopCommand(app, context);
    AddPlayCommand(app, context);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        LastFailure() = e.what();
        return kExitUsage;
    }

    return context.RunGiven();
}

}  // namespace

#if defined(FOGBELL_NO_PLAYBACK)
// Playback is not part of this build (no sound layer): the command is known, and says so.
void AddPlayCommand(CLI::App& app, CommandContext& context) {
    CLI::App* play = app.add_subcommand(
        "play", "Play a single audio file, or a track of a container (not in this build)");
    play->allow_extras();
    context.OnRun(play, [] {
        Fail("play", "playback is not built into this program");
        return kExitFailed;
    });
}
#endif

}  // namespace fogbell::cli

#if defined(_WIN32)
// The arguments as UTF-8, from the wide command line: the narrow argv of a Windows program is in
// the local code page and cannot hold every file name. Output is written as bytes, with "\n"
// line ends, as on every other system.
int main() {
    int argc = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (wide == nullptr) {
        std::fputs("fogbell-cli: cannot read the command line\n", stderr);
        return 1;
    }
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.push_back(fogbell::Utf8FromWide(wide[i]));
    }
    LocalFree(wide);
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    try {
        return fogbell::cli::Run(argc, argv.data());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fogbell-cli: %s\n", e.what());
        return 1;
    }
}
#else
int main(int argc, char** argv) {
    try {
        return fogbell::cli::Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fogbell-cli: %s\n", e.what());
        return 1;
    }
}
#endif
