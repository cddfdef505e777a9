// Cuts a decoder's output into the blocks the sound buffer takes: whole seconds, one after the
// other with nothing between, the last of the track shorter. With looping on, the block after
// the end of the stream (or after the loop end, when the stream has loop points) goes on from
// the start of the loop, mid-block and to the sample, so that a loop is heard without a gap or
// a repeat.
//
// It also remembers where each block's frames come from in the stream and how the decoder's
// own position unit relates to frames, so that a frame the device has played can be shown on
// a bar whose range is the decoder's size.
//
// Threads: one user at a time (the engine holds its refill exclusion around every call).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "host/plugins/plugin_session.h"

namespace fogbell {

class BlockFeeder {
  public:
    // Where a run of a block's frames starts in the stream.
    struct Segment {
        std::uint32_t blockFrame = 0;   // first frame of the run inside the block
        std::uint64_t streamFrame = 0;  // the same frame counted from the start of the stream
    };
    struct Block {
        std::vector<std::uint8_t> bytes;  // at most one second of output PCM
        std::vector<Segment> segments;    // in block order; the first starts at frame 0
        // The frame of the stream that the block's frame at blockFrame is.
        std::uint64_t StreamFrameAt(std::uint32_t blockFrame) const;
    };

    // Starts feeding from the start of stream (which must stay open until Forget), in its
    // output format. loop, in samples per channel of the source format, is used when looping
    // is on at the moment the stream reaches its end.
    void Start(const DecoderSession& stream, const WAVEFORMATEX& source, const WAVEFORMATEX& output,
               const std::optional<LoopPoints>& loop);
    // Forgets the stream (the engine is about to lose it).
    void Forget();

    // The next block, or null when the track has ended. looping: whether the end of the loop
    // (or of the stream) goes back to the loop's start. The block stays valid until the next
    // call. A stream that cannot be rewound ends instead of looping.
    const Block* Next(bool looping);
    // The decoder was moved to frame (fnSeekSample): feeding goes on from there.
    void Moved(std::uint64_t frame);
    // Goes back to the start of the loop (or of the stream) after the track ended; false when
    // the stream cannot be rewound.
    bool Restart();

    // The decoder's position unit at a stream frame, from what the decoder reported while
    // feeding (interpolated between blocks); and the whole stream's length in frames as far as
    // it can be told (the decoder's size converted the same way).
    std::uint32_t UnitsAtFrame(std::uint64_t frame) const;
    std::uint64_t FramesOfSize(std::uint32_t size) const;

  private:
    // Pulls the next decoder block into pending_; false at the stream's end.
    bool Pull();
    // Rewinds and skips to the loop start (or the stream's start without loop points); false
    // when the stream cannot be rewound.
    bool Rewind();
    // Notes the decoder's position after a block that ended at frame.
    void NoteUnits(std::uint64_t frame);

    const DecoderSession* stream_ = nullptr;
    std::uint32_t frameBytes_ = 0;
    std::uint32_t second_ = 0;        // bytes of one second of output
    std::optional<LoopPoints> loop_;  // in output frames
    Block block_;
    const PcmBlock* pending_ = nullptr;  // the decoder's block being consumed
    std::uint32_t pendingUsed_ = 0;
    std::uint64_t frame_ = 0;    // stream frame of the next byte taken
    std::uint64_t decoded_ = 0;  // stream frame after the decoder's last block
    std::uint64_t skip_ = 0;     // frames still to drop after a rewind to the loop start
    bool jumped_ = false;        // the next frame taken does not follow the last one
    bool ended_ = false;
    bool producedSinceRewind_ = false;
    // (frame, decoder position) after each block of the first pass, frames rising.
    std::vector<std::pair<std::uint64_t, std::uint32_t>> units_;
};

}  // namespace fogbell
