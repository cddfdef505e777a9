// One-second blocks of a frame-coded stream (ADX, XMD), shared by adxvoice and xmdvoice.
//
// A stream decodes frame group by frame group; every group yields a fixed amount of PCM that
// does not divide a second evenly. Each call fills one second: first the bytes carried over
// from the previous call, then new groups behind them, stopping as soon as the bytes made in
// this call exceed the room the carry left. The block is the first second of the buffer; what
// the last group made beyond it stays there as the next call's carry. When the stream has
// nothing more to decode, the carry still comes out as a (shorter) last block, and only the
// call after that reports the end.
//
// The carry never exceeds one group: a call that finds more carry than a second (possible only
// when a second is shorter than a group) decodes nothing and hands out a second of the carry.
// The buffer therefore needs one second plus one group, never more.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>

#include "fmtconv.h"

namespace fogbell::plugin {

class FrameBlockBuffer {
  public:
    // Room for one second of source PCM (secondBytes: even and not 0) plus the largest group.
    void Allocate(std::uint32_t secondBytes, std::uint32_t maxGroupBytes) {
        second_ = secondBytes;
        samples_ = std::make_unique_for_overwrite<std::int16_t[]>(
            (std::size_t{secondBytes} + maxGroupBytes) / sizeof(std::int16_t));
        carry_ = 0;
        handedOut_ = 0;
    }

    // Back to the start of the stream: nothing carried.
    void Rewind() {
        carry_ = 0;
        handedOut_ = 0;
    }

    // Moves a rewound stream so that the next block begins with frame `frame` (of channels
    // interleaved samples): the groups before it are decoded (their history leads into it) and
    // dropped, and the rest of the group that holds it is carried. A frame past the end leaves
    // the stream ended with nothing carried.
    template <class Stream>
    void Seek(Stream& stream, std::uint64_t frame, std::uint32_t channels) {
        carry_ = 0;
        handedOut_ = frame * channels;
        DropDecoded(stream, frame * channels);
    }

    // Seek without the rewind, for a frame at or after where the next block begins: what is
    // carried is used first, then only the groups in between are decoded. False (nothing
    // changed) for a frame before it.
    template <class Stream>
    bool SkipTo(Stream& stream, std::uint64_t frame, std::uint32_t channels) {
        const std::uint64_t target = frame * channels;
        if (target < handedOut_) {
            return false;
        }
        std::uint64_t skip = target - handedOut_;
        handedOut_ = target;
        std::int16_t* carried = samples_.get() + second_ / 2;
        const auto carriedSamples = static_cast<std::uint32_t>(carry_ / sizeof(std::int16_t));
        if (skip < carriedSamples) {
            const std::size_t kept = carriedSamples - static_cast<std::size_t>(skip);
            std::memmove(carried, carried + skip, kept * sizeof(std::int16_t));
            carry_ = static_cast<std::uint32_t>(kept * sizeof(std::int16_t));
            return true;
        }
        carry_ = 0;
        DropDecoded(stream, skip - carriedSamples);
        return true;
    }

    std::uint32_t Carry() const { return carry_; }
    const std::uint8_t* Data() const {
        return reinterpret_cast<const std::uint8_t*>(samples_.get());
    }

    // Fills the next block from stream and returns its length in bytes; 0 at the end of the
    // stream. Stream::DecodeGroup(std::int16_t* out) writes the next group's samples at out and
    // returns how many it wrote, or 0 when the stream has nothing more to decode. A stream that
    // also has DecodeGroupsPast(out, room) (groups until more than room samples are written, or
    // the end) is asked for all of a block's groups at once.
    template <class Stream>
    std::uint32_t Next(Stream& stream) {
        auto* bytes = reinterpret_cast<std::uint8_t*>(samples_.get());
        if (carry_ > 0) {
            std::memmove(bytes, bytes + second_, carry_);
        }
        const std::int64_t room = std::int64_t{second_} - carry_;
        std::int64_t produced = 0;
        if constexpr (requires(std::int16_t * out) {
                          stream.DecodeGroupsPast(out, std::size_t{});
                      }) {
            // The same groups in one call, so that the decoder keeps its state in registers
            // from group to group.
            if (room >= 0) {
                const std::size_t made = stream.DecodeGroupsPast(
                    samples_.get() + carry_ / 2, static_cast<std::size_t>(room) / 2);
                produced = static_cast<std::int64_t>(made * sizeof(std::int16_t));
            }
        } else {
            while (produced <= room) {
                const std::size_t offset = (carry_ + static_cast<std::size_t>(produced)) / 2;
                const std::size_t made = stream.DecodeGroup(samples_.get() + offset);
                if (made == 0) {
                    break;
                }
                produced += static_cast<std::int64_t>(made * sizeof(std::int16_t));
            }
        }
        const std::uint64_t total = carry_ + static_cast<std::uint64_t>(produced);
        const std::uint32_t length = total > second_ ? second_ : static_cast<std::uint32_t>(total);
        carry_ = static_cast<std::uint32_t>(total - length);
        handedOut_ += length / sizeof(std::int16_t);
        return length;
    }

  private:
    // Decodes the next groups and drops their first `skip` samples; the rest of the group that
    // holds the sample after them is carried. No carry when the stream ends first.
    template <class Stream>
    void DropDecoded(Stream& stream, std::uint64_t skip) {
        std::int16_t* group = samples_.get() + second_ / 2;  // where a carry lies
        for (;;) {
            const std::size_t made = stream.DecodeGroup(group);
            if (made == 0) {
                return;
            }
            if (skip < made) {
                const std::size_t kept = made - static_cast<std::size_t>(skip);
                std::memmove(group, group + skip, kept * sizeof(std::int16_t));
                carry_ = static_cast<std::uint32_t>(kept * sizeof(std::int16_t));
                return;
            }
            skip -= made;
        }
    }

    std::unique_ptr<std::int16_t[]> samples_;
    std::uint32_t second_ = 0;
    std::uint32_t carry_ = 0;
    std::uint64_t handedOut_ = 0;  // samples before the next block's first: where it begins
};

// The next block of a frame-coded stream in the output format: decoded into blocks, converted
// into out. Null at the end of the stream.
template <class Stream>
const PcmBlock* NextFramedBlock(Stream& stream, FrameBlockBuffer& blocks,
                                FormatConverter& converter, PcmOutput& out) {
    const std::uint32_t length = blocks.Next(stream);
    if (length == 0) {
        return nullptr;
    }
    if (converter.PassesThrough()) {
        // Equal formats: the block is handed out where it was decoded, not copied. It stays
        // valid until the next call, as a converted block does.
        out.block.data = blocks.Data();
        out.block.size = length;
        return &out.block;
    }
    converter.Convert(blocks.Data(), length, out);
    return &out.block;
}

}  // namespace fogbell::plugin
