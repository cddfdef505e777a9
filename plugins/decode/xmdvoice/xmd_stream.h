// XMD stream, as xmdvoice reads it: a 12-byte little-endian header without a signature, then
// self-contained 4-bit ADPCM frames.
//
//   offset  width  field
//   0       1      channel count
//   1       2      sample rate in Hz
//   3       4      length of the encoded data in bytes (not aligned)
//   7       5      not read
//   12             frames
//
// Frame (13 bytes, one channel, 16 samples):
//   0       2      sample 0, signed, output as it is
//   2       2      sample 1, signed, output as it is
//   4       2      scale S, unsigned
//   6       7      samples 2..15: four-bit two's-complement values n, low nibble first
// Each further sample: v = S * 16384 * n + 29336 * h1 - 13136 * h2 in 32-bit two's-complement
// arithmetic that wraps, shifted right by 14 with sign; its low 16 bits are the sample (no
// clamping) while the full v becomes h1 (h1 starts as sample 1, h2 as sample 0). Nothing passes
// from one frame to the next.
//
// With a channel count of exactly 1 the frames follow each other; with any other count a left and
// a right frame alternate (26 bytes per 16 sample pairs) and the output is interleaved. The
// header's data length counts down by 13 bytes per channel of the header for every group (so a
// count above 2 runs the length down faster than the bytes are read). The stream ends when the
// length is used up (the last group is decoded whole) or where the bytes end: only whole groups
// are decoded, and running out of bytes counts as having used up the length.
//
// With no signature, only the header's agreement with the bytes tells an XMD stream from other
// bytes (CheckPlausible): 1 or 2 channels, a rate above 0, and the declared data within the
// bytes present. Bytes after the data are allowed (a track padded inside its container), and so
// is a stream cut inside its last frame group (fewer bytes missing than one group holds), which
// plays up to the group before it. A text file, read as a header, declares dozens of channels
// and hundreds of megabytes of data, and is refused.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace fogbell::xmd {

inline constexpr std::uint32_t kHeaderSize = 12;
inline constexpr std::size_t kChannelsField = 0;
inline constexpr std::size_t kRateField = 1;
inline constexpr std::size_t kLengthField = 3;
inline constexpr std::uint32_t kFrameSize = 13;
inline constexpr std::size_t kSamplesPerFrame = 16;
inline constexpr std::int32_t kFirstCoefficient = 29336;
inline constexpr std::int32_t kSecondCoefficient = 13136;
// A stereo group: a left and a right frame, 32 samples interleaved.
inline constexpr std::size_t kMaxGroupSamples = 2 * kSamplesPerFrame;

struct Header {
    std::uint32_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint32_t dataLength = 0;
};

enum class HeaderStatus { kOk, kTooShort, kNoChannels };

// The channel counts the format carries.
inline constexpr std::uint32_t kMaxChannels = 2;

// The user-facing text of a refused header.
const char* StatusText(HeaderStatus status);

// Reads the header of the size bytes at data: kTooShort when they cannot hold it, kNoChannels
// for a channel count of 0.
HeaderStatus ReadHeader(const std::uint8_t* data, std::uint32_t size, Header& header);

// Empty when a header that ReadHeader accepted agrees with the size bytes of its stream (rules
// above); otherwise the text that refuses the bytes as XMD.
std::string CheckPlausible(const Header& header, std::uint32_t size);

// Decodes one 13-byte frame into 16 samples written at out, out + stride, ...
void DecodeFrame(const std::uint8_t* frame, std::int16_t* out, std::size_t stride);

// The frames of one stream, decoded one frame group at a time. Owns no bytes.
class FrameStream {
  public:
    // The stream in the size bytes at data, whose header ReadHeader accepted. Rewound.
    void Attach(const std::uint8_t* data, std::uint32_t size, const Header& header);

    // Back to the first frame with the whole data length to go.
    void Rewind();

    // Decodes the next frame group into out (interleaved when stereo) and returns the samples
    // written (16 mono, 32 stereo); 0 when the stream has ended.
    std::size_t DecodeGroup(std::int16_t* out);

    // Decodes groups into out, one after the other, until more than room samples have been
    // written or the stream has ended, exactly as DecodeGroup called that often would; returns
    // the samples written. out must hold room plus one group.
    std::size_t DecodeGroupsPast(std::int16_t* out, std::size_t room);

    // Encoded bytes consumed so far: length - remaining, never above 2^32-1. Safe to read from
    // another thread while the stream decodes.
    std::uint32_t Position() const;
    // Offset from the stream's first byte of the next frame to be read.
    std::uint32_t ReadOffset() const { return readOffset_; }
    // The header's data length (fnGetSizeData).
    std::uint32_t Size() const { return dataLength_; }
    // Samples a group interleaves per frame: 1 mono, 2 stereo.
    std::uint32_t Channels() const { return mono_ ? 1 : 2; }

  private:
    const std::uint8_t* data_ = nullptr;
    std::uint32_t size_ = 0;
    std::uint32_t readOffset_ = kHeaderSize;
    bool mono_ = true;
    std::int64_t lengthPerGroup_ = kFrameSize;
    std::uint32_t dataLength_ = 0;
    // Encoded bytes still to decode; below 0 once the last group ran past the length.
    std::atomic<std::int64_t> remaining_{0};
};

}  // namespace fogbell::xmd
