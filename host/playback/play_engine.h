// The playback engine: one long-lived play thread that feeds a decoder's blocks into the
// looping one-second sound buffer, and the window's side of playback (track start, stop,
// volume, end of stream, start-up and close), behind the core's PlaybackControl seam.
//
// A track starts with its first block already in the buffer, so the first sample reaches the
// device at once. The play thread sleeps until the buffer's notification, which always sits at
// the last byte of the block written last, so it comes when that block has been played (once
// per second, sooner after a track's short last block); then, holding the refill exclusion, it
// writes the pending block and prepares the next one. Blocks come from a BlockFeeder: whole
// seconds, and with looping on the loop's start follows its end inside the same block. When no
// block is left it stops the buffer and reports the end to its listener with the number of the
// track it ended: the track ends when its last sample has been played. It is paused by state it
// waits on, never suspended from outside: while paused, or while no buffer is attached, it waits
// without waking.
//
// Threads: every public method runs on the window thread, except ExcludeRefill, Counters,
// PlayedBytes, Played and SetLooping (any thread).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/app/playback_control.h"
#include "host/playback/block_feeder.h"
#include "host/playback/sound_output.h"

namespace fogbell {

class PlayEngine final : public PlaybackControl {
  public:
    // options: the device to create at StartPlayThread (SoundOutputFromEnvironment for the
    // programs).
    explicit PlayEngine(SoundOutputOptions options);
    ~PlayEngine() override;
    PlayEngine(const PlayEngine&) = delete;
    PlayEngine& operator=(const PlayEngine&) = delete;

    bool StartPlayThread(std::string& error) override;
    void SetListener(PlaybackListener& listener) override;
    bool IsCurrentEndOfStream(std::int32_t parameter) const override;
    Exclusion ExcludeRefill() override;
    void Play(const Exclusion& held, DecoderSession& stream, const std::string& trackName,
              const PlayOptions& options) override;
    void ReleaseStream(const Exclusion& held) override;
    void Stop(const Exclusion& held) override;
    bool IsPlaying() const override { return playing_; }
    void SetVolume(int hundredthsOfDecibel) override;
    void SetLooping(bool looping) override { looping_ = looping; }
    std::optional<PlayedPosition> Played() const override;
    bool SeekToFrame(std::uint64_t frame) override;
    void Shutdown() override;

    // What the play thread has done so far, for benchmarks and tests.
    struct Counters {
        std::uint64_t wakeups = 0;    // times the thread came out of its wait
        std::uint64_t refills = 0;    // notifications handled (write, loop or end)
        double threadCpuSeconds = 0;  // CPU time the play thread has used
    };
    Counters GetCounters() const;
    // Bytes the device has played from the current buffer (0 when there is none).
    std::uint64_t PlayedBytes() const;

  private:
    void PlayThreadProc();
    // Step 4 of the loop, with the exclusion held: write and prepare the next, loop, or end.
    void RefillStep(bool& ended, std::int32_t& endedTrack);
    // Writes a block at the write cursor and remembers what it holds for Played. Exclusion held.
    void WriteBlock(const BlockFeeder::Block& block);
    // Moves the stream to frame and tells the feeder; false when the decoder cannot. Exclusion
    // held.
    bool MoveStream(std::uint64_t frame);
    // Drops the buffer and its event (the device stays). Exclusion held.
    void DropBuffer();
    // Sets or clears the pause and the event the thread waits on. Exclusion held.
    void SetWaitState(bool suspended, std::shared_ptr<SoundEvent> event);

    PlaybackListener* listener_;  // set before the play thread starts
    const SoundOutputOptions options_;

    // The refill exclusion: guards stream_, pending_, sound_ (buffer and event), trackNumber_,
    // volume_ and silence_. Held by the play thread in its refill step and by the window
    // across every change of them.
    mutable std::mutex refill_;
    DecoderSession* stream_ = nullptr;  // the core's stream; null once released
    BlockFeeder feeder_;
    const BlockFeeder::Block* pending_ = nullptr;  // the feeder's, written at the next wake-up
    // The block being played: where its runs come from, and the buffer's played count when it
    // was written.
    BlockFeeder::Block playingBlock_;  // its segments only
    std::uint64_t playingFrames_ = 0;
    std::uint64_t playingSince_ = 0;
    bool hasPlayingBlock_ = false;
    std::uint32_t sizeData_ = 0;    // the decoder's size, the bar's range
    WAVEFORMATEX format_{};         // the output format of the track
    std::uint32_t sourceRate_ = 0;  // the source format's rate (seeks count its samples)
    SoundContext sound_;
    std::int32_t trackNumber_ = 0;  // counts Play calls; an end report carries it
    std::int32_t volume_ = 0;       // hundredths of a decibel
    std::vector<std::uint8_t> silence_;

    // What the thread waits on: written with both locks held, read under either.
    mutable std::mutex wake_;
    std::condition_variable wakeup_;
    bool suspended_ = true;
    bool quit_ = false;
    std::shared_ptr<SoundEvent> waitEvent_;

    std::atomic<bool> playing_{false};
    std::atomic<bool> looping_{false};
    std::atomic<std::int32_t> currentTrack_{0};  // trackNumber_ of the track playing
    std::atomic<std::uint64_t> wakeups_{0};
    std::atomic<std::uint64_t> refills_{0};
    std::atomic<std::uint64_t> threadCpuNanoseconds_{0};
    std::thread thread_;
};

}  // namespace fogbell
