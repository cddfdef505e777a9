// Writes a demo archive for showing the program: an AFS archive of ADX music, a WAVE chime, an
// XMD loop, a PAC of WAVE voices and an AIX container (both open like folders) and a text
// file that no plug-in reads. Made with the test builders, so every byte is generated here.
//
//   fogbell_demo_container DIR      writes DIR/mistvale_sound.afs
#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

#include "adx_builder.h"
#include "afs_builder.h"
#include "aix_builder.h"
#include "pac_builder.h"
#include "riff_wave_builder.h"
#include "test_files.h"
#include "xmd_builder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace t = fogbell::test;

constexpr std::uint32_t kSamplesPerAdxFrame = 32;
constexpr std::uint32_t kSamplesPerXmdFrame = 16;

Bytes Adx(std::uint8_t channels, std::uint32_t rate, double seconds, std::uint32_t seed) {
    const auto groups = static_cast<std::size_t>(seconds * rate / kSamplesPerAdxFrame);
    t::AdxOptions options;
    options.channels = channels;
    options.rate = rate;
    options.totalSamples = static_cast<std::uint32_t>(groups * kSamplesPerAdxFrame);
    return t::BuildAdx(options, t::AdxFrames(groups, channels, seed), true);
}

// A fading bell-like chord, 16-bit PCM.
Bytes Chime(std::uint16_t channels, std::uint32_t rate, double seconds, double pitch) {
    Bytes samples;
    const auto count = static_cast<std::size_t>(seconds * rate);
    for (std::size_t i = 0; i < count; ++i) {
        const double time = static_cast<double>(i) / rate;
        const double tone = std::sin(2 * std::numbers::pi * pitch * time) +
                            0.5 * std::sin(2 * std::numbers::pi * pitch * 2.01 * time) +
                            0.25 * std::sin(2 * std::numbers::pi * pitch * 3.03 * time);
        const auto value = static_cast<std::int16_t>(9000 * tone * std::exp(-2.5 * time));
        for (std::uint16_t c = 0; c < channels; ++c) {
            samples.push_back(static_cast<std::uint8_t>(value & 0xFF));
            samples.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
        }
    }
    return t::RiffWaveBuilder().Format(channels, rate).Build(samples);
}

Bytes Xmd(std::uint16_t rate, double seconds) {
    const auto frames = static_cast<std::size_t>(seconds * rate / kSamplesPerXmdFrame);
    const Bytes data = t::XmdFrames(frames, 5);
    return t::BuildXmd(1, rate, static_cast<std::uint32_t>(data.size()), data);
}

Bytes Aix() {
    t::AixBuilder builder;
    for (std::uint32_t stream = 0; stream < 2; ++stream) {
        t::AixStream s;
        s.channels = 2;
        s.sampleRate = 44100;
        s.data = t::AdxFrames(1400, 2, 20 + stream);
        s.total = 1400 * kSamplesPerAdxFrame;
        builder.Add(s);
    }
    return builder.Build().bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const Bytes voices = t::PacBuilder()
                             .Add(Chime(1, 22050, 1.2, 523.25))
                             .Add(Chime(1, 22050, 1.5, 659.25))
                             .Add(Chime(1, 22050, 0.9, 783.99))
                             .Build()
                             .bytes;
    const std::string text = "Demo archive made by fogbell_demo_container.\n";
    const Bytes archive = t::AfsBuilder()
                              .Add("bgm_title.adx", Adx(2, 44100, 6.0, 1))
                              .Add("bgm_harbor.adx", Adx(2, 32000, 4.5, 2))
                              .Add("battle.aix", Aix())
                              .Add("voices.pac", voices)
                              .Add("se_bell.wav", Chime(2, 44100, 2.0, 440.0))
                              .Add("wind_loop.xmd", Xmd(22050, 3.0))
                              .Add("voice_017.adx", Adx(1, 22050, 2.5, 3))
                              .Add("readme.txt", Bytes(text.begin(), text.end()))
                              .Build()
                              .bytes;
    const std::string path = std::string(argv[1]) + "/mistvale_sound.afs";
    t::WriteFile(path, archive);
    std::printf("%s\n", path.c_str());
    return 0;
}
