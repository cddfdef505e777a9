// The ADX encoder: 16-bit PCM (one or two channels) into a stand-alone ADX stream that adxvoice,
// aixvoice's frame decoder and other players read.
//
// Stream written (multi-byte fields big-endian, offsets from the first byte):
//   offset  width  value
//   0       2      0x8000
//   2       2      header offset O = 32: "(c)CRI" lies at O - 2, the first frame at O + 4
//   4       1      3, the encoding of fixed-coefficient ADPCM
//   5       1      18, the frame size in bytes
//   6       1      4, bits per sample
//   7       1      channel count (1 or 2)
//   8       4      sample rate in Hz
//   12      4      total sample count (samples per channel)
//   16      2      high-pass cutoff in Hz; with the rate it sets the prediction coefficients
//   18      1      3, header version
//   19      1      0, flags
//   20      10     0: no loop
//   30      6      "(c)CRI"
//   36             frame groups: per 32 sample times one 18-byte frame per channel, left first
//                  (adx_frame.h), the last group padded with silence
//   then    18     the end-of-stream frame: scale 0x8001, then 0x000E and 14 zero bytes
//
// A looped stream has the version 3 loop block in place of the ten zero bytes, so the header
// offset grows to 46 ("(c)CRI" at 44, the first frame at 50):
//   20      2      0, alignment samples (the loop starts wherever its sample lies)
//   22      2      1, loop flag
//   24      4      1, loop flag
//   28      4      loop start, the loop's first sample
//   32      4      byte offset of the frame group holding the loop start
//   36      4      loop end, the first sample after the loop
//   40      4      byte offset just past the frame group holding the loop's last sample
//
// Each frame is chosen by the closed-loop search of adpcm_search.h, predicting from the values the
// decoder will hold (clamped to 16 bits), with the coefficients the decoder derives from the
// header's rate and cutoff. Scales stay below 0x8000, which would mark the end of the stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "host/encode/adpcm_search.h"
#include "host/encode/adx_header.h"
#include "host/encode/encode_status.h"

namespace fogbell::encode {

inline constexpr std::uint16_t kAdxDefaultCutoff = 500;
inline constexpr std::uint32_t kAdxHeaderOffset = 32;
inline constexpr std::uint32_t kAdxFirstFrame = kAdxHeaderOffset + 4;
inline constexpr std::uint32_t kAdxMaxScale = 0x7FFF;
inline constexpr std::uint32_t kAdxLoopHeaderOffset = 46;

struct AdxFormat {
    std::uint32_t channels = 2;
    std::uint32_t rate = 44100;
    std::uint16_t cutoff = kAdxDefaultCutoff;
};

// Whether the format can be written: 1 or 2 channels, a rate of 1 Hz or more.
EncodeStatus CheckAdxFormat(const AdxFormat& format);

// Whether loop fits a stream of total samples per channel: start < end <= total.
EncodeStatus CheckAdxLoop(const AdxLoop& loop, std::uint64_t total);

class AdxEncoder {
  public:
    // An encoder for a format that CheckAdxFormat accepted.
    explicit AdxEncoder(const AdxFormat& format, const SearchSettings& settings = {});
    // The same, for a stream that carries loop (when it fits the stream, CheckAdxLoop).
    AdxEncoder(const AdxFormat& format, const std::optional<AdxLoop>& loop,
               const SearchSettings& settings = {});

    // Encodes frames sample frames of interleaved PCM (channels values each). Whole frame groups
    // are encoded at once; the rest waits for more. kTooLong (nothing taken) when the stream
    // would pass 2^32 - 1 samples per channel.
    EncodeStatus Append(const std::int16_t* interleaved, std::size_t frames);

    // Encodes what waits (padded with silence), writes the end frame, the total and the loop
    // (when it fits the total; otherwise the loop flag stays 0) into the header, and hands out
    // the stream. The encoder is spent afterwards.
    std::vector<std::uint8_t> Finish();

    // Samples per channel taken so far.
    std::uint64_t TotalSamples() const { return total_; }

  private:
    void EncodeGroup(std::size_t samples);
    void WriteLoop(const AdxLoop& loop);

    AdxFormat format_;
    std::optional<AdxLoop> loop_;
    SearchSettings settings_;
    Predictor predictor_;
    DecoderState states_[2];
    EffortGauge gauges_[2];
    std::int32_t pending_[2][kMaxFrameSamples] = {};  // per channel, waiting for a whole frame
    std::size_t pendingCount_ = 0;
    std::uint64_t total_ = 0;
    std::vector<std::uint8_t> out_;
};

// The whole stream of frames interleaved sample frames at once.
std::vector<std::uint8_t> EncodeAdx(const AdxFormat& format, const std::int16_t* interleaved,
                                    std::size_t frames, const SearchSettings& settings = {});

}  // namespace fogbell::encode
