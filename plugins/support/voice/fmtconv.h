// CFMTCONV: the per-handle PCM format converter of adxvoice, wavvoice and xmdvoice.
//
// A decoder produces 16-bit PCM in its source format and hands out 16-bit PCM in the output
// format its caller asked for. The converter changes the channel count with its own mapping and
// the sample rate through libsamplerate; when the two formats are equal (what the host always
// asks for) it copies the bytes unchanged and never touches the resampler.
//
// Channel mapping (source M channels, output N channels, interleaved frames):
//   M == N          each channel as it is
//   M == 1          the one channel on every output channel (mono to stereo duplicates)
//   N == 1          the mean of all source channels, rounded down (stereo to mono averages)
//   otherwise       output channel c takes source channel c; channels the source lacks are
//                   silent (2 to 6 fills front left and right), extra source channels are dropped
//
// Block sizes follow the decoder's four steps: the output size n of L source bytes is what the
// size query (OutputSize) says; the output buffer grows to n when it is smaller; the block is
// reported as n bytes; equal formats copy the L bytes (then n == L).
//
// Every conversion is complete and independent: the resampler is reset before each block, so a
// block depends only on its own source bytes. Callers rely on that: a rewound stream repeats its
// blocks exactly, two handles never influence each other, and each block is exactly n bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "fogbell_decoder.h"

struct SRC_STATE_tag;

namespace fogbell::plugin {

// Formats the converter serves: 16-bit PCM, 1 to kMaxChannels channels (the most a one-byte
// channel field holds), a rate of at least 1 Hz, and at most kMaxBytesPerSecond bytes per second
// (every buffer of a decoder is about one second long). A rate change must stay within the
// resampler's range of 1/256 to 256.
inline constexpr std::uint32_t kMaxChannels = 255;
inline constexpr std::uint32_t kMaxBytesPerSecond = 32u << 20;

// A 16-bit PCM format record: nBlockAlign = channels * 2, nAvgBytesPerSec = nBlockAlign * rate,
// cbSize 18. Values that do not fit the record's fields are cut to them; the converter refuses
// such a record because its fields no longer agree.
WAVEFORMATEX MakePcmFormat(std::uint32_t channels, std::uint32_t rate);

// The output format a load asks for: channelsOut (its low 16 bits) and rateOut, -1 meaning the
// source's value.
WAVEFORMATEX RequestedFormat(const WAVEFORMATEX& source, std::int32_t channelsOut,
                             std::int32_t rateOut);

// The block a decoder hands out and the buffer behind it. block.data always points at buffer.
struct PcmOutput {
    PcmBlock block{};
    std::unique_ptr<std::uint8_t[]> buffer;
    std::uint32_t capacity = 0;

    // Makes room for at least bytes; the content is not kept when the buffer grows.
    void Reserve(std::uint32_t bytes);
};

class FormatConverter {
  public:
    // Creates and opens a converter from source to output. Null with "Can't allocate CFMTCONV."
    // or "Error formats. (FMTCONV)" (a format outside the range above, or a pair of rates the
    // resampler cannot serve).
    static std::unique_ptr<FormatConverter> Open(const WAVEFORMATEX& source,
                                                 const WAVEFORMATEX& output);
    ~FormatConverter();
    FormatConverter(const FormatConverter&) = delete;
    FormatConverter& operator=(const FormatConverter&) = delete;

    // True when source and output are the same format: blocks are copied unchanged.
    bool PassesThrough() const { return resampler_ == nullptr && !mapsChannels_; }

    // Bytes that sourceBytes of source PCM become (the size query). Equal formats: sourceBytes.
    // Otherwise only whole source frames count, and the output frame count is rounded up:
    // ceil(frames * outputRate / sourceRate), so that no part of the last frame is lost.
    std::uint32_t OutputSize(std::uint32_t sourceBytes) const;

    // Converts length bytes at source into out (grown to OutputSize(length) when smaller) and
    // sets out.block to the result. Returns the block's byte count.
    std::uint32_t Convert(const std::uint8_t* source, std::uint32_t length, PcmOutput& out);

  private:
    FormatConverter(const WAVEFORMATEX& source, const WAVEFORMATEX& output);
    bool OpenResampler();
    // Maps frames source frames to the output's channel count, into mapped.
    void MapChannels(const std::uint8_t* source, std::size_t frames, std::int16_t* mapped) const;
    // Resamples the mapped frames into outFrames output frames.
    void Resample(std::size_t frames, std::size_t outFrames);

    WAVEFORMATEX source_;
    WAVEFORMATEX output_;
    bool mapsChannels_ = false;
    SRC_STATE_tag* resampler_ = nullptr;  // only when the rates differ
    // Scratch, grown to the largest block met and then reused: no allocation per block.
    std::vector<std::int16_t> mapped_;
    std::vector<float> floatIn_;
    std::vector<float> floatOut_;
    std::vector<std::int16_t> resampled_;
};

}  // namespace fogbell::plugin
