// ADX stream, as adxvoice reads it. Multi-byte fields are big-endian; offsets from the first byte.
//
//   offset   width  field
//   0        1      0x80
//   2        2      header offset O: "(c)CRI" lies at O - 2, the first frame at O + 4
//   4        1      encoding: 3 (fixed-coefficient ADPCM)
//   5        1      frame size: 18
//   7        1      channel count: 1 or 2
//   8        4      sample rate in Hz
//   12       4      total sample count (samples per channel)
//   16       2      high-pass cutoff in Hz, which sets the prediction coefficients
//   18       1      header version; versions 3 and 4 may carry a loop block (below)
//   O - 2    6      "(c)CRI"
//   O + 4           frames of 18 bytes (adx_frame.h). With 2 channels a left and a right frame
//                   alternate (a frame group of 36 bytes per 32 sample pairs); mono streams have
//                   one frame per 32 samples.
//
// The loop block of versions 3 and 4 (24 bytes; version 3 has it at 20, version 4 after four
// more bytes and the 4-byte history of each channel, at least two, that is at 24 + 4 x max(2,
// channels)):
//   +4  u32  loop flag (0: no loop)
//   +8  u32  loop start, in samples per channel
//   +16 u32  loop end, in samples per channel: the first sample after the loop
// (+0, +12 and +20 hold alignment and byte offsets, which are not read). A loop is taken only
// when the block lies wholly before "(c)CRI", the flag is set and start < end <= total: a loop
// that does not fit the stream is no loop.
//
// The encoding (offset 4) must be 3, fixed-coefficient ADPCM, the only one decoded here; the frame
// size (offset 5) 18; the channel count 1 or 2; the sample rate not 0. A header that says
// otherwise is refused with a text that names what is wrong. The bit depth (offset 6) is not
// read.
//
// The stream ends when the total sample count is reached (the last group is decoded whole, so up
// to 31 samples per channel past the count come out), at a frame whose scale marks the end
// (the usual footer), or where the bytes end: only whole frame groups are decoded. Either early
// end counts as having decoded the whole stream (the position reaches the total).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "adx_frame.h"

namespace fogbell::adx {

inline constexpr std::uint8_t kFirstByte = 0x80;
inline constexpr std::size_t kOffsetField = 2;
inline constexpr std::size_t kEncodingField = 4;
inline constexpr std::size_t kFrameSizeField = 5;
inline constexpr std::uint8_t kFixedCoefficientEncoding = 3;
inline constexpr std::size_t kChannelsField = 7;
inline constexpr std::size_t kRateField = 8;
inline constexpr std::size_t kTotalSamplesField = 12;
inline constexpr std::size_t kCutoffField = 16;
inline constexpr std::uint32_t kFieldsEnd = 18;  // the header must hold every field read
inline constexpr std::size_t kVersionField = 18;
inline constexpr std::uint8_t kLoopVersion3 = 3;
inline constexpr std::uint8_t kLoopVersion4 = 4;
inline constexpr std::uint32_t kLoopBlockV3 = 0x14;
inline constexpr std::uint32_t kLoopBlockV4Base = 0x18;  // plus the channels' history
inline constexpr std::uint32_t kHistoryBytesPerChannel = 4;
inline constexpr std::uint32_t kMinHistoryChannels = 2;
inline constexpr std::uint32_t kLoopFlag = 4;  // offsets inside the loop block
inline constexpr std::uint32_t kLoopStart = 8;
inline constexpr std::uint32_t kLoopEnd = 16;
inline constexpr std::uint32_t kLoopBlockSize = 24;
inline constexpr char kSignature[] = "(c)CRI";
inline constexpr std::uint32_t kSignatureSize = 6;
// A stereo group: a left and a right frame, 64 samples interleaved.
inline constexpr std::size_t kMaxGroupSamples = 2 * kSamplesPerFrame;

struct Header {
    std::uint32_t firstFrame = 0;  // O + 4
    std::uint32_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint32_t totalSamples = 0;
    std::uint16_t cutoff = 0;
    bool looped = false;  // the header carries a loop that fits the stream
    std::uint32_t loopStart = 0;
    std::uint32_t loopEnd = 0;
};

enum class HeaderStatus {
    kOk,
    kNotAdx,
    kNoChannels,
    kTooManyChannels,
    kNoRate,
    kWrongFrameSize,
    kEncoding,
};

// The user-facing text of a refused header.
const char* StatusText(HeaderStatus status);

// Reads the header of the size bytes at data. kNotAdx when byte 0 is not 0x80, when the bytes
// cannot hold the fields read, when O is below 2 or the signature would lie past the bytes, or
// when the signature is missing; then kEncoding, kWrongFrameSize, kNoChannels (0), kTooManyChannels
// (above 2) and kNoRate for a header this decoder cannot play as it says.
HeaderStatus ReadHeader(const std::uint8_t* data, std::uint32_t size, Header& header);

// The frames of one stream, decoded one frame group at a time. Owns no bytes.
class FrameStream {
  public:
    // The stream in the size bytes at data, whose header ReadHeader accepted. Rewound.
    void Attach(const std::uint8_t* data, std::uint32_t size, const Header& header);

    // Back to the first frame with zero history and the whole sample count to go.
    void Rewind();

    // Decodes the next frame group into out (interleaved when stereo) and returns the samples
    // written (32 mono, 64 stereo); 0 when the stream has ended.
    std::size_t DecodeGroup(std::int16_t* out);

    // Decodes groups into out, one after the other, until more than room samples have been
    // written or the stream has ended, exactly as DecodeGroup called that often would; returns
    // the samples written. out must hold room plus one group.
    std::size_t DecodeGroupsPast(std::int16_t* out, std::size_t room);

    // Samples per channel decoded so far in whole frames: total - remaining, never above 2^32-1.
    // Safe to read from another thread while the stream decodes.
    std::uint32_t Position() const;
    // Offset from the stream's first byte of the next frame to be read.
    std::uint32_t ReadOffset() const { return readOffset_; }
    // The header's total sample count (fnGetSizeData).
    std::uint32_t Size() const { return totalSamples_; }
    // Samples a group interleaves per frame: 2 for a stereo stream, else 1.
    std::uint32_t Channels() const { return stereo_ ? 2 : 1; }
    // The header's loop (fnGetLoopPoints): true with start and end when it has one.
    bool Loop(std::uint32_t& start, std::uint32_t& end) const;
    const Coefficients& Prediction() const { return coefficients_; }

  private:
    const std::uint8_t* data_ = nullptr;
    std::uint32_t size_ = 0;
    std::uint32_t firstFrame_ = 0;
    std::uint32_t readOffset_ = 0;
    bool stereo_ = false;
    Coefficients coefficients_ = kStandardCoefficients;
    History history_[2];
    std::uint32_t totalSamples_ = 0;
    bool looped_ = false;
    std::uint32_t loopStart_ = 0;
    std::uint32_t loopEnd_ = 0;
    // Samples per channel still to decode; below 0 once the last group ran past the total.
    std::atomic<std::int64_t> remaining_{0};
};

}  // namespace fogbell::adx
