#include "host/playback/play_engine.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <system_error>

#include <time.h>

namespace fogbell {
namespace {

// A wait on a notification that never comes (a replaced event) starts over after this.
constexpr auto kWaitTimeout = std::chrono::milliseconds(3000);
constexpr std::int32_t kSilentVolume = -10000;

// Where reports go until the core installs itself: nowhere.
class QuietListener final : public PlaybackListener {
  public:
    void PlayFailed(const std::string&) override {}
    void PlayStarted(const std::string&, std::uint32_t) override {}
    void PlayEnded(std::int32_t) override {}
};
QuietListener quietListener;

// CPU time the calling thread has used.
std::uint64_t ThreadCpuNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u +
           static_cast<std::uint64_t>(now.tv_nsec);
}

}  // namespace

PlayEngine::PlayEngine(SoundOutputOptions options)
    : listener_(&quietListener), options_(std::move(options)) {}

PlayEngine::~PlayEngine() {
    Shutdown();
}

bool PlayEngine::StartPlayThread(std::string& error) {
    if (sound_.device != nullptr) {
        return true;  // already started
    }
    sound_.device = CreateSoundDevice(nullptr, options_);
    if (sound_.device == nullptr) {
        error = GetSoundErrorText();
        return false;
    }
    try {
        thread_ = std::thread([this] { PlayThreadProc(); });
    } catch (const std::system_error&) {
        error = "Can't create play thread.";
        DestroySoundContext(sound_);
        return false;
    }
    return true;
}

void PlayEngine::SetListener(PlaybackListener& listener) {
    assert(!thread_.joinable() && "the listener is installed before the play thread starts");
    listener_ = &listener;
}

bool PlayEngine::IsCurrentEndOfStream(std::int32_t parameter) const {
    return playing_ && parameter == currentTrack_;
}

PlaybackControl::Exclusion PlayEngine::ExcludeRefill() {
    return Exclusion(refill_);
}

void PlayEngine::SetWaitState(bool suspended, std::shared_ptr<SoundEvent> event) {
    {
        std::lock_guard lock(wake_);
        suspended_ = suspended;
        waitEvent_ = std::move(event);
    }
    wakeup_.notify_all();
}

void PlayEngine::DropBuffer() {
    // The thread stops waiting on the old event first; the buffer's device has stopped reading
    // it (and signalling the event) when ReleaseSoundObjects returns.
    {
        std::lock_guard lock(wake_);
        waitEvent_.reset();
    }
    if (sound_.buffer != nullptr) {
        StopSoundBuffer(sound_.buffer);
        ReleaseSoundObjects(sound_.buffer, nullptr);
        sound_.buffer = nullptr;
    }
    sound_.notifyEvent.reset();
}

void PlayEngine::Play(const Exclusion& held, DecoderSession& stream, const std::string& trackName,
                      const PlayOptions& options) {
    assert(held.owns_lock() && held.mutex() == &refill_);
    (void)held;
    ++trackNumber_;
    stream_ = &stream;
    pending_ = nullptr;
    feeder_.Forget();
    hasPlayingBlock_ = false;
    DropBuffer();

    const PluginAnswer<std::optional<WAVEFORMATEX>> out = stream.OutputFormat();
    if (!out.value) {
        listener_->PlayFailed(out.TextOr("ErrorGetFormatOut"));
        return;
    }
    format_ = *out.value;
    sizeData_ = stream.SizeData().value_or(0);
    sound_.buffer = CreateSoundBuffer(sound_.device, &format_);
    if (sound_.buffer == nullptr) {
        listener_->PlayFailed(GetSoundErrorText());
        return;
    }
    if (!CreateSoundNotify(sound_.buffer, &sound_.notifyEvent, -1)) {
        const std::string text = GetSoundErrorText();
        DropBuffer();
        listener_->PlayFailed(text);
        return;
    }
    sound_.notifyEvent->SetListener([this] {
        { std::lock_guard lock(wake_); }
        wakeup_.notify_all();
    });

    // The initial fill: the first block is in the buffer before it starts, the next one waits
    // for its notification. A stream with no block at all plays one silent second.
    stream.Reset();
    const WAVEFORMATEX source = stream.SourceFormat().value.value_or(format_);
    sourceRate_ = source.nSamplesPerSec;
    feeder_.Start(stream, source, format_, options.loop);
    if (options.startSeconds > 0) {
        MoveStream(static_cast<std::uint64_t>(options.startSeconds * format_.nSamplesPerSec));
    }
    if (const BlockFeeder::Block* first = feeder_.Next(looping_)) {
        WriteBlock(*first);
        pending_ = feeder_.Next(looping_);
    } else {
        const std::uint32_t second = format_.nAvgBytesPerSec;
        if (silence_.size() < second) {
            silence_.resize(second, 0);  // kept between tracks, grown only when needed
        }
        SetSoundData(sound_.buffer, silence_.data(), second);
    }
    SetSoundVolume(sound_.buffer, volume_);
    SetWaitState(false, sound_.notifyEvent);
    PlaySoundBuffer(sound_.buffer);
    currentTrack_ = trackNumber_;
    playing_ = true;
    listener_->PlayStarted(trackName, sizeData_);
}

void PlayEngine::WriteBlock(const BlockFeeder::Block& block) {
    // A lost block is skipped: the notification then stays where it was.
    if (SetSoundBlock(sound_.buffer, block.bytes.data(),
                      static_cast<std::uint32_t>(block.bytes.size()), &playingSince_) != 0) {
        playingBlock_.segments = block.segments;  // its bytes are the buffer's now
        playingFrames_ = block.bytes.size() / std::max<std::uint32_t>(format_.nBlockAlign, 1);
        hasPlayingBlock_ = true;
    }
}

std::optional<PlaybackControl::PlayedPosition> PlayEngine::Played() const {
    Exclusion held(refill_);
    if (!playing_ || !hasPlayingBlock_ || sound_.buffer == nullptr || stream_ == nullptr) {
        return std::nullopt;
    }
    const std::uint32_t frameBytes = std::max<std::uint32_t>(format_.nBlockAlign, 1);
    const std::uint64_t played = SoundBytesPlayed(sound_.buffer);
    const std::uint64_t into = played > playingSince_ ? (played - playingSince_) / frameBytes : 0;
    PlayedPosition position;
    position.frame =
        playingBlock_.StreamFrameAt(static_cast<std::uint32_t>(std::min(into, playingFrames_)));
    position.units = feeder_.UnitsAtFrame(position.frame);
    position.rate = format_.nSamplesPerSec;
    position.totalFrames = feeder_.FramesOfSize(sizeData_);
    position.size = sizeData_;
    position.canSeek = stream_->CanSeek();
    return position;
}

bool PlayEngine::MoveStream(std::uint64_t frame) {
    const std::uint64_t sample =
        format_.nSamplesPerSec == 0 || sourceRate_ == format_.nSamplesPerSec
            ? frame
            : frame * sourceRate_ / format_.nSamplesPerSec;
    if (!stream_->Seek(static_cast<std::uint32_t>(std::min<std::uint64_t>(sample, UINT32_MAX)))) {
        return false;
    }
    feeder_.Moved(frame);
    return true;
}

bool PlayEngine::SeekToFrame(std::uint64_t frame) {
    Exclusion held(refill_);
    if (!playing_ || stream_ == nullptr || sound_.buffer == nullptr || !MoveStream(frame)) {
        return false;
    }
    // What the buffer holds is dropped: the block from the new place is written at the write
    // cursor now, and a pass end that waits to be handled is forgotten (it belonged to the old
    // block). Past the end there is no block: the buffer stops and the thread is woken to end
    // the track (or, looping, to start it over).
    // A notification the device raised for the old block, even one that arrives after this, is
    // recognised by the play thread as stale and dropped.
    pending_ = nullptr;
    if (const BlockFeeder::Block* block = feeder_.Next(looping_)) {
        WriteBlock(*block);
        pending_ = feeder_.Next(looping_);
    } else {
        StopSoundBuffer(sound_.buffer);  // nothing more is heard
        RaiseSoundNotification(sound_.buffer, *sound_.notifyEvent);
    }
    return true;
}

void PlayEngine::ReleaseStream(const Exclusion& held) {
    assert(held.owns_lock() && held.mutex() == &refill_);
    (void)held;
    stream_ = nullptr;
    pending_ = nullptr;  // the decoder's block dies with its handle
    feeder_.Forget();
    hasPlayingBlock_ = false;
}

void PlayEngine::Stop(const Exclusion& held) {
    assert(held.owns_lock() && held.mutex() == &refill_);
    (void)held;
    playing_ = false;
    if (sound_.buffer != nullptr) {
        StopSoundBuffer(sound_.buffer);  // the position is kept
    }
    std::shared_ptr<SoundEvent> event;
    {
        std::lock_guard lock(wake_);
        event = waitEvent_;
    }
    SetWaitState(true, std::move(event));
}

void PlayEngine::SetVolume(int hundredthsOfDecibel) {
    Exclusion held(refill_);
    volume_ = std::clamp(hundredthsOfDecibel, kSilentVolume, 0);
    if (sound_.buffer != nullptr) {
        SetSoundVolume(sound_.buffer, volume_);
    }
}

void PlayEngine::Shutdown() {
    if (thread_.joinable()) {
        {
            Exclusion held(refill_);
            std::lock_guard lock(wake_);
            quit_ = true;
        }
        wakeup_.notify_all();
        thread_.join();  // the sound objects are released only after it has left its loop
    }
    Exclusion held(refill_);
    stream_ = nullptr;
    pending_ = nullptr;
    feeder_.Forget();
    hasPlayingBlock_ = false;
    playing_ = false;
    {
        std::lock_guard lock(wake_);
        waitEvent_.reset();
    }
    DestroySoundContext(sound_);
    std::vector<std::uint8_t>().swap(silence_);
}

PlayEngine::Counters PlayEngine::GetCounters() const {
    return Counters{wakeups_.load(), refills_.load(),
                    static_cast<double>(threadCpuNanoseconds_.load()) / 1e9};
}

std::uint64_t PlayEngine::PlayedBytes() const {
    Exclusion held(refill_);
    return SoundBytesPlayed(sound_.buffer);
}

void PlayEngine::PlayThreadProc() {
    for (;; threadCpuNanoseconds_ = ThreadCpuNanoseconds()) {
        std::shared_ptr<SoundEvent> event;
        {
            std::unique_lock lock(wake_);
            auto ready = [&] {
                return quit_ || (!suspended_ && waitEvent_ && waitEvent_->IsSet());
            };
            while (!ready()) {
                // Paused, or no notification to wait for: sleep until the window changes that.
                if (suspended_ || !waitEvent_) {
                    wakeup_.wait(lock);
                } else {
                    wakeup_.wait_for(lock, kWaitTimeout);
                }
                ++wakeups_;
            }
            if (quit_) {
                break;
            }
            event = waitEvent_;
        }
        bool ended = false;
        std::int32_t endedTrack = 0;
        {
            Exclusion held(refill_);
            // The window may have stopped or replaced the buffer since the wake-up.
            if (suspended_ || event != sound_.notifyEvent || !event->IsSet()) {
                continue;
            }
            if (!IsSoundNotificationCurrent(sound_.buffer)) {
                event->Reset();  // raised for a block a seek has replaced
                continue;
            }
            RefillStep(ended, endedTrack);
            ++refills_;
            event->Reset();
        }
        if (ended) {
            listener_->PlayEnded(endedTrack);  // outside the exclusion: the core may stop at once
        }
    }
}

void PlayEngine::RefillStep(bool& ended, std::int32_t& endedTrack) {
    if (pending_ != nullptr && stream_ != nullptr) {
        WriteBlock(*pending_);
        pending_ = feeder_.Next(looping_);
        return;
    }
    if (stream_ != nullptr && looping_) {
        // "Loop sound" was checked after the track's last block had been decided: start over
        // from the loop's start now. A decoder that cannot rewind plays its last pass again.
        StopSoundBuffer(sound_.buffer);
        if (feeder_.Restart()) {
            if (const BlockFeeder::Block* block = feeder_.Next(true)) {
                WriteBlock(*block);
                pending_ = feeder_.Next(true);
            }
        }
        PlaySoundBuffer(sound_.buffer);
        return;
    }
    StopSoundBuffer(sound_.buffer);
    ended = true;
    endedTrack = currentTrack_;
}

}  // namespace fogbell
