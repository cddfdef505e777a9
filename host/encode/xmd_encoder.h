// The XMD encoder: 16-bit PCM (one or two channels) into an XMD stream that xmdvoice reads.
//
// Stream written (little-endian):
//   offset  width  value
//   0       1      channel count (1 or 2)
//   1       2      sample rate in Hz (at most 65535)
//   3       4      length of the frames in bytes
//   7       5      0
//   12             frame groups: per 16 sample times one 13-byte frame per channel, left first,
//                  the last group padded with silence
// Frame: sample 0 and sample 1 as they are (signed 16-bit), the scale (unsigned 16-bit), then 14
// four-bit values, the low nibble first. Every frame starts afresh from its two stored samples,
// so nothing of the closed loop passes between frames. The decoder does not clamp: it outputs
// the low 16 bits of each value, so the search (adpcm_search.h) scores paths that would wrap by
// the wrapped output and never picks them where a better one exists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/encode/adpcm_search.h"
#include "host/encode/encode_status.h"

namespace fogbell::encode {

inline constexpr std::uint32_t kXmdHeaderSize = 12;
inline constexpr std::uint32_t kXmdFrameSize = 13;
inline constexpr std::size_t kXmdSamplesPerFrame = 16;
inline constexpr std::uint32_t kXmdMaxRate = 0xFFFF;
inline constexpr std::uint32_t kXmdMaxScale = 0xFFFF;

struct XmdFormat {
    std::uint32_t channels = 2;
    std::uint32_t rate = 22050;
};

// Whether the format can be written: 1 or 2 channels, a rate of 1 to 65535 Hz.
EncodeStatus CheckXmdFormat(const XmdFormat& format);

class XmdEncoder {
  public:
    // An encoder for a format that CheckXmdFormat accepted.
    explicit XmdEncoder(const XmdFormat& format, const SearchSettings& settings = {});

    // As AdxEncoder::Append; kTooLong when the frames would pass 2^32 - 1 bytes.
    EncodeStatus Append(const std::int16_t* interleaved, std::size_t frames);

    // Encodes what waits (padded with silence), writes the data length into the header, and hands
    // out the stream. The encoder is spent afterwards.
    std::vector<std::uint8_t> Finish();

  private:
    void EncodeGroup(std::size_t samples);

    XmdFormat format_;
    SearchSettings settings_;
    EffortGauge gauges_[2];
    std::int32_t pending_[2][kXmdSamplesPerFrame] = {};
    std::size_t pendingCount_ = 0;
    std::uint64_t dataBytes_ = 0;
    std::vector<std::uint8_t> out_;
};

// The whole stream of frames interleaved sample frames at once.
std::vector<std::uint8_t> EncodeXmd(const XmdFormat& format, const std::int16_t* interleaved,
                                    std::size_t frames, const SearchSettings& settings = {});

}  // namespace fogbell::encode
