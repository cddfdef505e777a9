// What the AIX decoder must deliver for one stream, computed the plain way: the packets of that
// stream in chain order, each payload decoded in whole frame groups with one running history,
// up to the first frame whose scale has its top bit set.
#pragma once

#include <cstdint>
#include <vector>

#include "adx_frame.h"
#include "aix_builder.h"

namespace fogbell::test {

inline std::vector<std::uint8_t> ReferencePcm(const AixBuilder::Result& built, std::uint8_t stream,
                                              std::uint8_t channels, std::uint32_t rate,
                                              std::uint16_t cutoff) {
    const adx::Coefficients c = adx::CoefficientsFor(rate, cutoff);
    const std::size_t perGroup = channels == 2 ? 2 : 1;
    adx::History history[2];
    std::vector<std::uint8_t> pcm;
    for (const auto& packet : built.packets) {
        if (packet.stream != stream) {
            continue;
        }
        const std::uint8_t* data = built.bytes.data() + packet.offset + 16;
        for (std::size_t g = 0; (g + 1) * 18 * perGroup <= packet.size; ++g) {
            const std::uint8_t* group = data + g * 18 * perGroup;
            if (adx::IsEndMarker(group) || (perGroup == 2 && adx::IsEndMarker(group + 18))) {
                return pcm;
            }
            std::int16_t samples[64];
            for (std::size_t ch = 0; ch < perGroup; ++ch) {
                adx::DecodeFrame(group + 18 * ch, history[ch], c, samples + ch, perGroup);
            }
            for (std::size_t i = 0; i < 32 * perGroup; ++i) {
                pcm.push_back(static_cast<std::uint8_t>(samples[i] & 0xFF));
                pcm.push_back(static_cast<std::uint8_t>((samples[i] >> 8) & 0xFF));
            }
        }
    }
    return pcm;
}

}  // namespace fogbell::test
