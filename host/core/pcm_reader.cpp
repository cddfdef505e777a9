#include "host/core/pcm_reader.h"

#include <cstring>
#include <vector>

namespace fogbell {
namespace {

constexpr std::uint16_t kPcmBits = 16;

// Closes the stream when the read ends, however it ends.
struct CloseOnExit {
    OpenedFilePtr& file;
    ~CloseOnExit() { CloseOpenedFile(file); }
};

PcmFormat FormatOf(const WAVEFORMATEX& f) {
    return PcmFormat{f.nChannels, f.nSamplesPerSec};
}

}  // namespace

bool ReadPcmFile(const PluginHost& host, const std::string& routeName, const std::string& path,
                 std::int32_t channels, std::int32_t rate, const PcmReadCallbacks& callbacks,
                 std::string& error) {
    error.clear();
    OpenedFilePtr file = host.FindDecoder(routeName);
    if (!file) {
        error = "Format unsupported.";
        return false;
    }
    DecoderPlugin& decoder = file->AsDecoder();
    file->handle = decoder.fnLoadFile(channels, rate, path.c_str());
    if (file->handle == FOGBELL_NO_HANDLE) {
        error = decoder.ErrorText("Error loading file.");
        return false;
    }
    CloseOnExit closer{file};
    const WAVEFORMATEX* source =
        decoder.fnGetFormatSource ? decoder.fnGetFormatSource(file->handle) : nullptr;
    const WAVEFORMATEX* output =
        decoder.fnGetFormatOut ? decoder.fnGetFormatOut(file->handle) : nullptr;
    if (source == nullptr || output == nullptr) {
        error = decoder.ErrorText("The decoder gives no format.");
        return false;
    }
    if (output->wBitsPerSample != kPcmBits || output->nChannels == 0 ||
        output->nSamplesPerSec == 0) {
        error = "The decoder does not give 16-bit PCM.";
        return false;
    }
    if (callbacks.begin && !callbacks.begin(FormatOf(*source), FormatOf(*output))) {
        return false;
    }
    const std::size_t frameBytes = std::size_t{output->nChannels} * sizeof(std::int16_t);
    const std::uint32_t size = decoder.fnGetSizeData ? decoder.fnGetSizeData(file->handle) : 0;
    std::vector<std::int16_t> samples;
    std::vector<std::uint8_t> partial;  // bytes of a sample frame split between two blocks
    while (decoder.fnDecodeNext != nullptr) {
        const PcmBlock* block = decoder.fnDecodeNext(file->handle);
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
        samples.resize(frames * output->nChannels);
        std::memcpy(samples.data(), partial.data(), frames * frameBytes);
        partial.erase(partial.begin(),
                      partial.begin() + static_cast<std::ptrdiff_t>(frames * frameBytes));
        if (callbacks.block && frames > 0 && !callbacks.block(samples.data(), frames)) {
            return false;
        }
        if (callbacks.progress && decoder.fnGetCurrPos) {
            callbacks.progress(decoder.fnGetCurrPos(file->handle), size);
        }
    }
    return true;
}

}  // namespace fogbell
