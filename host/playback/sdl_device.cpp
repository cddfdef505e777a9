// The SDL2 device: each buffer opens an SDL audio device in its own format, and SDL's audio
// callback reads the ring (silence while the buffer is stopped). What SDL has taken is counted
// as played; the write cursor is therefore the play position plus what SDL already holds.
//
// A pass ends inside one callback. The callback then gives the play thread a short while to
// handle the notification before it takes bytes of the next pass, so that the block written
// there starts at the beginning of the ring: were the callback to run on, the block would start
// further in, and its end, wrapped past the notification point, would be silenced by the next
// write before it was heard.
//
// SDL failures map onto the result codes as follows:
//   audio subsystem cannot start, no device can be opened       DSERR_NODRIVER
//   SDL reports it ran out of memory                            DSERR_OUTOFMEMORY
//   the device is busy                                          DSERR_ALLOCATED
//   SDL refuses the format                                      DSERR_BADFORMAT
//   anything else                                               (no name: "Unknown error")
#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

#include "host/playback/sound_device.h"

namespace fogbell {
namespace {

constexpr int kProbeRate = 44100;
constexpr int kProbeChannels = 2;
constexpr Uint16 kCallbackFrames = 2048;  // about 46 ms at 44.1 kHz
// How long a callback waits for the play thread at the end of a pass: far below the callback's
// period, far above the time a write takes.
constexpr auto kRefillWait = std::chrono::milliseconds(15);

bool Mentions(const char* text, const char* part) {
    return text != nullptr && std::strstr(text, part) != nullptr;
}

// The result code for SDL's last error; fallback when the text says nothing more specific.
SoundResult FromSdlError(SoundResult fallback) {
    const char* text = SDL_GetError();
    if (Mentions(text, "memory")) {
        return DSERR_OUTOFMEMORY;
    }
    if (Mentions(text, "busy")) {
        return DSERR_ALLOCATED;
    }
    if (Mentions(text, "format") || Mentions(text, "Unsupported")) {
        return DSERR_BADFORMAT;
    }
    return fallback;
}

SDL_AudioSpec SpecOf(int rate, int channels, SDL_AudioCallback callback, void* user) {
    SDL_AudioSpec wanted{};
    wanted.freq = rate;
    wanted.format = AUDIO_S16LSB;
    wanted.channels = static_cast<Uint8>(channels);
    wanted.samples = kCallbackFrames;
    wanted.callback = callback;
    wanted.userdata = user;
    return wanted;
}

class SdlBuffer final : public SoundBuffer {
  public:
    explicit SdlBuffer(const WAVEFORMATEX& bufferFormat) : SoundBuffer(bufferFormat) {}
    ~SdlBuffer() override {
        if (device_ != 0) {
            SDL_CloseAudioDevice(device_);  // returns after the last callback has run
        }
    }

    // Opens SDL's device in the buffer's format and starts its callback. Fails with the code.
    SoundResult Open() {
        SDL_AudioSpec want = SpecOf(static_cast<int>(format.nSamplesPerSec), format.nChannels,
                                    &SdlBuffer::Callback, this);
        SDL_AudioSpec have{};
        device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (device_ == 0) {
            return FromSdlError(DSERR_NODRIVER);
        }
        SDL_PauseAudioDevice(device_, 0);
        return kSoundOk;
    }

  private:
    static void SDLCALL Callback(void* user, Uint8* stream, int length) {
        static_cast<SdlBuffer*>(user)->Fill(stream, static_cast<std::uint32_t>(length));
    }

    void Changed() override { changed.notify_all(); }

    // Fills SDL's request pass by pass, waiting at each pass end (see above).
    void Fill(Uint8* stream, std::uint32_t length) {
        for (std::uint32_t done = 0; done < length;) {
            std::uint32_t size = 0;
            std::uint64_t before = 0;
            {
                std::lock_guard lock(mutex);
                size = std::min(length - done, BytesToNotification());
                before = generation;
            }
            if (Render(stream + done, size)) {
                std::unique_lock lock(mutex);
                changed.wait_for(lock, kRefillWait, [&] { return generation != before; });
            }
            done += size;
        }
    }

    SDL_AudioDeviceID device_ = 0;
};

class SdlDevice final : public SoundDevice {
  public:
    ~SdlDevice() override { SDL_QuitSubSystem(SDL_INIT_AUDIO); }

    SoundBuffer* NewBuffer(const WAVEFORMATEX& format, SoundResult& result) override {
        auto* buffer = new (std::nothrow) SdlBuffer(format);
        if (buffer == nullptr) {
            result = DSERR_OUTOFMEMORY;
            return nullptr;
        }
        result = buffer->Open();
        if (result != kSoundOk) {
            delete buffer;
            return nullptr;
        }
        return buffer;
    }
};

void SDLCALL SilentCallback(void*, Uint8* stream, int length) {
    std::memset(stream, 0, static_cast<std::size_t>(length));
}

std::mutex reasonLock;
std::string lastReason;

// Keeps SDL's words for a device that could not be started, then maps them to a result code.
SoundResult NoDevice() {
    const std::lock_guard guard(reasonLock);
    const char* text = SDL_GetError();
    lastReason = text != nullptr ? text : "";
    return FromSdlError(DSERR_NODRIVER);
}

void SDLCALL QuietLog(void*, int, SDL_LogPriority, const char*) {}

// While it lives, what the sound libraries under SDL print on standard error (ALSA's and
// PulseAudio's complaints while SDL tries its drivers) goes nowhere, and so does SDL's own log:
// the program says in its own words what failed. Windows' drivers print nothing.
class QuietSoundLibraries {
  public:
    QuietSoundLibraries() {
        SDL_LogSetOutputFunction(&QuietLog, nullptr);
#if !defined(_WIN32)
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        const int nowhere = ::open("/dev/null", O_WRONLY);
        if (saved_ >= 0 && nowhere >= 0) {
            ::dup2(nowhere, STDERR_FILENO);
        }
        if (nowhere >= 0) {
            ::close(nowhere);
        }
#endif
    }
    ~QuietSoundLibraries() {
#if !defined(_WIN32)
        if (saved_ >= 0) {
            ::dup2(saved_, STDERR_FILENO);
            ::close(saved_);
        }
#endif
    }
    QuietSoundLibraries(const QuietSoundLibraries&) = delete;
    QuietSoundLibraries& operator=(const QuietSoundLibraries&) = delete;

  private:
    int saved_ = -1;
};

}  // namespace

SoundDevice* NewSdlDevice(SoundResult& result) {
    const QuietSoundLibraries quiet;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        result = NoDevice();
        return nullptr;
    }
    // A machine whose driver starts but has no device to open is a machine without sound:
    // find out now rather than at the first track.
    SDL_AudioSpec want = SpecOf(kProbeRate, kProbeChannels, &SilentCallback, nullptr);
    const SDL_AudioDeviceID probe = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
    if (probe == 0) {
        result = NoDevice();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return nullptr;
    }
    SDL_CloseAudioDevice(probe);
    return new SdlDevice();
}

std::string SoundSystemReason() {
    const std::lock_guard guard(reasonLock);
    return lastReason;
}

}  // namespace fogbell
