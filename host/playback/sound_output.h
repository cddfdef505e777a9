// The sound-output layer: a handful of free functions that create the sound device, a looping
// one-second buffer in a decoder's output format with one notification at its last byte, write
// one PCM block at a time just ahead of the play position, and release everything again. Every
// failure leaves a text in the layer's error text ("CreateSoundBuffer: DSERR_BADFORMAT").
//
// Two devices stand behind these functions:
//  - SDL2 audio (the default): the buffer is read by SDL's audio callback. SDL_AUDIODRIVER
//    picks SDL's driver as usual ("dummy" and "disk" need no sound card).
//  - the null device ("null"): no sound card at all. It consumes the buffer at real time times
//    a speed factor and can record every byte it played, after volume, to a 16-bit PCM WAVE
//    file. At the end of each pass it waits until the notification has been handled (or one
//    second of real time has passed), so that its recording does not depend on timing.
// FOGBELL_AUDIO=null[:speed=N][:record=PATH] (options joined by colons; record= takes the rest
// of the text, colons included) chooses the null device for every program.
//
// Threads: every function may be called from any thread; the error text is kept per process
// under a lock, and each buffer guards its own state. The notification event is signalled from
// the device's thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "fogbell_decoder.h"

namespace fogbell {

// Result codes of the sound layer, with the values of the platform's sound interface.
using SoundResult = std::int32_t;
inline constexpr SoundResult kSoundOk = 0;
inline constexpr SoundResult DSERR_UNSUPPORTED = static_cast<SoundResult>(0x80004001u);
inline constexpr SoundResult DSERR_NOAGGREGATION = static_cast<SoundResult>(0x80040110u);
inline constexpr SoundResult DSERR_OUTOFMEMORY = static_cast<SoundResult>(0x8007000Eu);
inline constexpr SoundResult DSERR_INVALIDPARAM = static_cast<SoundResult>(0x80070057u);
inline constexpr SoundResult DSERR_ALLOCATED = static_cast<SoundResult>(0x8878000Au);
inline constexpr SoundResult DSERR_CONTROLUNAVAIL = static_cast<SoundResult>(0x8878001Eu);
inline constexpr SoundResult DSERR_INVALIDCALL = static_cast<SoundResult>(0x88780032u);
inline constexpr SoundResult DSERR_PRIOLEVELNEEDED = static_cast<SoundResult>(0x88780046u);
inline constexpr SoundResult DSERR_BADFORMAT = static_cast<SoundResult>(0x88780064u);
inline constexpr SoundResult DSERR_NODRIVER = static_cast<SoundResult>(0x88780078u);
inline constexpr SoundResult DSERR_UNINITIALIZED = static_cast<SoundResult>(0x887800AAu);
inline constexpr SoundResult DSERR_BUFFERLOST = static_cast<SoundResult>(0x88780096u);

// Which device CreateSoundDevice makes.
struct SoundOutputOptions {
    enum class Kind { kSdl, kNull };
    Kind kind = Kind::kSdl;
    double speed = 1.0;      // null device: audio seconds per second of real time
    std::string recordPath;  // null device: WAVE file of everything played; "" for none
};

// Reads "sdl" or "null[:speed=N][:record=PATH]". Nothing for a text it does not understand
// (an unknown device or option, a speed that is not a positive number).
std::optional<SoundOutputOptions> ParseSoundOutput(const std::string& text);
// The options FOGBELL_AUDIO asks for; SDL when it is unset or empty. Nothing when it is set to
// something ParseSoundOutput does not understand.
std::optional<SoundOutputOptions> SoundOutputFromEnvironment();

// A manual-reset event: set by the device when the play position passes the notification
// offset, reset by whoever handles it. A listener is told every time it is set.
class SoundEvent {
  public:
    void Set();
    void Reset();
    bool IsSet() const;
    // Called (on the device's thread) each time the event is set. Install before playing.
    void SetListener(std::function<void()> listener);
    // Waits until the event is reset, interrupted() is true (checked at each Wake), or the
    // time-out has passed. True when it was reset.
    bool WaitUntilReset(std::chrono::milliseconds timeout,
                        const std::function<bool()>& interrupted);
    // Lets a waiter of WaitUntilReset look at its interruption again.
    void Wake();

  private:
    mutable std::mutex mutex_;
    std::condition_variable resetOrWake_;
    bool signalled_ = false;
    std::function<void()> listener_;
};

struct SoundDevice;  // one per program run
struct SoundBuffer;  // one per track played

// What the main window keeps for output: the device, the buffer of the track that is playing
// or last played, and that buffer's notification event.
struct SoundContext {
    SoundDevice* device = nullptr;
    SoundBuffer* buffer = nullptr;
    std::shared_ptr<SoundEvent> notifyEvent;
};

// The device; null with "DirectSoundCreate: " + name in the error text. window is unused (the
// device is not tied to a window) and kept for the callers' symmetry.
SoundDevice* CreateSoundDevice(const void* window, const SoundOutputOptions& options);
// A stopped one-second looping buffer (nAvgBytesPerSec bytes) in that format, at full volume;
// null with "CreateSoundBuffer: ..." in the error text.
SoundBuffer* CreateSoundBuffer(SoundDevice* device, const WAVEFORMATEX* format);
// Attaches one notification at offset (nAvgBytesPerSec - 1 when offset is -1) and stores a new
// event in place. 1, or 0 with "CreateSoundNotify: ..." in the error text.
int CreateSoundNotify(SoundBuffer* buffer, std::shared_ptr<SoundEvent>* place, std::int32_t offset);
// Silences the whole buffer, then writes the block at the write cursor (the play position plus
// what the device has already taken), wrapping at the end. 1, or 0 with "SetSoundData: ...".
int SetSoundData(SoundBuffer* buffer, const void* data, std::uint32_t size);
// As SetSoundData, and moves the notification to the block's last byte (for a block of at
// least one byte), so that the next notification comes when the block has been played, however
// long it is and wherever it landed. playedAtWrite (when given) receives SoundBytesPlayed at the
// moment of the write: the block's first byte is the one played after that many.
int SetSoundBlock(SoundBuffer* buffer, const void* data, std::uint32_t size,
                  std::uint64_t* playedAtWrite);
// Releases the buffer (when given), then the device (when given). A released buffer's device
// has stopped reading it when this returns.
void ReleaseSoundObjects(SoundBuffer* buffer, SoundDevice* device);
// Releases the context's buffer, then its device, then drops its event; empties the context.
void DestroySoundContext(SoundContext& context);
// The last text composed by this layer ("" until the first failure).
std::string GetSoundErrorText();
// The sound system's own words (SDL's text) for the last time no sound device could be started;
// empty when that never happened.
std::string SoundSystemReason();
// The path of a null device's recording that reached the WAVE format's 4 GiB limit and was
// finished there (what played after it is not in it); empty while none has.
std::string RecordingCutAtLimit();
// The result of the last device call made by this layer.
SoundResult GetLastSoundResult();

// The buffer's own operations. Play loops over the buffer from where it stands; Stop keeps the
// position. Volume is in hundredths of a decibel of attenuation (0 = full, -10000 = silent),
// applied as the gain 10^(volume/2000). Each returns kSoundOk or a result code.
SoundResult PlaySoundBuffer(SoundBuffer* buffer);
SoundResult StopSoundBuffer(SoundBuffer* buffer);
SoundResult SetSoundVolume(SoundBuffer* buffer, std::int32_t hundredthsOfDecibel);
bool IsSoundBufferPlaying(const SoundBuffer* buffer);
// True when the last notification was raised for the data written last: the device sets the
// event outside its lock, so a notification for a block that a later write replaced can arrive
// after that write and must then be ignored.
bool IsSoundNotificationCurrent(const SoundBuffer* buffer);
// Sets the notification by hand, as belonging to the data written last.
void RaiseSoundNotification(SoundBuffer* buffer, SoundEvent& event);
// Bytes the device has played from this buffer since it was created (all passes).
std::uint64_t SoundBytesPlayed(const SoundBuffer* buffer);

// The gain of a volume, as every device applies it.
double GainOfVolume(std::int32_t hundredthsOfDecibel);
// One 16-bit sample scaled by a gain, rounded to nearest and held in range.
std::int16_t ScaleSample(std::int16_t sample, double gain);

}  // namespace fogbell
