#include "fmtconv.h"

#include <samplerate.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "byte_order.h"
#include "plugin_support.h"

namespace fogbell::plugin {
namespace {

constexpr std::uint16_t kBitsPerSample = 16;
constexpr std::uint32_t kBytesPerSample = 2;
constexpr std::uint16_t kFormatRecordSize = 18;
// The resampler's quality: band-limited, the fastest of its sinc converters.
constexpr int kResamplerType = SRC_SINC_FASTEST;

// True when the record describes 16-bit PCM that the converter serves (see fmtconv.h).
bool IsServiceable(const WAVEFORMATEX& f) {
    if (f.wFormatTag != FOGBELL_WAVE_FORMAT_PCM || f.wBitsPerSample != kBitsPerSample ||
        f.nChannels == 0 || f.nChannels > kMaxChannels || f.nSamplesPerSec == 0) {
        return false;
    }
    const std::uint64_t blockAlign = std::uint64_t{f.nChannels} * kBytesPerSample;
    const std::uint64_t perSecond = blockAlign * f.nSamplesPerSec;
    return f.nBlockAlign == blockAlign && f.nAvgBytesPerSec == perSecond &&
           perSecond <= kMaxBytesPerSecond;
}

std::int16_t SampleAt(const std::uint8_t* p) {
    return static_cast<std::int16_t>(ReadU16LE(p));
}

// sum / count rounded toward minus infinity.
std::int32_t FloorDivide(std::int64_t sum, std::int64_t count) {
    std::int64_t q = sum / count;
    if (sum % count != 0 && sum < 0) {
        --q;
    }
    return static_cast<std::int32_t>(q);
}

}  // namespace

WAVEFORMATEX MakePcmFormat(std::uint32_t channels, std::uint32_t rate) {
    WAVEFORMATEX f{};
    f.wFormatTag = FOGBELL_WAVE_FORMAT_PCM;
    f.nChannels = static_cast<std::uint16_t>(channels);
    f.nSamplesPerSec = rate;
    f.nBlockAlign = static_cast<std::uint16_t>(channels * kBytesPerSample);
    f.nAvgBytesPerSec = static_cast<std::uint32_t>(std::uint64_t{f.nBlockAlign} * rate);
    f.wBitsPerSample = kBitsPerSample;
    f.cbSize = kFormatRecordSize;
    return f;
}

WAVEFORMATEX RequestedFormat(const WAVEFORMATEX& source, std::int32_t channelsOut,
                             std::int32_t rateOut) {
    const std::uint32_t channels =
        channelsOut == -1 ? source.nChannels : (static_cast<std::uint32_t>(channelsOut) & 0xFFFFu);
    const std::uint32_t rate =
        rateOut == -1 ? source.nSamplesPerSec : static_cast<std::uint32_t>(rateOut);
    return MakePcmFormat(channels, rate);
}

void PcmOutput::Reserve(std::uint32_t bytes) {
    if (bytes > capacity || buffer == nullptr) {
        block.data = nullptr;
        buffer.reset();
        capacity = 0;
        buffer = std::make_unique_for_overwrite<std::uint8_t[]>(std::max<std::uint32_t>(bytes, 1));
        capacity = bytes;
    }
    block.data = buffer.get();
}

FormatConverter::FormatConverter(const WAVEFORMATEX& source, const WAVEFORMATEX& output)
    : source_(source), output_(output), mapsChannels_(source.nChannels != output.nChannels) {}

FormatConverter::~FormatConverter() {
    if (resampler_ != nullptr) {
        src_delete(resampler_);
    }
}

std::unique_ptr<FormatConverter> FormatConverter::Open(const WAVEFORMATEX& source,
                                                       const WAVEFORMATEX& output) {
    std::unique_ptr<FormatConverter> converter(new (std::nothrow) FormatConverter(source, output));
    if (converter == nullptr) {
        SetErrorText("Can't allocate CFMTCONV.");
        return nullptr;
    }
    if (!IsServiceable(source) || !IsServiceable(output) ||
        (source.nSamplesPerSec != output.nSamplesPerSec && !converter->OpenResampler())) {
        SetErrorText("Error formats. (FMTCONV)");
        return nullptr;
    }
    return converter;
}

bool FormatConverter::OpenResampler() {
    const double ratio =
        static_cast<double>(output_.nSamplesPerSec) / static_cast<double>(source_.nSamplesPerSec);
    if (!src_is_valid_ratio(ratio)) {
        return false;
    }
    int error = 0;
    resampler_ = src_new(kResamplerType, output_.nChannels, &error);
    return resampler_ != nullptr;
}

std::uint32_t FormatConverter::OutputSize(std::uint32_t sourceBytes) const {
    if (PassesThrough()) {
        return sourceBytes;
    }
    const std::uint64_t frames = sourceBytes / source_.nBlockAlign;
    const std::uint64_t outFrames =
        (frames * output_.nSamplesPerSec + source_.nSamplesPerSec - 1) / source_.nSamplesPerSec;
    const std::uint64_t bytes = outFrames * output_.nBlockAlign;
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(std::min(bytes, kMax));
}

std::uint32_t FormatConverter::Convert(const std::uint8_t* source, std::uint32_t length,
                                       PcmOutput& out) {
    const std::uint32_t n = OutputSize(length);
    out.Reserve(n);
    out.block.size = n;
    if (PassesThrough()) {
        if (n != 0) {
            std::memcpy(out.buffer.get(), source, n);
        }
        return n;
    }
    const std::size_t frames = length / source_.nBlockAlign;
    const std::size_t outFrames = n / output_.nBlockAlign;
    const std::size_t outChannels = output_.nChannels;
    if (outFrames == 0) {
        return n;
    }
    if (mapped_.size() < frames * outChannels) {
        mapped_.resize(frames * outChannels);
    }
    MapChannels(source, frames, mapped_.data());
    const std::int16_t* result = mapped_.data();
    if (resampler_ != nullptr) {
        Resample(frames, outFrames);
        result = resampled_.data();
    }
    std::memcpy(out.buffer.get(), result, outFrames * output_.nBlockAlign);
    return n;
}

void FormatConverter::MapChannels(const std::uint8_t* source, std::size_t frames,
                                  std::int16_t* mapped) const {
    const std::size_t in = source_.nChannels;
    const std::size_t outChannels = output_.nChannels;
    for (std::size_t f = 0; f < frames; ++f) {
        const std::uint8_t* frame = source + f * source_.nBlockAlign;
        std::int16_t* to = mapped + f * outChannels;
        if (in == 1) {
            std::fill(to, to + outChannels, SampleAt(frame));
        } else if (outChannels == 1) {
            std::int64_t sum = 0;
            for (std::size_t c = 0; c < in; ++c) {
                sum += SampleAt(frame + c * kBytesPerSample);
            }
            to[0] = static_cast<std::int16_t>(FloorDivide(sum, static_cast<std::int64_t>(in)));
        } else {
            for (std::size_t c = 0; c < outChannels; ++c) {
                to[c] = c < in ? SampleAt(frame + c * kBytesPerSample) : std::int16_t{0};
            }
        }
    }
}

void FormatConverter::Resample(std::size_t frames, std::size_t outFrames) {
    const std::size_t channels = output_.nChannels;
    const std::size_t inSamples = frames * channels;
    const std::size_t outSamples = outFrames * channels;
    if (floatIn_.size() < inSamples) {
        floatIn_.resize(inSamples);
    }
    if (floatOut_.size() < outSamples) {
        floatOut_.resize(outSamples);
    }
    if (resampled_.size() < outSamples) {
        resampled_.resize(outSamples);
    }
    src_short_to_float_array(mapped_.data(), floatIn_.data(), static_cast<int>(inSamples));

    SRC_DATA data{};
    data.data_in = floatIn_.data();
    data.data_out = floatOut_.data();
    data.input_frames = static_cast<long>(frames);
    data.output_frames = static_cast<long>(outFrames);
    data.end_of_input = 1;  // one complete conversion per block
    data.src_ratio =
        static_cast<double>(output_.nSamplesPerSec) / static_cast<double>(source_.nSamplesPerSec);
    std::size_t generated = 0;
    if (src_reset(resampler_) == 0 && src_process(resampler_, &data) == 0) {
        generated = static_cast<std::size_t>(data.output_frames_gen);
    }
    // The size query rounds up, so the resampler may give a frame less: hold the last frame
    // (or silence when nothing came out) to fill the block.
    for (std::size_t f = generated; f < outFrames; ++f) {
        for (std::size_t c = 0; c < channels; ++c) {
            floatOut_[f * channels + c] =
                generated == 0 ? 0.0f : floatOut_[(generated - 1) * channels + c];
        }
    }
    src_float_to_short_array(floatOut_.data(), resampled_.data(), static_cast<int>(outSamples));
}

}  // namespace fogbell::plugin
