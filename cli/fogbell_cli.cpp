// fogbell-cli: the core's commands for scripts and batch work.
//
//   fogbell-cli formats [--json]
//   fogbell-cli list PATH [--json]
//   fogbell-cli extract PATH [TRACK...] [-o DIR] [--force] [--json] [--manifest]
//   fogbell-cli pack DIR OUT [--force]                                      (pack_command.h)
//   fogbell-cli wav PATH [TRACK...] [-o DIR] [--force] [--json] [--loops N [--fade SECONDS]]
//   fogbell-cli decode FILE [-o DIR] [--force] [--json]
//   fogbell-cli replace PATH TRACK FILE [--rebuild] [--loop START:END | --no-loop | --raw]
//   fogbell-cli encode IN.wav OUT.adx|OUT.xmd [--rate R] [--channels C]   (encode_command.h)
//   fogbell-cli play PATH [TRACK] [--loop] [--start SECONDS] [--volume 5000..10000]
//                    [--audio sdl|null]
//                    [--speed N] [--record FILE [--force]]
//
// PATH is a container file, or FILE::TRACK[::TRACK...] for a container inside a container; for
// "list" and "wav" it may also be a single audio file. TRACK is a name as "list" prints it, or
// #N for the N-th row. Exit status: 0 when everything succeeded, 1 when something failed, 2 for
// a usage error (a container named where a track is needed, or the reverse, is one); "play"
// stopped by SIGINT or SIGTERM exits with 130. With --json, a failure that printed no document
// prints {"error": TEXT} on standard output.
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

#include "cli/batch_replace.h"
#include "cli/cli_output.h"
#include "cli/encode_command.h"
#include "cli/json_text.h"
#include "cli/pack_command.h"
#if !defined(FOGBELL_NO_PLAYBACK)
#include "cli/play_command.h"
#endif
#include "cli/track_commands.h"
#include "cli/track_names.h"
#include "fogbell_version.h"
#include "host/containers/container_chain.h"
#include "host/containers/container_replace.h"
#include "host/containers/replacement_file.h"
#include "host/plugins/plugin_host.h"
#include "host/system/native_path.h"
#include "host/system/system_files.h"

namespace fogbell::cli {
namespace {

// The end of a refusal of a file the track's decoder cannot read: how to write it all the same.
constexpr const char* kRawAdvice = "give --raw to write its bytes as they are";

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

int Replace(const PluginHost& host, const std::string& path, const std::string& track,
            const std::string& file, bool rebuild, const LoopOptions& loop, bool raw) {
    ContainerChain chain(host);
    const ExplorerSession* opened = OpenReplaceableContainer(chain, path);
    if (opened == nullptr) {
        return kExitFailed;
    }
    const ExplorerSession& container = *opened;
    std::string error;
    std::string name;
    if (!ResolveTrack(container, track, name, error)) {
        Fail(track, error);
        return kExitFailed;
    }
    // A WAVE file for a track of another format (or another WAVE format) goes in converted,
    // with a loop as the loop options say (track_conversion.h); a file the track's decoder
    // cannot read is refused unless it is meant raw.
    const ConvertedReplacement replacement(host, container, name, file, {}, LoopRequestOf(loop),
                                           raw);
    if (!replacement.Ok()) {
        Fail(file, replacement.LoopRefused()
                       ? replacement.Error() + " Nothing was replaced: " + kLoopAdvice + "."
                   : replacement.Unplayable()
                       ? replacement.Error() + " Nothing was replaced: " + kRawAdvice + "."
                       : replacement.Error());
        return kExitFailed;
    }
    if (!replacement.Note().empty()) {
        std::printf("%s\n", replacement.Note().c_str());
    }
    ContainerReplaceRequest request;
    request.chain = chain.Levels();
    request.links = chain.Links();
    request.track = name;
    request.replacement = replacement.Path();
    request.allowRebuild = rebuild;
    // The chain is not needed once a rebuilt file is complete, and Windows replaces no file
    // that is still mapped.
    request.releaseChain = [&chain] { chain.Close(); };
    const ContainerReplaceResult result = ReplaceInContainer(request);
    switch (result.outcome) {
        case ContainerReplaceOutcome::kReplacedInPlace:
            // A replacement the plug-in had to cut still succeeds, with its text.
            std::printf("%s\n", result.text == "OK" ? "Replace OK"
                                                    : ("Replace OK: " + result.text).c_str());
            return kExitOk;
        case ContainerReplaceOutcome::kRebuilt:
            std::printf("Replace OK: the container was rebuilt\n");
            return kExitOk;
        case ContainerReplaceOutcome::kNeedsRebuild: {
            const std::string sizes = "the replacement takes " + std::to_string(result.size) +
                                      " bytes, the track has room for " +
                                      std::to_string(result.room);
            Fail(PrintedName(name),
                 result.rebuildable ? sizes + "; run again with --rebuild to rebuild the container"
                                    : sizes + ", and a container of this kind cannot be rebuilt");
            return kExitFailed;
        }
        case ContainerReplaceOutcome::kFailed:
            break;
    }
    Fail(PrintedName(name), result.text);
    return kExitFailed;
}

// The plug-in folders under root, as texts name them.
std::string DecoderFolder(const std::string& root) {
    return Utf8FromPath(PathFromUtf8(root) / "decode_plugins");
}
std::string ExplorerFolder(const std::string& root) {
    return Utf8FromPath(PathFromUtf8(root) / "explore_plugins");
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
    std::string pluginRoot = ProgramDirectory();
    app.add_option("--plugins", pluginRoot,
                   "Folder holding decode_plugins/ and explore_plugins/ (default: beside the "
                   "program)");

    std::string path, track, file;
    std::vector<std::string> tracks;
    bool json = false;
    OutputOptions output;
    const char* trackHelp = "Track names as \"list\" prints them, or #N for the N-th row";
    auto addOutputOptions = [&](CLI::App* command) {
        command->add_option("-o,--output", output.directory, "Output folder (default: .)");
        command->add_flag("--force", output.force, "Replace existing files (default: keep them)");
        command->add_flag("--json", output.json, "Report the files as JSON");
    };

    CLI::App* formats = app.add_subcommand("formats", "Bound plug-ins, their kind and extensions");
    formats->add_flag("--json", json, "Machine-readable output");
    CLI::App* list = app.add_subcommand("list", "One row per track: name, length, bitrate");
    list->add_option("PATH", path, "Container, or a single audio file")->required();
    list->add_flag("--json", json, "Machine-readable output with typed values");
    CLI::App* extract =
        app.add_subcommand("extract", "Extract tracks as stored (every track when none is named)");
    extract->add_option("PATH", path, "Container")->required();
    extract->add_option("TRACK", tracks, trackHelp);
    addOutputOptions(extract);
    extract->add_flag("--manifest", output.manifest,
                      "Also write DIR/fogbell-manifest.json, from which \"pack\" rebuilds the "
                      "container");
    std::string packOut;
    CLI::App* pack = app.add_subcommand(
        "pack",
        "Build a container from a folder: as its fogbell-manifest.json says, else an AFS "
        "archive of its files in name order");
    pack->add_option("DIR", path, "Folder")->required();
    pack->add_option("OUT", packOut, "Container to write")->required();
    pack->add_flag("--force", output.force, "Replace an existing OUT (default: keep it)");
    CLI::App* wav = app.add_subcommand(
        "wav", "Save tracks as 16-bit PCM WAVE files (every playable track when none is named)");
    wav->add_option("PATH", path, "Container, or a single audio file")->required();
    wav->add_option("TRACK", tracks, trackHelp);
    addOutputOptions(wav);
    std::optional<std::uint32_t> loops;
    LoopUnrolling unrolling;
    CLI::Option* loopsOption =
        wav->add_option("--loops", loops,
                        "Tracks with loop points: the intro, the loop N times, then a fade-out "
                        "(others are written once)")
            ->type_name("N")
            ->check(CLI::Validator(LoopCountProblem, ""));
    wav->add_option("--fade", unrolling.fadeSeconds,
                    "With --loops: seconds of fade-out after the last loop (default 10; 0: none)")
        ->type_name("SECONDS")
        ->check(CLI::Validator(FadeProblem, ""))
        ->needs(loopsOption);
    CLI::App* decode =
        app.add_subcommand("decode", "Save a single audio file as a 16-bit PCM WAVE file");
    decode->add_option("FILE", path, "Audio file")->required();
    addOutputOptions(decode);
    CLI::App* replace = app.add_subcommand("replace", "Overwrite a track inside its container");
    replace->add_option("PATH", path, "Container")->required();
    replace->add_option("TRACK", track, "Track name as \"list\" prints it, or #N");
    replace->add_option("FILE", file,
                        "Replacement file (a WAVE file goes in converted to the track's format)");
    std::string fromFolder;
    CLI::Option* fromOption = replace->add_option(
        "--from", fromFolder,
        "Replace every track named by a file of this folder (NAME, NAME.wav or NAME's stem "
        ".wav), all at once, instead of TRACK FILE");
    bool replaceJson = false;
    replace->add_flag("--json", replaceJson, "With --from: report as JSON")->needs(fromOption);
    bool rebuild = false;
    replace->add_flag("--rebuild", rebuild,
                      "Rebuild the container when the replacement is larger than the track's room");
    LoopOptions replaceLoop;
    AddLoopOptions(replace, replaceLoop);
    bool raw = false;
    replace
        ->add_flag("--raw", raw,
                   "Write FILE's bytes as they are: not converted, nor checked against the "
                   "track's decoder")
        ->excludes("--loop")
        ->excludes("--no-loop");
    EncodeRequest encodeRequest;
    CLI::App* encode = AddEncodeCommand(app, encodeRequest);

#if !defined(FOGBELL_NO_PLAYBACK)
    PlayRequest play;
    std::string audio;
    std::optional<double> speed;
    std::string record;
    CLI::App* playCommand = app.add_subcommand(
        "play", "Play a single audio file, or a track of a container, through the sound device");
    playCommand->add_option("PATH", path, "Audio file, or container")->required();
    playCommand->add_option("TRACK", play.track,
                            "Track name as \"list\" prints it, or #N (for a container)");
    playCommand->add_flag("--loop", play.loop, "Start again at the end of the track");
    playCommand
        ->add_option("--start", play.startSeconds,
                     "Begin this many seconds in (formats that can seek; others begin at 0)")
        ->check(CLI::NonNegativeNumber);
    playCommand->add_option("--volume", play.volume, "5000 (-50 dB) to 10000 (full, default)")
        ->check(CLI::Range(5000, 10000));
    playCommand->add_option("--audio", audio, "sdl (default) or null (no sound card)")
        ->check(CLI::IsMember({"sdl", "null"}));
    playCommand->add_option("--speed", speed, "null device: times real time (default 1)")
        ->check(CLI::PositiveNumber);
    playCommand->add_option("--record", record,
                            "null device: record what was played to this WAVE file");
    bool forceRecord = false;
    playCommand->add_flag("--force", forceRecord,
                          "Replace the recording's file when it exists (default: keep it)");

#else
    // Playback is not part of this build (no sound layer): the command is known, and says so.
    CLI::App* playCommand = app.add_subcommand(
        "play", "Play a single audio file, or a track of a container (not in this build)");
    playCommand->allow_extras();
#endif

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

#if !defined(FOGBELL_NO_PLAYBACK)
    if (*playCommand) {
        // --audio overrides FOGBELL_AUDIO, which overrides SDL.
        std::optional<SoundOutputOptions> sound =
            audio.empty() ? SoundOutputFromEnvironment() : ParseSoundOutput(audio);
        if (!sound) {
            Fail("FOGBELL_AUDIO", "not understood (sdl, or null[:speed=N][:record=PATH])");
            return kExitUsage;
        }
        if ((speed || !record.empty()) && sound->kind != SoundOutputOptions::Kind::kNull) {
            Fail("play", "--speed and --record need the null device (--audio null)");
            return kExitUsage;
        }
        if (speed) {
            sound->speed = *speed;
        }
        if (!record.empty()) {
            sound->recordPath = record;
        }
        if (!sound->recordPath.empty() && !forceRecord && NameTaken(sound->recordPath)) {
            Fail(sound->recordPath, "the file exists (--force replaces it)");
            return kExitFailed;
        }
        // The core binds the plug-ins again: this host names what was left out, and tells a
        // container, which is not played as a whole, from a track.
        PluginHost host;
        host.LoadDecoderPlugins(DecoderFolder(pluginRoot));
        host.LoadExplorerPlugins(ExplorerFolder(pluginRoot));
        NameLeftOut(host);
        if (play.track.empty() && RefuseContainer(host, path)) {
            return kExitUsage;
        }
        play.output = *sound;
        play.path = path;
        play.pluginRoot = pluginRoot;
        return Play(play);
    }
#else
    if (*playCommand) {
        Fail("play", "playback is not built into this program");
        return kExitFailed;
    }
#endif

    PluginHost host;
    host.LoadDecoderPlugins(DecoderFolder(pluginRoot));
    host.LoadExplorerPlugins(ExplorerFolder(pluginRoot));
    if (*formats) {
        if (host.Decoders().empty() && host.Explorers().empty()) {
            NameLeftOut(host);
            Fail("formats", "no plug-in found in " + DecoderFolder(pluginRoot) + " nor in " +
                                ExplorerFolder(pluginRoot) + " (--plugins names their folder)");
            return kExitFailed;
        }
        return Formats(host, json);
    }
    NameLeftOut(host);
    if (((*extract || *replace) && RefuseTrack(host, path)) ||
        ((*decode || *encode) && RefuseContainer(host, *encode ? encodeRequest.input : path))) {
        return kExitUsage;
    }
    if (*list) {
        return List(host, path, json);
    }
    if (*extract) {
        return Extract(host, path, tracks, output);
    }
    if (*pack) {
        return Pack(host, path, packOut, output.force);
    }
    if (*wav || *decode) {
        if (loops) {
            unrolling.passes = *loops;
        }
        return SaveWave(host, path, tracks, output, decode->parsed(),
                        loops ? std::optional(unrolling) : std::nullopt);
    }
    if (*encode) {
        return RunEncode(host, encodeRequest);
    }
    const bool named = !track.empty() && !file.empty();
    const bool anyNamed = !track.empty() || !file.empty();
    if (*fromOption ? anyNamed || fromFolder.empty() : !named) {
        Fail("replace", "give TRACK and FILE, or --from DIR");
        return kExitUsage;
    }
    if (!fromFolder.empty()) {
        return ReplaceFromFolder(host, path, fromFolder, rebuild, replaceJson, replaceLoop, raw);
    }
    return Replace(host, path, track, file, rebuild, replaceLoop, raw);
}

}  // namespace
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
