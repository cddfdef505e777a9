#include "host/audio/sound_loudness.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "host/audio/pcm_reader.h"

namespace fogbell {
namespace {

constexpr std::uint16_t kPcmBits = 16;
constexpr const char* kNoMeter = "The loudness of this sound format cannot be measured.";

}  // namespace

bool MeasureStream(const DecoderSession& stream, loudness::LoudnessFigures& figures,
                   std::string& error) {
    const auto output = stream.OutputFormat();
    if (!output.value || output.value->wBitsPerSample != kPcmBits || output.value->nChannels == 0) {
        error = output.TextOr("The decoder does not give 16-bit PCM.");
        return false;
    }
    const std::uint32_t channels = output.value->nChannels;
    loudness::LoudnessMeter meter(channels, output.value->nSamplesPerSec);
    if (!meter.Ok()) {
        error = kNoMeter;
        return false;
    }
    const std::size_t frameBytes = std::size_t{channels} * sizeof(std::int16_t);
    std::vector<std::uint8_t> pending;  // bytes of a frame split between two blocks
    std::vector<std::int16_t> samples;
    while (stream.CanDecode()) {
        const PcmBlock* block = stream.DecodeNext();
        if (block == nullptr) {
            break;
        }
        if (block->size == 0 || block->data == nullptr) {
            continue;
        }
        pending.insert(pending.end(), block->data, block->data + block->size);
        const std::size_t frames = pending.size() / frameBytes;
        samples.resize(frames * channels);
        std::copy_n(pending.data(), frames * frameBytes,
                    reinterpret_cast<std::uint8_t*>(samples.data()));
        pending.erase(pending.begin(),
                      pending.begin() + static_cast<std::ptrdiff_t>(frames * frameBytes));
        meter.Add(samples.data(), frames);
    }
    figures = meter.Figures();
    return true;
}

bool MeasureFile(const PluginHost& host, const std::string& routeName, const std::string& path,
                 std::int32_t channels, std::int32_t rate, loudness::LoudnessFigures& figures,
                 std::string& error) {
    std::unique_ptr<loudness::LoudnessMeter> meter;
    PcmReadCallbacks callbacks;
    callbacks.begin = [&](const PcmFormat&, const PcmFormat& output) {
        meter = std::make_unique<loudness::LoudnessMeter>(output.channels, output.rate);
        return meter->Ok();
    };
    callbacks.block = [&](const std::int16_t* samples, std::size_t frames) {
        return meter->Add(samples, frames);
    };
    if (!ReadPcmFile(host, routeName, path, channels, rate, callbacks, error)) {
        if (error.empty()) {
            error = kNoMeter;
        }
        return false;
    }
    if (!meter) {
        error = "The decoder gave no sound format.";
        return false;
    }
    figures = meter->Figures();
    return true;
}

}  // namespace fogbell
