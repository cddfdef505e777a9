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

// CPU time the calling thread has used.
std::uint64_t ThreadCpuNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u +
           static_cast<std::uint64_t>(now.tv_nsec);
}

}  // namespace

PlayEngine::PlayEngine(MainView& view, SoundOutputOptions options)
    : view_(view), options_(std::move(options)) {}

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

void PlayEngine::SetCommandSink(CommandSink sink) {
    assert(!thread_.joinable() && "the sink is installed before the play thread starts");
    sink_ = std::move(sink);
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

const PcmBlock* PlayEngine::DecodeNext() {
    if (stream_ == nullptr || !stream_->IsOpen()) {
        return nullptr;
    }
    return stream_->DecodeNext();
}

void PlayEngine::Play(const Exclusion& held, DecoderSession& stream, const std::string& trackName) {
    assert(held.owns_lock() && held.mutex() == &refill_);
    (void)held;
    ++trackNumber_;
    stream_ = &stream;
    pending_ = nullptr;
    DropBuffer();

    const PluginAnswer<std::optional<WAVEFORMATEX>> out = stream.OutputFormat();
    if (!out.value) {
        view_.SetStatus(out.TextOr("ErrorGetFormatOut"));
        return;
    }
    const WAVEFORMATEX format = *out.value;
    const std::uint32_t size = stream.SizeData().value_or(0);
    sound_.buffer = CreateSoundBuffer(sound_.device, &format);
    if (sound_.buffer == nullptr) {
        view_.SetStatus(GetSoundErrorText());
        return;
    }
    if (!CreateSoundNotify(sound_.buffer, &sound_.notifyEvent, -1)) {
        const std::string text = GetSoundErrorText();
        DropBuffer();
        view_.SetStatus(text);
        return;
    }
    sound_.notifyEvent->SetListener([this] {
        { std::lock_guard lock(wake_); }
        wakeup_.notify_all();
    });
    view_.SetProgressRange(ProgressId::kPlay, 0, size);
    view_.SetProgressCaption(ProgressId::kPlay, trackName);

    // The initial fill: one silent second, and the first block waiting for its notification.
    stream.Reset();
    pending_ = stream.DecodeNext();
    const PluginAnswer<std::optional<WAVEFORMATEX>> again = stream.OutputFormat();
    if (!again.value) {
        // Playback still starts, without the silent pass.
        view_.SetStatus(again.TextOr("ErrorGetFormatOut"));
    } else {
        const std::uint32_t second = again.value->nAvgBytesPerSec;
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
    view_.EnableButton(ButtonId::kStop, true);
    view_.EnableButton(ButtonId::kPlay, false);
}

void PlayEngine::ReleaseStream(const Exclusion& held) {
    assert(held.owns_lock() && held.mutex() == &refill_);
    (void)held;
    stream_ = nullptr;
    pending_ = nullptr;  // the decoder's block dies with its handle
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
    auto* self = const_cast<PlayEngine*>(this);
    Exclusion held(self->refill_);
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
        bool postEnd = false;
        std::int32_t endedTrack = 0;
        {
            Exclusion held(refill_);
            // The window may have stopped or replaced the buffer since the wake-up.
            if (suspended_ || event != sound_.notifyEvent || !event->IsSet()) {
                continue;
            }
            RefillStep(postEnd, endedTrack);
            ++refills_;
            event->Reset();
        }
        if (postEnd && sink_) {
            view_.PostToWindow(
                [sink = sink_, endedTrack] { sink(kCommandEndOfStream, endedTrack); });
        }
    }
}

void PlayEngine::RefillStep(bool& postEnd, std::int32_t& endedTrack) {
    if (pending_ != nullptr && stream_ != nullptr) {
        SetSoundData(sound_.buffer, pending_->data, pending_->size);  // a lost block is skipped
        pending_ = DecodeNext();
        return;
    }
    if (stream_ != nullptr && view_.IsChecked(CheckId::kLoopSound)) {
        // The buffer plays its last pass once more; the first block follows at the next
        // notification. Without fnResetFile that pass repeats until Stop.
        StopSoundBuffer(sound_.buffer);
        if (stream_->Reset()) {
            pending_ = DecodeNext();
        }
        PlaySoundBuffer(sound_.buffer);
        return;
    }
    StopSoundBuffer(sound_.buffer);
    postEnd = true;
    endedTrack = currentTrack_;
}

}  // namespace fogbell
