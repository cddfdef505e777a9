// What the two devices behind the sound-output functions share: the buffer's one-second ring,
// its play position, volume and notification, and the rendering that reads it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "host/playback/sound_output.h"

namespace fogbell {

struct SoundBuffer {
    explicit SoundBuffer(const WAVEFORMATEX& f)
        : format(f), ring(f.nAvgBytesPerSec, 0), notifyOffset(f.nAvgBytesPerSec - 1) {}
    virtual ~SoundBuffer() = default;
    SoundBuffer(const SoundBuffer&) = delete;
    SoundBuffer& operator=(const SoundBuffer&) = delete;

    // Copies size bytes of output into out (silence while stopped), advancing the read
    // position and applying the volume; size is whole sample frames. Sets the notification
    // event (outside the lock) when the read position passes its offset. Returns true when it
    // did. *played (when given) tells whether the bytes came from a playing buffer.
    bool Render(std::uint8_t* out, std::uint32_t size, bool* played = nullptr);
    // The device's reaction to a state change (playing, stopped, new data).
    virtual void Changed() {}
    // Bytes from the read position up to and including the notification offset, whole frames.
    // Caller holds mutex.
    std::uint32_t BytesToNotification() const;

    const WAVEFORMATEX format;
    mutable std::mutex mutex;         // guards everything below
    std::condition_variable changed;  // the null device waits on it
    std::vector<std::uint8_t> ring;   // one second
    std::uint32_t readPos = 0;        // next byte the device takes: the write cursor
    std::uint32_t notifyOffset;
    std::shared_ptr<SoundEvent> event;
    bool playing = false;
    double gain = 1.0;
    std::uint64_t played = 0;  // bytes rendered while playing
    std::uint64_t writes = 0;  // SetSoundData calls that wrote a block
    // The write whose notification offset the read position last passed: a notification set
    // after a later write (its Set comes outside the lock) belongs to data that is gone.
    std::uint64_t notifiedWrite = 0;
    std::uint64_t generation = 0;  // counts plays, stops and writes
};

struct SoundDevice {
    virtual ~SoundDevice() = default;
    // A new buffer in that format (already checked), or null with the result code.
    virtual SoundBuffer* NewBuffer(const WAVEFORMATEX& format, SoundResult& result) = 0;
};

// The two devices; null with the result code when they cannot be made.
SoundDevice* NewSdlDevice(SoundResult& result);
SoundDevice* NewNullDevice(const SoundOutputOptions& options, SoundResult& result);

}  // namespace fogbell
