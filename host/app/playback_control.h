// What the core asks of sound output. The playback engine implements it; the core decides what
// to play and owns the open stream, the engine makes the sound.
//
// The refill exclusion: the engine's feeding thread writes a block and decodes the next one
// (its refill step) only while it holds the exclusion. The core holds it across every change
// of the stream the engine feeds: a whole track change (closing the old stream, opening the new
// one, Play), a stop, every close of the open stream, and each question it asks that stream.
// The methods that take an Exclusion must be called with the one ExcludeRefill returned.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "host/plugins/plugin_host.h"

namespace fogbell {

// What the engine reports about the track it plays; the core implements it and decides what
// the window shows. PlayFailed and PlayStarted come from inside Play, on its caller's thread;
// PlayEnded comes from the play thread.
class PlaybackListener {
  public:
    virtual ~PlaybackListener() = default;
    // Play could not start the track: the reason for the status line.
    virtual void PlayFailed(const std::string& reason) = 0;
    // The track plays: its caption, and its size in the decoder's unit (the bar's range).
    virtual void PlayStarted(const std::string& trackName, std::uint32_t size) = 0;
    // The track of that number (see IsCurrentEndOfStream) has been heard to its end.
    virtual void PlayEnded(std::int32_t track) = 0;
};

class PlaybackControl {
  public:
    using Exclusion = std::unique_lock<std::mutex>;

    virtual ~PlaybackControl() = default;

    // Start-up: the sound device and the (idle) feeding thread. False with the text to show in
    // a message box ("DirectSoundCreate: DSERR_NODRIVER", "Can't create play thread.").
    virtual bool StartPlayThread(std::string& error) = 0;
    // Where the engine's reports go. The core installs itself once, before anything plays, and
    // outlives the play thread.
    virtual void SetListener(PlaybackListener& listener) = 0;
    // True when an end reported with this number ends the track that plays now; false for one
    // reported for an earlier track (or when nothing plays).
    virtual bool IsCurrentEndOfStream(std::int32_t parameter) const = 0;

    // Keeps the feeding thread out of its refill step while the returned lock is held.
    virtual Exclusion ExcludeRefill() = 0;
    // Starts playing the stream the core has just opened (trackName is the play bar's caption):
    // sound buffer, first block, play; reports PlayStarted when it succeeds, else PlayFailed
    // with the reason. The stream stays the core's; the engine uses it until
    // ReleaseStream.
    struct PlayOptions {
        // The stream's loop points: looping goes from their end back to their start (without
        // them, from the stream's end to its start).
        std::optional<LoopPoints> loop;
        // Where the sound begins, in seconds (a decoder that cannot seek begins at 0).
        double startSeconds = 0;
    };
    virtual void Play(const Exclusion& held, DecoderSession& stream, const std::string& trackName,
                      const PlayOptions& options) = 0;
    // The core is about to close the stream given to Play: the engine forgets it (and its
    // pending block) and never touches it again.
    virtual void ReleaseStream(const Exclusion& held) = 0;
    // Stops the sound and the feeding; the core closes the stream afterwards.
    virtual void Stop(const Exclusion& held) = 0;
    // True from a successful Play until Stop.
    virtual bool IsPlaying() const = 0;
    // Whether the end of a track (or of its loop) goes on from the loop's start ("Loop sound").
    // Taken at the next such end, also in the middle of a track; a pass already decided ends
    // normally.
    virtual void SetLooping(bool looping) = 0;

    // Where the sound is: what the device has played of the track that plays now.
    struct PlayedPosition {
        std::uint32_t units = 0;        // in the decoder's unit, as its size (the bar's range)
        std::uint64_t frame = 0;        // the stream's frame (sample per channel)
        std::uint32_t rate = 0;         // frames per second
        std::uint64_t totalFrames = 0;  // the stream's length in frames, 0 when not known
        std::uint32_t size = 0;         // the decoder's size in its unit (the bar's range)
        bool canSeek = false;           // the decoder seeks (SeekToFrame can work)
    };
    // Nothing when no track plays. Any thread.
    virtual std::optional<PlayedPosition> Played() const = 0;
    // Moves the track that plays to that frame: what was queued is dropped and the buffer
    // refilled at once. A frame past the end ends the track. False when nothing plays or the
    // decoder cannot seek.
    virtual bool SeekToFrame(std::uint64_t frame) = 0;
    // Output volume in hundredths of a decibel (0 = full, -10000 = silent).
    virtual void SetVolume(int hundredthsOfDecibel) = 0;
    // Ends the feeding thread for good (it has left its loop when this returns) and then
    // releases the sound objects (at window close, after the stream was released).
    virtual void Shutdown() = 0;
};

}  // namespace fogbell
