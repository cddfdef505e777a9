#include "host/encode/xmd_encoder.h"

#include <algorithm>
#include <limits>

namespace fogbell::encode {
namespace {

constexpr std::size_t kChannelsField = 0;
constexpr std::size_t kRateField = 1;
constexpr std::size_t kLengthField = 3;
constexpr std::size_t kScaleOffset = 4;
constexpr std::size_t kNibblesOffset = 6;
constexpr std::size_t kStoredSamples = 2;
// The decoder's fixed prediction coefficients.
constexpr Predictor kPredictor{29336, 13136};

void PutU16LE(std::uint8_t* p, std::uint32_t value) {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}

void PutU32LE(std::uint8_t* p, std::uint32_t value) {
    PutU16LE(p, value & 0xFFFFu);
    PutU16LE(p + 2, value >> 16);
}

// One frame of one channel: the two stored samples, then the searched scale and nibbles (low
// nibble first). weighted counts the samples that are sound, not padding.
void EncodeFrame(const std::int32_t* samples, std::size_t weighted, const SearchSettings& settings,
                 EffortGauge& gauge, std::uint8_t* frame) {
    PutU16LE(frame, static_cast<std::uint16_t>(samples[0]));
    PutU16LE(frame + 2, static_cast<std::uint16_t>(samples[1]));
    const DecoderState start{samples[1], samples[0]};
    const std::size_t searched = kXmdSamplesPerFrame - kStoredSamples;
    const std::size_t searchedWeight = weighted > kStoredSamples ? weighted - kStoredSamples : 0;
    const FrameChoice choice =
        SearchFrame(samples + kStoredSamples, searched, searchedWeight, start, kPredictor,
                    Rule::kWrap, kXmdMaxScale, settings, gauge.Floor());
    gauge.Add(choice.squaredError);
    PutU16LE(frame + kScaleOffset, choice.scale);
    for (std::size_t i = 0; i < searched; i += 2) {
        const auto low = static_cast<std::uint32_t>(choice.nibbles[i]) & 0x0Fu;
        const auto high = static_cast<std::uint32_t>(choice.nibbles[i + 1]) & 0x0Fu;
        frame[kNibblesOffset + i / 2] = static_cast<std::uint8_t>(low | (high << 4));
    }
}

}  // namespace

EncodeStatus CheckXmdFormat(const XmdFormat& format) {
    if (format.channels < 1 || format.channels > 2) {
        return EncodeStatus::kBadChannels;
    }
    return format.rate == 0 || format.rate > kXmdMaxRate ? EncodeStatus::kBadRate
                                                         : EncodeStatus::kOk;
}

XmdEncoder::XmdEncoder(const XmdFormat& format, const SearchSettings& settings)
    : format_(format),
      settings_(settings),
      gauges_{EffortGauge(settings.beamShare), EffortGauge(settings.beamShare)} {
    format_.channels = std::clamp<std::uint32_t>(format_.channels, 1, 2);
    out_.assign(kXmdHeaderSize, 0);
    out_[kChannelsField] = static_cast<std::uint8_t>(format_.channels);
    PutU16LE(&out_[kRateField], std::min(format_.rate, kXmdMaxRate));
}

EncodeStatus XmdEncoder::Append(const std::int16_t* interleaved, std::size_t frames) {
    const std::size_t channels = format_.channels;
    const std::uint64_t groups =
        (pendingCount_ + std::uint64_t{frames} + kXmdSamplesPerFrame - 1) / kXmdSamplesPerFrame;
    const std::uint64_t groupBytes = std::uint64_t{kXmdFrameSize} * channels;
    if (groups > (std::numeric_limits<std::uint32_t>::max() - dataBytes_) / groupBytes) {
        return EncodeStatus::kTooLong;
    }
    out_.reserve(out_.size() + (frames / kXmdSamplesPerFrame + 2) * groupBytes);
    for (std::size_t f = 0; f < frames; ++f) {
        for (std::size_t c = 0; c < channels; ++c) {
            pending_[c][pendingCount_] = interleaved[f * channels + c];
        }
        if (++pendingCount_ == kXmdSamplesPerFrame) {
            EncodeGroup(kXmdSamplesPerFrame);
        }
    }
    return EncodeStatus::kOk;
}

void XmdEncoder::EncodeGroup(std::size_t samples) {
    for (std::size_t c = 0; c < format_.channels; ++c) {
        std::fill(pending_[c] + samples, pending_[c] + kXmdSamplesPerFrame, 0);
        const std::size_t at = out_.size();
        out_.resize(at + kXmdFrameSize);
        EncodeFrame(pending_[c], samples, settings_, gauges_[c], &out_[at]);
        dataBytes_ += kXmdFrameSize;
    }
    pendingCount_ = 0;
}

std::vector<std::uint8_t> XmdEncoder::Finish() {
    if (pendingCount_ > 0) {
        EncodeGroup(pendingCount_);
    }
    PutU32LE(&out_[kLengthField], static_cast<std::uint32_t>(dataBytes_));
    return std::move(out_);
}

std::vector<std::uint8_t> EncodeXmd(const XmdFormat& format, const std::int16_t* interleaved,
                                    std::size_t frames, const SearchSettings& settings) {
    XmdEncoder encoder(format, settings);
    encoder.Append(interleaved, frames);
    return encoder.Finish();
}

}  // namespace fogbell::encode
