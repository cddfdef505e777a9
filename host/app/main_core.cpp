// The core's start and end, its commands and playback. Settings, opening files and the track
// list, and the track commands' workers live beside it (main_core_*.cpp).
#include "host/app/main_core.h"

#include "host/tracks/track_jobs.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <utility>

namespace fogbell {
namespace {

constexpr const char* kNothingToPlay = "Nothing to play: select a track in the list first.";

}  // namespace

std::string ClockText(std::uint64_t frames, std::uint32_t rate) {
    const std::uint64_t seconds = rate == 0 ? 0 : frames / rate;
    const std::uint64_t hours = seconds / 3600;
    const std::uint64_t minutes = seconds / 60 % 60;
    char text[32];
    if (hours > 0) {
        std::snprintf(text, sizeof text, "%llu:%02llu:%02llu",
                      static_cast<unsigned long long>(hours),
                      static_cast<unsigned long long>(minutes),
                      static_cast<unsigned long long>(seconds % 60));
    } else {
        std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(minutes),
                      static_cast<unsigned long long>(seconds % 60));
    }
    return text;
}

MainCore::MainCore(MainView& view, PlaybackControl& playback) : view_(view), playback_(playback) {
    view_.BindTracks(tracks_);
    playback_.SetListener(*this);
}

void MainCore::PlayFailed(const std::string& reason) {
    view_.SetStatus(reason);
}

void MainCore::PlayStarted(const std::string& trackName, std::uint32_t size) {
    view_.SetProgressRange(ProgressId::kPlay, 0, size);
    view_.SetProgressCaption(ProgressId::kPlay, trackName);
    view_.EnableButton(ButtonId::kStop, true);
    view_.EnableButton(ButtonId::kPlay, false);
}

void MainCore::PlayEnded(std::int32_t track) {
    // From the play thread: the end becomes command 2032 on the window's queue, where it may
    // outlive the core.
    view_.PostToWindow([this, alive = std::weak_ptr(alive_), track] {
        if (!alive.expired()) {
            OnCommand(kCommandEndOfStream, track);
        }
    });
}

MainCore::~MainCore() {
    if (initialized_) {
        Shutdown();
    }
    workers_.WaitForAll();
}

bool MainCore::Initialize(const CorePaths& paths) {
    paths_ = paths;
    view_.SetVolumeSlider(kVolumeFull);
    LoadSettings();
    host_.LoadDecoderPlugins(paths_.decoderDirectory);
    host_.LoadExplorerPlugins(paths_.explorerDirectory);
    view_.SetSaveDirectoryBox(saveDirectory_);
    view_.ApplyTopMost(view_.IsChecked(CheckId::kAlwaysOnTop));
    view_.EnableButton(ButtonId::kPreviousDirectory, false);
    view_.EnableButton(ButtonId::kPlay, false);
    view_.EnableButton(ButtonId::kStop, false);
    initialized_ = true;  // a failed start still tears down and writes the settings
    OnLoopSoundChanged();
    std::string error;
    if (!playback_.StartPlayThread(error)) {
        view_.ShowMessage(error, MessageIcon::kStop);
        return false;
    }
    return true;
}

void MainCore::Shutdown() {
    if (!initialized_) {
        return;
    }
    initialized_ = false;
    SaveSettings();
    // Workers use the current container and the plug-ins: they stop between tracks (or blocks)
    // and are waited for before anything they use is closed.
    stopWorkers_ = true;
    workers_.WaitForAll();
    CloseOpenStream();
    tracks_.DropSource();
    chain_.Close();
    playback_.Shutdown();
    host_.UnloadPlugins();
}

// ---------------------------------------------------------------------------------------------
// Commands

std::vector<MenuItem> MainCore::TrackMenuItems() const {
    const std::vector<std::string> selected = CollectSelectedNames();
    const std::size_t n = selected.size();
    const ExplorerSession* current = chain_.Innermost();
    const bool container = current != nullptr;
    const bool decoder = n > 0 && host_.FindDecoder(selected.front()) != nullptr;
    const bool replace = n == 1 && container && current->CanReplace();
    return {
        {kCommandExtract, "Extract...", n > 0 && container},
        {kCommandSaveWave, "Save as wav..", n > 0 && container && (n > 1 || decoder)},
        {kCommandReplace, "Replace file", replace},
        {kCommandExtractAll, "Extract all files...", tracks_.ShownCount() > 0},
    };
}

void MainCore::ShowTrackMenu(int x, int y) {
    const std::vector<MenuItem> items = TrackMenuItems();
    const std::optional<int> choice = view_.ShowMenu(items, x, y);
    if (!choice) {
        return;
    }
    for (const MenuItem& item : items) {
        if (item.command == *choice && item.enabled) {
            OnCommand(*choice);
        }
    }
}

bool MainCore::OnCommand(int command, std::int32_t parameter) {
    switch (command) {
        case kCommandExtractAll:
        case kCommandExtract:
            pendingCommand_ = command;
            StartExtract(command);
            return true;
        case kCommandReplace:
            ReplaceTrack();
            return true;
        case kCommandSaveWave:
            StartSaveWave();
            return true;
        case kCommandVolume:
            volume_ = std::clamp(parameter, kVolumeLowest, kVolumeFull);
            playback_.SetVolume(volume_ - kVolumeFull);
            return true;
        case kCommandEndOfStream:
            // Posted for the play thread's end report; one for an earlier track never stops this.
            if (playback_.IsCurrentEndOfStream(parameter)) {
                StopPlayback();
            }
            return true;
        default:
            return false;
    }
}

void MainCore::OnWorkersEnded() {
    // The last worker to end gives the buttons back.
    view_.EnableButton(ButtonId::kPreviousDirectory, chain_.Depth() > 0);
    view_.EnableButton(ButtonId::kOpenContainer, true);
    if (pendingRebuild_) {
        StartPendingRebuild();
    }
}

bool MainCore::LaunchWorker(const char* what, WorkerPool::Body body) {
    view_.EnableButton(ButtonId::kPreviousDirectory, false);
    view_.EnableButton(ButtonId::kOpenContainer, false);
    std::string reason;
    if (!workers_.Launch(std::move(body), reason)) {
        view_.SetStatus(std::string(what) + ": can't start a worker thread (" + reason + ").");
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Playback

void MainCore::CloseOpenStream() {
    auto exclusion = playback_.ExcludeRefill();
    CloseOpenStream(exclusion);
}

void MainCore::CloseOpenStream(const PlaybackControl::Exclusion& held) {
    // The waveform's job reads the same track (and may read the container's bytes).
    StopWaveform();
    playback_.ReleaseStream(held);
    CloseOpenedFile(openStream_);
}

void MainCore::StartPlayback() {
    // The play text is a full path (the single-file command) and is kept whole; a name taken
    // from a row is only ever looked up in the open container, never opened as a path.
    const std::string text = view_.PlayText();
    if (text.empty() && OpenNestedContainer()) {
        return;  // a container row opens, as on a double-click
    }
    const std::optional<std::string_view> first = tracks_.FirstSelectedName();
    const bool fromRow = first.has_value() && text.empty();
    const std::string name = fromRow ? std::string(*first) : text;
    if (name.empty() && !fromRow) {
        view_.SetStatus(kNothingToPlay);
        UpdatePlayButton();
        return;
    }
    // The waveform's job takes the explorer's lock, which the track's bytes below hold.
    StopWaveform();
    view_.SetProgressPos(ProgressId::kPlay, 0);

    std::string error;
    // Order: the explorer, then the refill exclusion, then the decoder. The track's bytes stay
    // held until the decoder has taken them (an AIX record selects the track).
    TrackBytes track;
    if (fromRow) {
        if (chain_.Innermost() != nullptr && chain_.Innermost()->IsOpen()) {
            track = chain_.Innermost()->Track(name);
            if (!track) {
                error = host_.FindDecoder(name) ? track.TextOr("Error loading file.")
                                                : "Format unsupported.";
            }
        } else {
            error = "No container is open.";
        }
    }
    // The whole track change happens under the exclusion: the feeding thread never sees the old
    // stream closed under it, nor the new one before the engine has taken it.
    auto exclusion = playback_.ExcludeRefill();
    CloseOpenStream(exclusion);
    if (error.empty()) {
        openStream_ = host_.OpenStream(name, track.Data(), track.Size(), error);
    }
    track.Release();
    if (!openStream_) {
        // Whatever played before has gone: the bar and the buttons say so, with the reason.
        if (playback_.IsPlaying()) {
            playback_.Stop(exclusion);
        }
        view_.SetStatus(error);
        ShowPlayBarIdle();
        view_.EnableButton(ButtonId::kStop, false);
        UpdatePlayButton();
        return;
    }
    OnLoopSoundChanged();
    playingName_ = name;
    PlaybackControl::PlayOptions options;
    options.loop = openStream_->Loop();
    options.startSeconds = std::exchange(startSeconds_, 0.0);
    playback_.Play(exclusion, *openStream_, name, options);
    if (playback_.IsPlaying()) {
        StartWaveform(name, fromRow);
    }
}

void MainCore::StartWaveform(const std::string& name, bool fromRow) {
    const ExplorerSession* container = fromRow ? chain_.Innermost() : nullptr;
    waveform_.Start([this, container, name](const std::atomic<bool>& stop) {
        std::string ignored;
        const DecoderSessionPtr stream = OpenTrackStream(host_, container, name, ignored);
        std::optional<Waveform> wave;
        if (stream) {
            wave = ComputeWaveform(*stream, kWaveformColumns, stop);
        }
        if (wave) {  // else the bar stays without a waveform
            std::lock_guard lock(waveformMutex_);
            readyWaveform_ = std::move(wave);
        }
    });
}

void MainCore::StopWaveform() {
    waveform_.Cancel();
    {
        std::lock_guard lock(waveformMutex_);
        readyWaveform_.reset();
    }
    playingFrames_ = 0;
    view_.SetPlayWaveform({});
}

bool MainCore::CanSeek() const {
    const auto played = playback_.Played();
    return played && played->canSeek && played->size != 0 && played->totalFrames != 0;
}

bool MainCore::SeekBar(std::uint32_t units) {
    const auto played = playback_.Played();
    if (!played || !played->canSeek || played->size == 0 || played->totalFrames == 0) {
        return false;
    }
    return playback_.SeekToFrame(std::uint64_t{units} * played->totalFrames / played->size);
}

bool MainCore::SeekBy(int seconds) {
    const auto played = playback_.Played();
    if (!played || !played->canSeek) {
        return false;
    }
    const std::int64_t step = std::int64_t{seconds} * played->rate;
    const std::int64_t frame = static_cast<std::int64_t>(played->frame) + step;
    return playback_.SeekToFrame(static_cast<std::uint64_t>(std::max<std::int64_t>(frame, 0)));
}

void MainCore::OnLoopSoundChanged() {
    playback_.SetLooping(view_.IsChecked(CheckId::kLoopSound));
}

void MainCore::StopPlayback() {
    auto exclusion = playback_.ExcludeRefill();
    playback_.Stop(exclusion);
    view_.EnableButton(ButtonId::kStop, false);
    CloseOpenStream(exclusion);
    ShowPlayBarIdle();
    UpdatePlayButton();
}

void MainCore::ShowPlayBarIdle() {
    view_.SetProgressPos(ProgressId::kPlay, 0);
    view_.SetProgressCaption(ProgressId::kPlay, kPlayBarIdle);
}

bool MainCore::CanPlay() const {
    // The play text is the window's own until a single file is opened: it counts when a decoder
    // serves it.
    if (const std::string text = view_.PlayText(); !text.empty()) {
        return host_.FindDecoder(text) != nullptr;
    }
    const ExplorerSession* current = chain_.Innermost();
    const std::optional<std::string_view> first = tracks_.FirstSelectedName();
    if (current == nullptr || !current->IsOpen() || !first) {
        return false;
    }
    const std::string name(*first);
    return host_.FindDecoder(name) != nullptr || host_.FindExplorer(name) != nullptr;
}

void MainCore::UpdatePlayButton() {
    view_.EnableButton(ButtonId::kPlay, !playback_.IsPlaying() && CanPlay());
}

void MainCore::OnPlayTimer() {
    const std::optional<PlaybackControl::PlayedPosition> played = playback_.Played();
    if (!played) {
        return;
    }
    std::optional<Waveform> wave;
    {
        std::lock_guard lock(waveformMutex_);
        wave = std::exchange(readyWaveform_, std::nullopt);
    }
    if (wave) {
        playingFrames_ = wave->frames;  // counted, where the engine can only estimate
        view_.SetPlayWaveform(*wave);
    }
    view_.SetProgressPos(ProgressId::kPlay, played->units);
    std::string caption = playingName_ + "  " + ClockText(played->frame, played->rate);
    const std::uint64_t total = playingFrames_ != 0 ? playingFrames_ : played->totalFrames;
    if (total != 0) {
        caption += " / " + ClockText(total, played->rate);
    }
    view_.SetProgressCaption(ProgressId::kPlay, caption);
    playback_.SetVolume(volume_ - kVolumeFull);
}

}  // namespace fogbell
