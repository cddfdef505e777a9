#include "host/encode/adx_encoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "adx_frame.h"
#include "host/encode/adx_header.h"

namespace fogbell::encode {
namespace {

// Header fields (see adx_encoder.h).
constexpr std::uint8_t kFirstByte = 0x80;
constexpr std::size_t kOffsetField = 2;
constexpr std::size_t kEncodingField = 4;
constexpr std::size_t kFrameSizeField = 5;
constexpr std::size_t kBitsField = 6;
constexpr std::size_t kChannelsField = 7;
constexpr std::size_t kRateField = 8;
constexpr std::size_t kTotalField = 12;
constexpr std::size_t kCutoffField = 16;
constexpr std::uint8_t kFixedCoefficientEncoding = 3;
constexpr std::uint8_t kBitsPerSample = 4;
constexpr std::uint8_t kHeaderVersion = 3;
constexpr char kSignature[] = "(c)CRI";
constexpr std::size_t kSignatureSize = 6;
// The end-of-stream frame: a scale with its top bit set, then the count of bytes after it.
constexpr std::uint16_t kEndScale = 0x8001;
constexpr std::uint16_t kEndRest = 0x000E;

void PutU16BE(std::uint8_t* p, std::uint32_t value) {
    p[0] = static_cast<std::uint8_t>(value >> 8);
    p[1] = static_cast<std::uint8_t>(value);
}

void PutU32BE(std::uint8_t* p, std::uint32_t value) {
    PutU16BE(p, value >> 16);
    PutU16BE(p + 2, value & 0xFFFFu);
}

// A frame: the big-endian scale, then the nibbles two per byte, the high nibble first.
void PutFrame(std::uint8_t* frame, const FrameChoice& choice) {
    PutU16BE(frame, choice.scale);
    for (std::size_t i = 0; i < adx::kSamplesPerFrame; i += 2) {
        const auto high = static_cast<std::uint32_t>(choice.nibbles[i]) & 0x0Fu;
        const auto low = static_cast<std::uint32_t>(choice.nibbles[i + 1]) & 0x0Fu;
        frame[2 + i / 2] = static_cast<std::uint8_t>((high << 4) | low);
    }
}

}  // namespace

EncodeStatus CheckAdxLoop(const AdxLoop& loop, std::uint64_t total) {
    return loop.start < loop.end && loop.end <= total ? EncodeStatus::kOk : EncodeStatus::kBadLoop;
}

EncodeStatus CheckAdxFormat(const AdxFormat& format) {
    if (format.channels < 1 || format.channels > 2) {
        return EncodeStatus::kBadChannels;
    }
    return format.rate == 0 ? EncodeStatus::kBadRate : EncodeStatus::kOk;
}

AdxEncoder::AdxEncoder(const AdxFormat& format, const SearchSettings& settings)
    : AdxEncoder(format, std::nullopt, settings) {}

AdxEncoder::AdxEncoder(const AdxFormat& format, const std::optional<AdxLoop>& loop,
                       const SearchSettings& settings)
    : format_(format),
      loop_(loop),
      settings_(settings),
      gauges_{EffortGauge(settings.beamShare), EffortGauge(settings.beamShare)} {
    format_.channels = std::clamp<std::uint32_t>(format_.channels, 1, 2);
    const adx::Coefficients c = adx::CoefficientsFor(format_.rate, format_.cutoff);
    predictor_ = Predictor{c.first, c.second};
    const std::uint32_t offset = loop_ ? kAdxLoopHeaderOffset : kAdxHeaderOffset;
    out_.assign(offset + 4, 0);
    out_[0] = kFirstByte;
    PutU16BE(&out_[kOffsetField], offset);
    out_[kEncodingField] = kFixedCoefficientEncoding;
    out_[kFrameSizeField] = static_cast<std::uint8_t>(adx::kFrameSize);
    out_[kBitsField] = kBitsPerSample;
    out_[kChannelsField] = static_cast<std::uint8_t>(format_.channels);
    PutU32BE(&out_[kRateField], format_.rate);
    PutU16BE(&out_[kCutoffField], format_.cutoff);
    out_[kAdxVersionField] = kHeaderVersion;
    std::memcpy(&out_[offset - 2], kSignature, kSignatureSize);
}

EncodeStatus AdxEncoder::Append(const std::int16_t* interleaved, std::size_t frames) {
    if (frames > std::numeric_limits<std::uint32_t>::max() - total_) {
        return EncodeStatus::kTooLong;
    }
    out_.reserve(out_.size() +
                 (frames / adx::kSamplesPerFrame + 2) * adx::kFrameSize * format_.channels);
    const std::size_t channels = format_.channels;
    for (std::size_t f = 0; f < frames; ++f) {
        for (std::size_t c = 0; c < channels; ++c) {
            pending_[c][pendingCount_] = interleaved[f * channels + c];
        }
        if (++pendingCount_ == adx::kSamplesPerFrame) {
            EncodeGroup(adx::kSamplesPerFrame);
        }
    }
    total_ += frames;
    return EncodeStatus::kOk;
}

void AdxEncoder::EncodeGroup(std::size_t samples) {
    for (std::size_t c = 0; c < format_.channels; ++c) {
        std::fill(pending_[c] + samples, pending_[c] + adx::kSamplesPerFrame, 0);
        const FrameChoice choice =
            SearchFrame(pending_[c], adx::kSamplesPerFrame, samples, states_[c], predictor_,
                        Rule::kClamp, kAdxMaxScale, settings_, gauges_[c].Floor());
        gauges_[c].Add(choice.squaredError);
        states_[c] = choice.end;
        const std::size_t at = out_.size();
        out_.resize(at + adx::kFrameSize);
        PutFrame(&out_[at], choice);
    }
    pendingCount_ = 0;
}

std::vector<std::uint8_t> AdxEncoder::Finish() {
    if (pendingCount_ > 0) {
        EncodeGroup(pendingCount_);
    }
    std::array<std::uint8_t, adx::kFrameSize> end{};
    PutU16BE(&end[0], kEndScale);
    PutU16BE(&end[2], kEndRest);
    out_.insert(out_.end(), end.begin(), end.end());
    PutU32BE(&out_[kTotalField], static_cast<std::uint32_t>(total_));
    if (loop_ && CheckAdxLoop(*loop_, total_) == EncodeStatus::kOk) {
        WriteLoop(*loop_);
    }
    return std::move(out_);
}

void AdxEncoder::WriteLoop(const AdxLoop& loop) {
    WriteAdxLoopBlock(out_.data(), *AdxLoopBlockAt(kHeaderVersion, format_.channels),
                      kAdxLoopHeaderOffset + 4, format_.channels, loop);
}

std::vector<std::uint8_t> EncodeAdx(const AdxFormat& format, const std::int16_t* interleaved,
                                    std::size_t frames, const SearchSettings& settings) {
    AdxEncoder encoder(format, settings);
    encoder.Append(interleaved, frames);
    return encoder.Finish();
}

}  // namespace fogbell::encode
