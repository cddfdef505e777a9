// Writes a demo archive for showing the program: an AFS archive of ADX music, a WAVE bell, an
// XMD wind loop, a PAC of WAVE voices and an AIX container (both open like folders) and a text
// file that no plug-in reads. The sounds are synthesised (demo_sounds.h) and encoded here, so
// every byte is generated on the spot.
//
//   fogbell_demo_container DIR      writes DIR/mistvale_sound.afs and prints its path
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "adx_builder.h"
#include "afs_builder.h"
#include "aix_builder.h"
#include "demo_sounds.h"
#include "host/encode/adx_encoder.h"
#include "host/encode/xmd_encoder.h"
#include "pac_builder.h"
#include "riff_wave_builder.h"
#include "test_files.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace t = fogbell::test;
namespace demo = fogbell::demo;
namespace encode = fogbell::encode;

constexpr const char* kUsage =
    "Usage: fogbell_demo_container DIR\n"
    "Writes the demo archive DIR/mistvale_sound.afs (music, a bell, wind, voices, and a text\n"
    "file no plug-in reads) and prints its path. DIR must be an existing folder.\n";
constexpr int kUsageError = 2;
constexpr int kFailure = 1;
constexpr std::uint8_t kLoopHeaderVersion = 3;
constexpr std::size_t kAdxEndFrameSize = 18;

Bytes EncodedAdx(const demo::Sound& sound) {
    return encode::EncodeAdx({sound.channels, sound.rate, encode::kAdxDefaultCutoff},
                             sound.samples.data(), sound.Frames());
}

// The encoder's frames of a sound: everything after its header.
Bytes AdxFrames(const demo::Sound& sound, bool withEndFrame) {
    const Bytes stream = EncodedAdx(sound);
    return Bytes(stream.begin() + encode::kAdxFirstFrame,
                 stream.end() - (withEndFrame ? 0 : kAdxEndFrameSize));
}

// A stand-alone ADX stream of the sound. A sound with a loop gets a header with room for the
// loop block, ahead of the same frames the encoder wrote.
Bytes Adx(const demo::Sound& sound) {
    if (sound.loopEnd == 0) {
        return EncodedAdx(sound);
    }
    t::AdxOptions options;
    options.channels = static_cast<std::uint8_t>(sound.channels);
    options.rate = sound.rate;
    options.totalSamples = sound.Frames();
    options.cutoff = encode::kAdxDefaultCutoff;
    options.version = kLoopHeaderVersion;
    options.headerOffset = t::LoopHeaderOffset(kLoopHeaderVersion, options.channels);
    options.loopBlock = true;
    options.loopStart = sound.loopStart;
    options.loopEnd = sound.loopEnd;
    return t::BuildAdx(options, AdxFrames(sound, true));
}

Bytes Wave(const demo::Sound& sound) {
    Bytes pcm;
    pcm.reserve(sound.samples.size() * 2);
    for (const std::int16_t value : sound.samples) {
        const auto bits = static_cast<std::uint16_t>(value);
        pcm.push_back(static_cast<std::uint8_t>(bits & 0xFF));
        pcm.push_back(static_cast<std::uint8_t>(bits >> 8));
    }
    return t::RiffWaveBuilder().Format(sound.channels, sound.rate).Build(pcm);
}

Bytes Xmd(const demo::Sound& sound) {
    return encode::EncodeXmd({sound.channels, sound.rate}, sound.samples.data(), sound.Frames());
}

// The two battle layers as the streams of one AIX container. A stream's total serves as the
// budget of its packet data in bytes, and stereo ADX takes more bytes than samples, so each
// layer ends in silence long enough that its sound lies wholly within that budget.
Bytes Aix() {
    t::AixBuilder builder;
    for (int layer = 0; layer < 2; ++layer) {
        demo::Sound sound = demo::BattleLayer(layer);
        const std::size_t frames = sound.Frames();
        sound.samples.resize(frames * 9 / 8 * sound.channels, 0);
        t::AixStream stream;
        stream.channels = static_cast<std::uint8_t>(sound.channels);
        stream.sampleRate = sound.rate;
        stream.cutoff = encode::kAdxDefaultCutoff;
        stream.data = AdxFrames(sound, false);
        stream.total = sound.Frames();
        builder.Add(stream);
    }
    return builder.Build().bytes;
}

Bytes Archive() {
    constexpr std::uint32_t kVoiceRate = 22050;
    const Bytes voices = t::PacBuilder()
                             .Add(Wave(demo::Voice(demo::Line::kReply, kVoiceRate)))
                             .Add(Wave(demo::Voice(demo::Line::kCall, kVoiceRate)))
                             .Add(Wave(demo::Voice(demo::Line::kQuestion, kVoiceRate)))
                             .Build()
                             .bytes;
    const std::string text = "Demo archive made by fogbell_demo_container.\n";
    return t::AfsBuilder()
        .Add("bgm_title.adx", Adx(demo::TitleTheme()))
        .Add("bgm_harbor.adx", Adx(demo::HarborTheme()))
        .Add("battle.aix", Aix())
        .Add("voices.pac", voices)
        .Add("se_bell.wav", Wave(demo::Bell(2, 44100, 2.0, 440.0)))
        .Add("wind_loop.xmd", Xmd(demo::Wind(3.0)))
        .Add("voice_017.adx", Adx(demo::Voice(demo::Line::kGreeting, kVoiceRate)))
        .Add("readme.txt", Bytes(text.begin(), text.end()))
        .Build()
        .bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc != 2) {
        std::fputs(kUsage, stderr);
        return kUsageError;
    }
    std::error_code error;
    if (!std::filesystem::is_directory(argv[1], error)) {
        std::fprintf(stderr, "fogbell_demo_container: %s is not a folder\n", argv[1]);
        return kFailure;
    }
    const std::string path = std::string(argv[1]) + "/mistvale_sound.afs";
    try {
        t::WriteFile(path, Archive());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fogbell_demo_container: %s\n", e.what());
        return kFailure;
    }
    std::printf("%s\n", path.c_str());
    return 0;
}
