#include "host/audio/pcm_reader.h"

#include <cstring>
#include <vector>

namespace fogbell {
namespace {

constexpr std::uint16_t kPcmBits = 16;

PcmFormat FormatOf(const WAVEFORMATEX& f) {
    return PcmFormat{f.nChannels, f.nSamplesPerSec,
                     f.wFormatTag == FOGBELL_WAVE_FORMAT_PCM && f.wBitsPerSample == kPcmBits};
}

}  // namespace

bool ReadPcmFile(const PluginHost& host, const std::string& routeName, const std::string& path,
                 std::int32_t channels, std::int32_t rate, const PcmReadCallbacks& callbacks,
                 std::string& error) {
    error.clear();
    const DecoderSessionPtr stream = host.OpenStreamAs(routeName, path, channels, rate, error);
    if (!stream) {
        return false;
    }
    constexpr const char* kNoFormat = "The decoder gives no format.";
    const auto source = stream->SourceFormat();
    if (!source.value) {
        error = source.TextOr(kNoFormat);
        return false;
    }
    const auto output = stream->OutputFormat();
    if (!output.value) {
        error = output.TextOr(kNoFormat);
        return false;
    }
    const WAVEFORMATEX& out = *output.value;
    if (out.wBitsPerSample != kPcmBits || out.nChannels == 0 || out.nSamplesPerSec == 0) {
        error = "The decoder does not give 16-bit PCM.";
        return false;
    }
    if (callbacks.begin && !callbacks.begin(FormatOf(*source.value), FormatOf(out))) {
        return false;
    }
    const std::size_t frameBytes = std::size_t{out.nChannels} * sizeof(std::int16_t);
    const std::uint32_t size = stream->SizeData().value_or(0);
    std::vector<std::int16_t> samples;
    std::vector<std::uint8_t> partial;  // bytes of a sample frame split between two blocks
    while (stream->CanDecode()) {
        const PcmBlock* block = stream->DecodeNext();
        if (block == nullptr) {
            break;
        }
        if (block->size == 0) {
            continue;
        }
        if (block->data == nullptr) {
            error = "The decoder gave a block without data.";
            return false;
        }
        partial.insert(partial.end(), block->data, block->data + block->size);
        const std::size_t frames = partial.size() / frameBytes;
        samples.resize(frames * out.nChannels);
        std::memcpy(samples.data(), partial.data(), frames * frameBytes);
        partial.erase(partial.begin(),
                      partial.begin() + static_cast<std::ptrdiff_t>(frames * frameBytes));
        if (callbacks.block && frames > 0 && !callbacks.block(samples.data(), frames)) {
            return false;
        }
        if (callbacks.progress) {
            if (const auto position = stream->Position()) {
                callbacks.progress(*position, size);
            }
        }
    }
    return true;
}

}  // namespace fogbell
