// What the core asks of sound output. The playback engine implements it; the core decides what
// to play and owns the open stream, the engine makes the sound.
#pragma once

#include <mutex>
#include <string>

#include "host/core/plugin_host.h"

namespace fogbell {

class PlaybackControl {
  public:
    virtual ~PlaybackControl() = default;

    // Starts playing the stream the core has just opened (trackName is the play bar's caption):
    // sound buffer, first block, play; enables Stop and disables Play when it succeeds, else
    // puts the reason in the status line.
    virtual void Play(OpenedFile& stream, const std::string& trackName) = 0;
    // Stops the sound and the feeding; the core closes the stream afterwards.
    virtual void Stop() = 0;
    // True from a successful Play until Stop.
    virtual bool IsPlaying() const = 0;
    // Output volume in hundredths of a decibel (0 = full, -10000 = silent).
    virtual void SetVolume(int hundredthsOfDecibel) = 0;
    // Keeps the feeding thread out of its refill step while the returned lock is held, so that
    // the window may close or replace the stream, or ask it for its position.
    virtual std::unique_lock<std::mutex> ExcludeRefill() = 0;
    // Ends the feeding thread for good and releases the sound device (at window close).
    virtual void Shutdown() = 0;
};

}  // namespace fogbell
