// Interleaved 16-bit PCM as the search reads it, and its mono mix.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fogbell::loops {

struct PcmView {
    const std::int16_t* samples = nullptr;  // frames * channels values, channel after channel
    std::size_t frames = 0;                 // samples per channel
    std::size_t channels = 0;
    std::size_t rate = 0;  // sample frames per second
};

// out[i] = the mean of the channels of frame begin + i, scaled to [-1, 1), for i in [0, count);
// frames past the end of the PCM give 0.
inline void MixMono(const PcmView& pcm, std::size_t begin, std::size_t count, float* out) {
    const float scale = 1.0f / (32768.0f * static_cast<float>(pcm.channels));
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t frame = begin + i;
        if (frame >= pcm.frames) {
            out[i] = 0.0f;
            continue;
        }
        const std::int16_t* values = pcm.samples + frame * pcm.channels;
        int sum = 0;
        for (std::size_t c = 0; c < pcm.channels; ++c) {
            sum += values[c];
        }
        out[i] = static_cast<float>(sum) * scale;
    }
}

}  // namespace fogbell::loops
