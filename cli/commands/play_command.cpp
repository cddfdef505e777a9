// fogbell-cli play PATH [TRACK] [--loop] [--start SECONDS] [--volume 5000..10000]
//                  [--audio sdl|null] [--speed N] [--record FILE [--force]]
// fogbell-cli play PATH [TRACK] --seam [SECONDS] [...]
//
// One audio file, or one track of a container (nested paths too), played through the core and
// the playback engine, as the window plays it. It ends when the last block has been heard (0),
// when the track cannot be played (1, the status text on standard error) or when SIGINT or
// SIGTERM stops it cleanly (130). With --seam, what is played is the track's loop seam: the last
// SECONDS (3 by default) before the loop's end, then on across the jump the first SECONDS from
// the loop's start, as a player looping the track plays them, so that a click at the jump is
// heard at once.
#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_output.h"
#include "cli/commands/commands.h"
#include "cli/loop_track.h"
#include "cli/terminal_view.h"
#include "cli/track_names.h"
#include "host/app/main_core.h"
#include "host/audio/wave_writer.h"
#include "host/containers/container_chain.h"
#include "host/playback/play_engine.h"
#include "host/playback/sound_output.h"
#include "host/system/native_path.h"
#include "host/system/system_files.h"
#include "host/tracks/track_jobs.h"

namespace fogbell::cli {
namespace {

constexpr int kExitInterrupted = 130;  // 128 + SIGINT, as shells report it
// The sound layer's code for "no device could be opened", and what to do about it.
constexpr const char* kNoDriver = "DSERR_NODRIVER";
constexpr const char* kNoDriverAdvice = "no sound device: try --audio null";
// What is said instead of the sound layer's text where that names DirectSound, which the
// system has not: the sound system's own reason follows it.
constexpr const char* kNoDevice = "no sound device could be opened";
constexpr auto kTimerPeriod = std::chrono::milliseconds(100);
constexpr double kSeamSeconds = 3.0;  // heard on each side of the loop's jump by default

std::atomic<bool> interrupted{false};

struct PlayRequest {
    std::string pluginRoot;  // holds decode_plugins/ and explore_plugins/
    std::string path;        // FILE, or FILE::TRACK[::TRACK...] for a container in a container
    std::string track;       // "" for a single audio file; a printed name or #N
    bool loop = false;
    double startSeconds = 0;  // where the sound begins (a format that cannot seek begins at 0)
    int volume = 10000;       // the slider's 5000..10000
    SoundOutputOptions output;
};

// The command's arguments: the request, and the sound output's options.
struct PlayOptions {
    PlayRequest play;
    std::string audio;
    std::optional<double> speed;
    std::string record;
    bool forceRecord = false;
    CLI::Option* seam = nullptr;  // given: play the loop seam
    std::string seamSeconds;      // "" for the default
};

// The file at path, removed when this goes.
class TemporaryFile {
  public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    ~TemporaryFile() { RemovePath(path_); }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

#if defined(_WIN32)
// Ctrl-C, Ctrl-Break and the console's close box end the play as SIGINT and SIGTERM do
// elsewhere; the handler runs on a thread of the system's, and only sets the flag.
BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
        interrupted = true;
        return TRUE;
    }
    return FALSE;
}

// Installs the console control handler and removes it when it goes.
class StopSignals {
  public:
    StopSignals() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }
    ~StopSignals() { SetConsoleCtrlHandler(OnConsoleControl, FALSE); }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
};

bool ErrorIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}
#else
extern "C" void OnStopSignal(int) {
    interrupted = true;
}

// Installs the handler for SIGINT and SIGTERM (without restarting interrupted calls) and puts
// the previous ones back when it goes.
class StopSignals {
  public:
    StopSignals() {
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previousInt_);
        sigaction(SIGTERM, &action, &previousTerm_);
    }
    ~StopSignals() {
        sigaction(SIGINT, &previousInt_, nullptr);
        sigaction(SIGTERM, &previousTerm_, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

  private:
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
};

bool ErrorIsTerminal() {
    return isatty(STDERR_FILENO) != 0;
}
#endif

// Selects the row that a TRACK argument (a printed name, or #N) means in the core's current
// container, which containerPath names; false with the reason in the status line when there is
// none.
bool SelectTrackRow(const MainCore& core, TerminalView& view, const std::string& containerPath,
                    const std::string& argument, std::string& name) {
    std::string error;
    if (core.CurrentContainer() == nullptr ||
        !ResolveTrack(*core.CurrentContainer(), containerPath, argument, name, error)) {
        view.SetStatus(error.empty() ? argument + " file not found." : argument + ": " + error);
        return false;
    }
    if (!view.SelectOnly(name)) {
        view.SetStatus(argument + " file not found.");
        return false;
    }
    return true;
}

// The length in seconds of the track (of container, else the file named), when it ends before
// seconds; none when it plays at least that long or cannot be read (playing then says why). It
// decodes no further than seconds.
std::optional<double> EndsBefore(const PluginHost& host, const ExplorerSession* container,
                                 const std::string& name, double seconds) {
    std::string error;
    const DecoderSessionPtr stream = OpenTrackStream(host, container, name, error);
    const std::optional<WAVEFORMATEX> format = stream ? stream->OutputFormat().value : std::nullopt;
    if (!format || format->nAvgBytesPerSec == 0 || !stream->CanDecode()) {
        return std::nullopt;
    }
    const double wanted = seconds * format->nAvgBytesPerSec;
    double bytes = 0;
    while (bytes < wanted) {
        const PcmBlock* block = stream->DecodeNext();
        if (block == nullptr || block->size == 0) {
            return bytes / format->nAvgBytesPerSec;
        }
        bytes += block->size;
    }
    return std::nullopt;
}

// The usage error of a --start at or past the end of the track, or nothing.
std::string StartPastEnd(const MainCore& core, const ExplorerSession* container,
                         const std::string& name, const PlayRequest& request) {
    if (request.startSeconds <= 0) {
        return "";
    }
    const std::optional<double> length =
        EndsBefore(core.Host(), container, name, request.startSeconds);
    if (!length) {
        return "";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", *length);
    char start[64];
    std::snprintf(start, sizeof start, "%g", request.startSeconds);
    return std::string("--start ") + start + " is past the end: " + PrintedName(name) + " lasts " +
           text + " seconds; give a --start below that";
}

// Opens the container chain of path into the core (the file, then each nested level) and
// double-clicks the track's row; or plays path as a single file when there is no track. Every
// level after the file, and the track, is a name as "list" prints it or a row number; without
// a TRACK argument the last level of a chain (FILE::TRACK) is the track.
// A --start past the end is not played: usage holds the usage error.
bool StartTrack(MainCore& core, TerminalView& view, const PlayRequest& request,
                std::string& usage) {
    std::vector<std::string> levels = SplitChainPath(request.path);
    std::string track = request.track;
    if (track.empty() && levels.size() > 1) {
        track = levels.back();
        levels.pop_back();
    }
    if (track.empty()) {
        usage = StartPastEnd(core, nullptr, request.path, request);
        return usage.empty() && core.OpenAudioFilePath(request.path);
    }
    if (!core.OpenContainerPath(levels.front())) {
        return false;
    }
    std::string containerPath = levels.front();
    std::string name;
    for (std::size_t i = 1; i < levels.size(); ++i) {
        if (!SelectTrackRow(core, view, containerPath, levels[i], name)) {
            return false;
        }
        if (!core.OpenNestedContainer() || core.CurrentContainer() == nullptr) {
            return false;
        }
        containerPath += "::" + levels[i];
    }
    if (!SelectTrackRow(core, view, containerPath, track, name)) {
        return false;
    }
    usage = StartPastEnd(core, core.CurrentContainer(), name, request);
    if (!usage.empty()) {
        return false;
    }
    view.SetPlayText("");
    core.StartPlayback();
    return true;
}

// A text of the sound layer, with what to do added when it says no device could be opened. Off
// Windows, that text is said in the sound system's own words, as DirectSound is Windows' name.
std::string WithSoundAdvice(const std::string& text) {
#if defined(_WIN32)
    return text.find(kNoDriver) == std::string::npos ? text : text + "; " + kNoDriverAdvice;
#else
    if (text.find(kNoDriver) != std::string::npos) {
        const std::string reason = SoundSystemReason();
        return std::string(kNoDevice) + (reason.empty() ? "" : " (" + reason + ")") +
               ": try --audio null";
    }
    return text.find("DSERR_") == std::string::npos && text.find("DirectSound") == std::string::npos
               ? text
               : std::string("the sound device failed: try --audio null");
#endif
}

// Plays as the request says: the exit status.
int Play(const PlayRequest& request) {
    TerminalView view(request.loop, ErrorIsTerminal());
    PlayEngine engine(request.output);
    MainCore core(view, engine);
    CorePaths paths;  // no settings file: the command neither reads nor writes the window's
    paths.decoderDirectory =
        (std::filesystem::path(request.pluginRoot) / "decode_plugins").string();
    paths.explorerDirectory =
        (std::filesystem::path(request.pluginRoot) / "explore_plugins").string();
    StopSignals signals;
    interrupted = false;
    if (!core.Initialize(paths)) {
        std::fprintf(stderr, "fogbell-cli: %s\n", WithSoundAdvice(view.LastStatus()).c_str());
        return kExitFailed;
    }
    view.SetCheck(CheckId::kLoopSound, request.loop);
    core.OnLoopSoundChanged();
    core.OnCommand(kCommandVolume, request.volume);
    core.SetStartSeconds(request.startSeconds);
    std::string usage;
    StartTrack(core, view, request, usage);
    if (!usage.empty()) {
        FailText(usage);
        core.Shutdown();
        return kExitUsage;
    }
    if (!engine.IsPlaying()) {
        const std::string status = WithSoundAdvice(view.LastStatus());
        std::fprintf(stderr, "fogbell-cli: %s: %s\n", request.path.c_str(),
                     status.empty() ? "cannot be played" : status.c_str());
        core.Shutdown();
        return kExitFailed;
    }
    if (request.startSeconds > 0 && !core.CanSeek()) {
        std::fprintf(stderr, "fogbell-cli: %s: this format cannot seek; playing from its start\n",
                     request.path.c_str());
    }
    // The window thread's loop: the queue, the 100 ms timer, the stop signals.
    auto nextTick = std::chrono::steady_clock::now();
    while (engine.IsPlaying() && !interrupted) {
        view.RunPosted();
        if (std::chrono::steady_clock::now() >= nextTick) {
            core.OnPlayTimer();
            view.Draw();
            nextTick += kTimerPeriod;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const bool stopped = interrupted;
    if (stopped) {
        core.StopPlayback();
    }
    view.Draw();
    view.EndLine();
    core.Shutdown();  // the stream closed, the thread ended, the device (and recording) released
    if (const std::string cut = RecordingCutAtLimit(); !cut.empty()) {
        std::fprintf(stderr,
                     "fogbell-cli: %s: the recording stopped at the WAVE format's 4 GiB limit; "
                     "what played after that is not in it (--start SECONDS records the rest)\n",
                     cut.c_str());
    }
    return stopped ? kExitInterrupted : kExitOk;
}

// The sound output the options ask for, and the request played through it: the exit status.
int RunPlay(CommandContext& context, PlayOptions& options) {
    PlayRequest& play = options.play;
    // --audio overrides FOGBELL_AUDIO, which overrides SDL.
    std::optional<SoundOutputOptions> sound =
        options.audio.empty() ? SoundOutputFromEnvironment() : ParseSoundOutput(options.audio);
    if (!sound) {
        Fail("FOGBELL_AUDIO", "not understood (sdl, or null[:speed=N][:record=PATH])");
        return kExitUsage;
    }
    if ((options.speed || !options.record.empty()) &&
        sound->kind != SoundOutputOptions::Kind::kNull) {
        Fail("play", "--speed and --record need the null device (--audio null)");
        return kExitUsage;
    }
    if (options.speed) {
        sound->speed = *options.speed;
    }
    if (!options.record.empty()) {
        sound->recordPath = options.record;
    }
    if (!sound->recordPath.empty() && !options.forceRecord && NameTaken(sound->recordPath)) {
        Fail(sound->recordPath, "the file exists (--force replaces it)");
        return kExitFailed;
    }
    // The core binds the plug-ins again: this host names what was left out, and tells a
    // container, which is not played as a whole, from a track.
    const PluginHost& host = context.Plugins();
    if (const int status = RefuseUnreadable(play.path); status != kExitOk) {
        return status;
    }
    if (RefuseContainer(host, play.track.empty() ? play.path : play.path + "::" + play.track)) {
        return kExitUsage;
    }
    play.output = *sound;
    play.pluginRoot = context.pluginRoot;
    if (options.seam == nullptr || !*options.seam) {
        return Play(play);
    }
    double seconds = kSeamSeconds;
    if (!options.seamSeconds.empty()) {
        char* end = nullptr;
        seconds = std::strtod(options.seamSeconds.c_str(), &end);
        if (end == options.seamSeconds.c_str() || *end != '\0' || !(seconds > 0) ||
            seconds > 3600) {
            Fail("--seam", "SECONDS is a number of seconds above 0 (at most 3600)");
            return kExitUsage;
        }
    }
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    const TemporaryFile seam(
        Utf8FromPath((error ? std::filesystem::path(".") : folder) /
                     ("fogbell-seam-" + std::to_string(CurrentProcessId()) + ".wav")));
    if (!WriteSeam(host, play.path, play.track, seconds, seam.Path())) {
        return kExitFailed;
    }
    play.path = seam.Path();
    play.track.clear();
    play.loop = false;
    play.startSeconds = 0;
    return Play(play);
}

}  // namespace

void AddPlayCommand(CLI::App& app, CommandContext& context) {
    auto options = std::make_shared<PlayOptions>();
    PlayRequest& play = options->play;
    CLI::App* playCommand = app.add_subcommand(
        "play", "Play a single audio file, or a track of a container, through the sound device");
    playCommand->add_option("PATH", play.path, "Audio file, or container")->required();
    playCommand->add_option("TRACK", play.track,
                            "Track name as \"list\" prints it, or #N (for a container)");
    playCommand->add_flag("--loop", play.loop, "Start again at the end of the track");
    playCommand
        ->add_option("--start", play.startSeconds,
                     "Begin this many seconds in (formats that can seek; others begin at 0)")
        ->check(CLI::NonNegativeNumber);
    playCommand->add_option("--volume", play.volume, "5000 (-50 dB) to 10000 (full, default)")
        ->check(CLI::Range(5000, 10000));
    playCommand->add_option("--audio", options->audio, "sdl (default) or null (no sound card)")
        ->check(CLI::IsMember({"sdl", "null"}));
    playCommand->add_option("--speed", options->speed, "null device: times real time (default 1)")
        ->check(CLI::PositiveNumber);
    playCommand->add_option("--record", options->record,
                            "null device: record what was played to this WAVE file");
    playCommand->add_flag("--force", options->forceRecord,
                          "Replace the recording's file when it exists (default: keep it)");
    options->seam =
        playCommand
            ->add_option("--seam", options->seamSeconds,
                         "Play the loop's seam: SECONDS (default 3) before the loop's end, then "
                         "on from its start")
            ->type_name("[SECONDS]")
            ->expected(0, 1);
    context.OnRun(playCommand, [&context, options] { return RunPlay(context, *options); });
}

}  // namespace fogbell::cli
