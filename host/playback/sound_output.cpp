#include "host/playback/sound_output.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "host/playback/sound_device.h"

namespace fogbell {
namespace {

// The layer's error text and last result: one per process, shared by the window and the play
// thread, so both live under one lock.
std::mutex errorMutex;
std::string soundErrorText;
SoundResult lastSoundResult = kSoundOk;

constexpr std::size_t kErrorTextLimit = 259;  // characters kept, as the text has always held
constexpr std::uint16_t kBitsPerSample = 16;
constexpr std::uint16_t kMaxChannels = 8;

void StoreResult(SoundResult result) {
    std::lock_guard lock(errorMutex);
    lastSoundResult = result;
}

void SetErrorText(const std::string& text) {
    std::lock_guard lock(errorMutex);
    soundErrorText = text.substr(0, kErrorTextLimit);
}

const char* ResultName(SoundResult result) {
    switch (result) {
        case DSERR_UNSUPPORTED:
            return "DSERR_UNSUPPORTED";
        case DSERR_NOAGGREGATION:
            return "DSERR_NOAGGREGATION";
        case DSERR_OUTOFMEMORY:
            return "DSERR_OUTOFMEMORY";
        case DSERR_INVALIDPARAM:
            return "DSERR_INVALIDPARAM";
        case DSERR_ALLOCATED:
            return "DSERR_ALLOCATED";
        case DSERR_CONTROLUNAVAIL:
            return "DSERR_CONTROLUNAVAIL";
        case DSERR_INVALIDCALL:
            return "DSERR_INVALIDCALL";
        case DSERR_PRIOLEVELNEEDED:
            return "DSERR_PRIOLEVELNEEDED";
        case DSERR_BADFORMAT:
            return "DSERR_BADFORMAT";
        case DSERR_NODRIVER:
            return "DSERR_NODRIVER";
        case DSERR_UNINITIALIZED:
            return "DSERR_UNINITIALIZED";
        default:
            return "Unknown error";
    }
}

// prefix + the name of the result code ("SetSoundData: DSERR_INVALIDPARAM").
void FormatSoundError(const char* prefix, SoundResult result) {
    SetErrorText(std::string(prefix) + ResultName(result));
}

// A 16-bit PCM format every device can play: the fields agree with one another.
SoundResult CheckFormat(const WAVEFORMATEX& f) {
    if (f.nAvgBytesPerSec == 0) {
        return DSERR_INVALIDPARAM;  // a second of no bytes
    }
    const bool consistent = f.wFormatTag == FOGBELL_WAVE_FORMAT_PCM &&
                            f.wBitsPerSample == kBitsPerSample && f.nChannels >= 1 &&
                            f.nChannels <= kMaxChannels && f.nSamplesPerSec > 0 &&
                            f.nBlockAlign == f.nChannels * 2 &&
                            std::uint64_t{f.nSamplesPerSec} * f.nBlockAlign == f.nAvgBytesPerSec;
    return consistent ? kSoundOk : DSERR_BADFORMAT;
}

bool ParsePositive(const std::string& text, double& value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(value) && value > 0;
}

}  // namespace

std::optional<SoundOutputOptions> ParseSoundOutput(const std::string& text) {
    SoundOutputOptions options;
    if (text == "sdl") {
        return options;
    }
    constexpr std::string_view kNull = "null";
    if (text.compare(0, kNull.size(), kNull) != 0 ||
        (text.size() > kNull.size() && text[kNull.size()] != ':')) {
        return std::nullopt;
    }
    options.kind = SoundOutputOptions::Kind::kNull;
    std::size_t at = kNull.size();
    while (at < text.size()) {
        ++at;  // the colon
        constexpr std::string_view kRecord = "record=";
        constexpr std::string_view kSpeed = "speed=";
        if (text.compare(at, kRecord.size(), kRecord) == 0) {
            options.recordPath = text.substr(at + kRecord.size());
            if (options.recordPath.empty()) {
                return std::nullopt;
            }
            break;  // the path is the rest of the text
        }
        const std::size_t next = std::min(text.find(':', at), text.size());
        const std::string option = text.substr(at, next - at);
        if (option.compare(0, kSpeed.size(), kSpeed) != 0 ||
            !ParsePositive(option.substr(kSpeed.size()), options.speed)) {
            return std::nullopt;
        }
        at = next;
    }
    return options;
}

std::optional<SoundOutputOptions> SoundOutputFromEnvironment() {
    const char* text = std::getenv("FOGBELL_AUDIO");
    if (text == nullptr || *text == '\0') {
        return SoundOutputOptions{};
    }
    return ParseSoundOutput(text);
}

void SoundEvent::Set() {
    std::function<void()> listener;
    {
        std::lock_guard lock(mutex_);
        signalled_ = true;
        listener = listener_;
    }
    if (listener) {
        listener();
    }
}

void SoundEvent::Reset() {
    {
        std::lock_guard lock(mutex_);
        signalled_ = false;
    }
    resetOrWake_.notify_all();
}

bool SoundEvent::WaitUntilReset(std::chrono::milliseconds timeout,
                                const std::function<bool()>& interrupted) {
    std::unique_lock lock(mutex_);
    resetOrWake_.wait_for(lock, timeout, [&] { return !signalled_ || interrupted(); });
    return !signalled_;
}

void SoundEvent::Wake() {
    { std::lock_guard lock(mutex_); }
    resetOrWake_.notify_all();
}

bool SoundEvent::IsSet() const {
    std::lock_guard lock(mutex_);
    return signalled_;
}

void SoundEvent::SetListener(std::function<void()> listener) {
    std::lock_guard lock(mutex_);
    listener_ = std::move(listener);
}

bool SoundBuffer::Render(std::uint8_t* out, std::uint32_t size, bool* wasPlaying) {
    std::shared_ptr<SoundEvent> toSignal;
    {
        std::lock_guard lock(mutex);
        if (wasPlaying != nullptr) {
            *wasPlaying = playing && !ring.empty();
        }
        if (!playing || ring.empty()) {
            std::memset(out, 0, size);
            return false;
        }
        const std::uint32_t length = static_cast<std::uint32_t>(ring.size());
        bool crossed = false;
        for (std::uint32_t done = 0; done < size;) {
            const std::uint32_t run = std::min(size - done, length - readPos);
            std::memcpy(out + done, ring.data() + readPos, run);
            // The notification fires when the byte at its offset has been taken.
            crossed = crossed || (notifyOffset >= readPos && notifyOffset < readPos + run);
            readPos = (readPos + run) % length;
            done += run;
        }
        played += size;
        if (gain != 1.0) {
            for (std::uint32_t i = 0; i + 1 < size; i += 2) {
                std::int16_t sample;
                std::memcpy(&sample, out + i, 2);
                sample = ScaleSample(sample, gain);
                std::memcpy(out + i, &sample, 2);
            }
        }
        if (crossed) {
            notifiedWrite = writes;
            toSignal = event;
        }
    }
    if (toSignal) {
        toSignal->Set();
        return true;
    }
    return false;
}

std::uint32_t SoundBuffer::BytesToNotification() const {
    const auto length = static_cast<std::uint32_t>(ring.size());
    const std::uint32_t ahead =
        notifyOffset >= readPos ? notifyOffset - readPos + 1 : length - readPos + notifyOffset + 1;
    const std::uint32_t align = format.nBlockAlign;
    return (ahead + align - 1) / align * align;
}

SoundDevice* CreateSoundDevice(const void* /*window*/, const SoundOutputOptions& options) {
    SoundResult result = kSoundOk;
    SoundDevice* device = options.kind == SoundOutputOptions::Kind::kNull
                              ? NewNullDevice(options, result)
                              : NewSdlDevice(result);
    StoreResult(device ? kSoundOk : result);
    if (device == nullptr) {
        FormatSoundError("DirectSoundCreate: ", result);
    }
    return device;
}

SoundBuffer* CreateSoundBuffer(SoundDevice* device, const WAVEFORMATEX* format) {
    if (device == nullptr) {
        SetErrorText("CreateSoundBuffer: IDirectSound not created.");
        return nullptr;
    }
    SoundResult result = format ? CheckFormat(*format) : DSERR_INVALIDPARAM;
    SoundBuffer* buffer = nullptr;
    if (result == kSoundOk) {
        buffer = device->NewBuffer(*format, result);
    }
    StoreResult(result);
    if (buffer == nullptr) {
        FormatSoundError("CreateSoundBuffer: ", result);
    }
    return buffer;
}

int CreateSoundNotify(SoundBuffer* buffer, std::shared_ptr<SoundEvent>* place,
                      std::int32_t offset) {
    if (buffer == nullptr) {
        SetErrorText("CreateSoundNotify: ISoundBuffer not created.");
        return 0;
    }
    const std::uint32_t length = buffer->format.nAvgBytesPerSec;
    if (place == nullptr || offset < -1 || (offset >= 0 && std::uint32_t(offset) >= length)) {
        StoreResult(DSERR_INVALIDPARAM);
        FormatSoundError("CreateSoundNotify: ", DSERR_INVALIDPARAM);
        return 0;
    }
    auto event = std::make_shared<SoundEvent>();
    {
        std::lock_guard lock(buffer->mutex);
        buffer->notifyOffset = offset == -1 ? length - 1 : static_cast<std::uint32_t>(offset);
        buffer->event = event;
    }
    *place = std::move(event);
    StoreResult(kSoundOk);
    return 1;
}

namespace {

// SetSoundData's work; with markEnd the notification also moves to the block's last byte, and
// playedAtWrite (when given) receives the buffer's played count at the write.
int WriteSoundData(SoundBuffer* buffer, const void* data, std::uint32_t size, bool markEnd,
                   std::uint64_t* playedAtWrite) {
    if (buffer == nullptr) {
        SetErrorText("SetSoundData: ISoundBuffer not created.");
        return 0;
    }
    {
        std::lock_guard lock(buffer->mutex);
        const std::uint32_t length = static_cast<std::uint32_t>(buffer->ring.size());
        std::fill(buffer->ring.begin(), buffer->ring.end(), std::uint8_t{0});  // silence pass
        if (size > length || (size > 0 && data == nullptr)) {
            // A block longer than the buffer cannot be placed; the buffer stays silent.
            StoreResult(DSERR_INVALIDPARAM);
            FormatSoundError("SetSoundData: ", DSERR_INVALIDPARAM);
            return 0;
        }
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        const std::uint32_t first = std::min(size, length - buffer->readPos);
        if (first > 0) {
            std::memcpy(buffer->ring.data() + buffer->readPos, bytes, first);
        }
        if (size > first) {
            std::memcpy(buffer->ring.data(), bytes + first, size - first);
        }
        if (markEnd && size > 0) {
            buffer->notifyOffset = (buffer->readPos + size - 1) % length;
        }
        if (playedAtWrite != nullptr) {
            *playedAtWrite = buffer->played;
        }
        ++buffer->writes;
        ++buffer->generation;
    }
    StoreResult(kSoundOk);
    buffer->Changed();
    return 1;
}

}  // namespace

int SetSoundData(SoundBuffer* buffer, const void* data, std::uint32_t size) {
    return WriteSoundData(buffer, data, size, false, nullptr);
}

int SetSoundBlock(SoundBuffer* buffer, const void* data, std::uint32_t size,
                  std::uint64_t* playedAtWrite) {
    return WriteSoundData(buffer, data, size, true, playedAtWrite);
}

void ReleaseSoundObjects(SoundBuffer* buffer, SoundDevice* device) {
    delete buffer;  // each device's buffer stops its reader in its destructor
    delete device;
}

void DestroySoundContext(SoundContext& context) {
    ReleaseSoundObjects(context.buffer, context.device);
    context.buffer = nullptr;
    context.device = nullptr;
    context.notifyEvent.reset();
}

std::string GetSoundErrorText() {
    std::lock_guard lock(errorMutex);
    return soundErrorText;
}

SoundResult GetLastSoundResult() {
    std::lock_guard lock(errorMutex);
    return lastSoundResult;
}

SoundResult PlaySoundBuffer(SoundBuffer* buffer) {
    if (buffer == nullptr) {
        return DSERR_INVALIDPARAM;
    }
    {
        std::lock_guard lock(buffer->mutex);
        buffer->playing = true;
        ++buffer->generation;
    }
    buffer->Changed();
    return kSoundOk;
}

SoundResult StopSoundBuffer(SoundBuffer* buffer) {
    if (buffer == nullptr) {
        return DSERR_INVALIDPARAM;
    }
    {
        std::lock_guard lock(buffer->mutex);
        buffer->playing = false;
        ++buffer->generation;
    }
    buffer->Changed();
    return kSoundOk;
}

SoundResult SetSoundVolume(SoundBuffer* buffer, std::int32_t hundredthsOfDecibel) {
    if (buffer == nullptr) {
        return DSERR_INVALIDPARAM;
    }
    if (hundredthsOfDecibel > 0 || hundredthsOfDecibel < -10000) {
        return DSERR_INVALIDPARAM;
    }
    std::lock_guard lock(buffer->mutex);
    buffer->gain = GainOfVolume(hundredthsOfDecibel);
    return kSoundOk;
}

bool IsSoundBufferPlaying(const SoundBuffer* buffer) {
    if (buffer == nullptr) {
        return false;
    }
    std::lock_guard lock(buffer->mutex);
    return buffer->playing;
}

bool IsSoundNotificationCurrent(const SoundBuffer* buffer) {
    if (buffer == nullptr) {
        return false;
    }
    std::lock_guard lock(buffer->mutex);
    return buffer->notifiedWrite == buffer->writes;
}

void RaiseSoundNotification(SoundBuffer* buffer, SoundEvent& event) {
    if (buffer != nullptr) {
        std::lock_guard lock(buffer->mutex);
        buffer->notifiedWrite = buffer->writes;
    }
    event.Set();
}

std::uint64_t SoundBytesPlayed(const SoundBuffer* buffer) {
    if (buffer == nullptr) {
        return 0;
    }
    std::lock_guard lock(buffer->mutex);
    return buffer->played;
}

double GainOfVolume(std::int32_t hundredthsOfDecibel) {
    if (hundredthsOfDecibel >= 0) {
        return 1.0;
    }
    return std::pow(10.0, static_cast<double>(hundredthsOfDecibel) / 2000.0);
}

std::int16_t ScaleSample(std::int16_t sample, double gain) {
    const long scaled = std::lround(static_cast<double>(sample) * gain);
    return static_cast<std::int16_t>(std::clamp(scaled, -32768L, 32767L));
}

}  // namespace fogbell
