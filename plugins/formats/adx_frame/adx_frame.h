// ADX ADPCM frame decoding, shared by the ADX and the AIX decoders.
//
// Frame (18 bytes, one channel, 32 samples):
//   offset  width  meaning
//   0       2      scale S, big-endian unsigned; a scale with its top bit set marks the end of
//                  the stream (0x8001 is the usual footer) and is not audio
//   2       16     32 four-bit two's-complement values, two per byte, high nibble first
//
// Each sample: v = n * S * 16384 + c1 * s1 - c2 * s2 in 32-bit two's-complement arithmetic that
// wraps, then an arithmetic shift right by 14 (toward minus infinity), clamped to 16 bits; s1 is
// the channel's latest sample and s2 the one before, both carried from frame to frame.
//
// The coefficient pair follows from the stream's high-pass cutoff and sample rate. The usual
// stream (44100 Hz, cutoff 500 Hz) uses the fixed pair 29336 / 13136.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fogbell::adx {

inline constexpr std::size_t kFrameSize = 18;
inline constexpr std::size_t kSamplesPerFrame = 32;
inline constexpr int kCoefficientBits = 14;

// Prediction coefficients in 14-bit fixed point: v = ... + first * s1 - second * s2.
struct Coefficients {
    std::int32_t first;
    std::int32_t second;
};

inline constexpr Coefficients kStandardCoefficients{29336, 13136};  // 0x7298, 0x3350
inline constexpr std::uint32_t kStandardRate = 44100;
inline constexpr std::uint16_t kStandardCutoff = 500;

// The pair for a stream's cutoff (Hz, the big-endian u16 at header offset 16) and sample rate:
// the fixed pair for 44100 Hz / 500 Hz and whenever the cutoff is 0 or above half the rate,
// otherwise computed from the second-order high-pass the encoder used.
Coefficients CoefficientsFor(std::uint32_t sampleRate, std::uint16_t cutoff);

// A channel's last two output samples.
struct History {
    std::int32_t latest = 0;
    std::int32_t previous = 0;
};

// True when the frame's scale has its top bit set: the end of the audio, not a frame to decode.
inline bool IsEndMarker(const std::uint8_t* frame) {
    return (frame[0] & 0x80) != 0;
}

// Decodes one 18-byte frame into 32 samples written at out, out + stride, out + 2 * stride...
// (stride 2 interleaves a stereo channel). Updates the channel's history.
void DecodeFrame(const std::uint8_t* frame, History& history, const Coefficients& coefficients,
                 std::int16_t* out, std::size_t stride);

// Decodes up to count frame groups that lie back to back at groups, stopping before the first
// group that holds an end marker; returns how many it decoded. With channels 1 a group is one
// frame (32 samples), with channels 2 a left and a right frame (32 interleaved pairs, left
// first). Writes the groups' samples at out and updates history[0..channels-1], exactly as
// DecodeFrame frame by frame would.
std::size_t DecodeGroups(const std::uint8_t* groups, std::size_t count, std::size_t channels,
                         History* history, const Coefficients& coefficients, std::int16_t* out);

}  // namespace fogbell::adx
