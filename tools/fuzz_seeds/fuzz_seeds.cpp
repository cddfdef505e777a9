#include "fuzz_seeds.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>

#include "adx_builder.h"
#include "afs_builder.h"
#include "aix_builder.h"
#include "byte_writer.h"
#include "mvx_builder.h"
#include "pac_builder.h"
#include "riff_wave_builder.h"
#include "wave_builder.h"
#include "xmd_builder.h"
#if defined(FOGBELL_WITH_SNDVOICE)
#include "sound_file_builder.h"
#endif

namespace fogbell::fuzz {
namespace {

using test::AdxFrames;
using test::AdxOptions;
using test::AfsBuilder;
using test::AixBuilder;
using test::AixStream;
using test::MvxBuilder;
using test::PacBuilder;
using test::RiffWaveBuilder;

// Seeds stay small (a few kilobytes): the fuzzer runs fastest on short inputs, and every
// branch of the readers is already reached by a handful of frames.
Bytes Adx(std::uint8_t channels, std::uint32_t rate, std::size_t groups, std::uint32_t seed,
          bool footer = false, std::uint16_t headerOffset = 0x1C) {
    AdxOptions options;
    options.channels = channels;
    options.rate = rate;
    options.totalSamples = static_cast<std::uint32_t>(groups * 32);
    options.headerOffset = headerOffset;
    return test::BuildAdx(options, AdxFrames(groups, channels, seed), footer);
}

// A WAVE file of bytes of data in the sample format of tag and bits.
Bytes SampleWave(test::WaveLayout layout, std::uint16_t tag, std::uint16_t bits,
                 std::uint16_t channels, std::size_t bytes, std::uint32_t seed) {
    test::WaveOptions options;
    options.layout = layout;
    options.formatTag = tag;
    options.bits = bits;
    options.channels = channels;
    options.rate = 22050;
    return test::BuildWave(options, test::Pattern(bytes, seed));
}

Bytes Xmd(std::uint8_t channels, std::uint16_t rate, std::size_t groups, std::uint32_t seed) {
    const Bytes frames = test::XmdFrames(groups * channels, seed);
    return test::BuildXmd(channels, rate, static_cast<std::uint32_t>(frames.size()), frames);
}

Bytes Wave(RiffWaveBuilder::Layout layout, std::uint16_t channels, std::uint32_t rate,
           std::size_t bytes, std::uint32_t seed) {
    return RiffWaveBuilder().Use(layout).Format(channels, rate).Build(test::Pattern(bytes, seed));
}

AixStream AixTrack(std::uint8_t channels, std::uint32_t rate, std::size_t groups,
                   std::uint32_t seed, std::uint32_t packetData) {
    AixStream stream;
    stream.channels = channels;
    stream.sampleRate = rate;
    stream.total = static_cast<std::uint32_t>(groups * 32);
    stream.data = AdxFrames(groups, channels, seed);
    stream.packetData = packetData;
    return stream;
}

std::vector<Seed> AixSeeds() {
    return {
        {"two_streams", AixBuilder()
                            .Add(AixTrack(2, 44100, 40, 1, 288))
                            .Add(AixTrack(2, 32000, 30, 2, 288))
                            .Build()
                            .bytes},
        {"mono_gap", AixBuilder().Add(AixTrack(1, 22050, 60, 3, 252)).Gap(16).Build().bytes},
        {"three_with_end", AixBuilder()
                               .Add(AixTrack(1, 11025, 20, 4, 180))
                               .Add(AixTrack(2, 22050, 20, 5, 216))
                               .Add(AixTrack(1, 48000, 12, 6, 144))
                               .Trailer(test::AdxEndFrame())
                               .Build()
                               .bytes},
    };
}

// bytes with what written over them from at on: filler that a layout keeps as runs.
Bytes Scribbled(Bytes bytes, std::size_t at, const Bytes& what) {
    std::copy(what.begin(), what.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    return bytes;
}

std::vector<Seed> PacSeeds() {
    const auto kFmt16 = RiffWaveBuilder::Layout::kFmt16;
    const auto kFmt18 = RiffWaveBuilder::Layout::kFmt18Data;
    return {
        {"two_waves", PacBuilder()
                          .Add(Wave(kFmt16, 2, 44100, 400, 1))
                          .Add(Wave(kFmt18, 1, 22050, 300, 2), 64)
                          .Build()
                          .bytes},
        {"three_aligned", PacBuilder()
                              .Align(32)
                              .Add(Wave(kFmt16, 1, 8000, 100, 3), 16)
                              .Add(Wave(kFmt16, 2, 48000, 256, 4))
                              .Add(Wave(kFmt18, 2, 32000, 64, 5), 40)
                              .Build()
                              .bytes},
        {"odd_filler",
         [] {
             const auto built = PacBuilder()
                                    .Align(64)
                                    .Add(Wave(kFmt16, 1, 8000, 100, 6), 20)
                                    .Add(Wave(kFmt16, 1, 8000, 60, 7), 9)
                                    .Build();
             const Bytes first =
                 Scribbled(built.bytes, built.offsets[0] + built.sizes[0], test::Pattern(20, 8));
             return Scribbled(first, built.offsets[1] + built.sizes[1], test::Pattern(9, 9));
         }()},
    };
}

std::vector<Seed> MvxSeeds() {
    return {
        {"two_tracks",
         MvxBuilder()
             .Add("voice01.xmd", test::XmdStreamBytes(1, 22050, test::XmdFrames(30, 1)))
             .Add("voice02.xmd", test::XmdStreamBytes(2, 44100, test::XmdFrames(40, 2)), 24)
             .Build()
             .bytes},
        {"long_names",
         MvxBuilder()
             .Add("sixteen_chars.xm", test::XmdStreamBytes(1, 8000, test::XmdFrames(8, 3)))
             .Add("b.xmd", {}, 8)
             .Add("c.XMD", test::XmdStreamBytes(2, 11025, test::XmdFrames(12, 4)))
             .Build()
             .bytes},
        {"odd_filler",
         [] {
             const auto built =
                 MvxBuilder()
                     .Add("a.xmd", test::XmdStreamBytes(1, 8000, test::XmdFrames(4, 5)), 12)
                     .Add("b.xmd", test::XmdStreamBytes(1, 8000, test::XmdFrames(3, 6)), 7)
                     .Build();
             const Bytes gap =
                 Scribbled(built.bytes, built.offsets[0] + built.sizes[0], test::Pattern(12, 7));
             return Scribbled(gap, built.nameBlock + 6, test::Pattern(10, 8));
         }()},
    };
}

std::vector<Seed> AfsSeeds() {
    const Bytes adx = Adx(1, 22050, 20, 1);
    const Bytes wave = Wave(RiffWaveBuilder::Layout::kFmt16, 2, 44100, 200, 2);
    const Bytes pac =
        PacBuilder().Add(Wave(RiffWaveBuilder::Layout::kFmt16, 1, 8000, 64, 3)).Build().bytes;
    return {
        {"names_before", AfsBuilder()
                             .Add("one.adx", adx)
                             .Add("two.wav", wave, 48)
                             .Add("empty.bin", {})
                             .Add("box.pac", pac, 16)
                             .Build()
                             .bytes},
        {"names_after", AfsBuilder()
                            .Place(AfsBuilder::NameTable::kAfterOffsetTable)
                            .Add("a.adx", adx, 32)
                            .Add("b.wav", wave)
                            .Build()
                            .bytes},
        {"no_names", AfsBuilder()
                         .Place(AfsBuilder::NameTable::kNone)
                         .Align(2048)
                         .Add("x", adx)
                         .Add("y", wave)
                         .Build()
                         .bytes},
        // Name entries ending in the members' lengths, a run of 0xFF and odd bytes in the gaps.
        {"lengths_and_filler",
         [&] {
             auto built = AfsBuilder().Align(64).Add("a.adx", adx).Add("b.wav", wave).Build();
             test::PutU32LE(built.bytes, AfsBuilder::NameEntryOffset(built, 0) + 44,
                            static_cast<std::uint32_t>(adx.size()));
             test::PutU32LE(built.bytes, AfsBuilder::NameEntryOffset(built, 1) + 44,
                            static_cast<std::uint32_t>(wave.size()));
             const std::size_t gap = built.offsets[1] - built.offsets[0] - adx.size();
             const Bytes run =
                 Scribbled(built.bytes, built.offsets[0] + adx.size(), Bytes(gap, 0xFF));
             return Scribbled(run, AfsBuilder::NameEntryOffset(built, 1) + 8, test::Pattern(6, 3));
         }()},
    };
}

std::vector<Seed> AdxSeeds() {
    return {
        {"mono", Adx(1, 22050, 60, 1)},
        {"stereo_footer", Adx(2, 44100, 40, 2, true)},
        {"far_header", Adx(1, 8000, 20, 3, false, 0x2C)},
    };
}

std::vector<Seed> WavSeeds() {
    return {
        {"fmt16_stereo", Wave(RiffWaveBuilder::Layout::kFmt16, 2, 44100, 1000, 1)},
        {"fmt18_mono", Wave(RiffWaveBuilder::Layout::kFmt18Data, 1, 22050, 600, 2)},
        {"fact", RiffWaveBuilder()
                     .Use(RiffWaveBuilder::Layout::kFmt18Fact)
                     .Format(2, 8000)
                     .FactSize(8)
                     .Build(test::Pattern(400, 3))},
        {"u8_mono", SampleWave(test::WaveLayout::kFmt16, 1, 8, 1, 300, 4)},
        {"s24_extensible", SampleWave(test::WaveLayout::kExtensible, 1, 24, 2, 600, 5)},
        {"s32_stereo", SampleWave(test::WaveLayout::kFmt18Data, 1, 32, 2, 800, 6)},
        {"f32_fact", SampleWave(test::WaveLayout::kFmt18Fact, 3, 32, 1, 400, 7)},
        {"f64_extensible", SampleWave(test::WaveLayout::kExtensible, 3, 64, 2, 800, 8)},
    };
}

std::vector<Seed> XmdSeeds() {
    return {
        {"mono", Xmd(1, 22050, 80, 1)},
        {"stereo", Xmd(2, 44100, 60, 2)},
        {"short", Xmd(2, 8000, 1, 3)},
    };
}

#if defined(FOGBELL_WITH_SNDVOICE)
// A file of every kind sndvoice reads, small (Vorbis's setup header alone takes 3 kB); the loop
// tags of the FLAC and Ogg files lead the fuzzer into the comment reader.
std::vector<Seed> SndSeeds() {
    using test::SoundKind;
    const auto file = [](SoundKind kind, std::uint32_t channels, std::uint32_t rate,
                         std::size_t frames, std::vector<std::string> comments = {}) {
        return test::BuildSoundFile({kind, channels, rate, std::move(comments)},
                                    test::GlideSignal(frames, channels, rate));
    };
    return {
        {"flac_mono", file(SoundKind::kFlac16, 1, 8000, 600)},
        {"flac_tags", file(SoundKind::kFlac16, 2, 11025, 300, {"LOOPSTART=10", "LOOPLENGTH=200"})},
        {"flac24_six", file(SoundKind::kFlac24, 6, 8000, 200)},
        {"vorbis_tags", file(SoundKind::kVorbis, 1, 8000, 2000, {"LOOP_START=5", "LOOP_END=1500"})},
        {"opus_tags", file(SoundKind::kOpus, 2, 48000, 2000, {"LOOPSTART=100"})},
        {"mp3", file(SoundKind::kMp3, 1, 22050, 2000)},
        {"aiff", file(SoundKind::kAiff16, 2, 8000, 300)},
        {"aifc_float", file(SoundKind::kAifcFloat, 1, 8000, 300)},
        {"wav_ima", file(SoundKind::kWavImaAdpcm, 2, 8000, 600)},
        {"wav_ulaw", file(SoundKind::kWavUlaw, 1, 8000, 600)},
        {"wav_gsm", file(SoundKind::kWavGsm, 1, 8000, 640)},
    };
}
#endif

std::uint64_t ParseNumber(const std::string& text) {
    std::size_t used = 0;
    const unsigned long long value = std::stoull(text, &used, 0);
    if (used != text.size()) {
        throw std::invalid_argument(text);
    }
    return value;
}

std::uint8_t ParseByte(const std::string& text) {
    const unsigned long value = std::stoul(text, nullptr, 16);
    if (value > 0xFF) {
        throw std::invalid_argument(text);
    }
    return static_cast<std::uint8_t>(value);
}

void Ensure(Bytes& bytes, std::uint64_t size) {
    if (size > (1u << 26)) {
        throw std::invalid_argument("recipe grows the input past 64 MiB");
    }
    if (bytes.size() < size) {
        bytes.resize(static_cast<std::size_t>(size), 0);
    }
}

void ApplyLine(Bytes& bytes, const std::string& line) {
    std::istringstream in(line);
    std::string command;
    if (!(in >> command) || command[0] == '#') {
        return;
    }
    std::vector<std::string> args;
    for (std::string arg; in >> arg;) {
        args.push_back(arg);
    }
    if (command == "seed" && args.size() == 2) {
        for (Seed& seed : SeedsFor(args[0])) {
            if (seed.name == args[1]) {
                bytes = std::move(seed.bytes);
                return;
            }
        }
        throw std::invalid_argument("no seed " + args[0] + " " + args[1]);
    }
    if ((command == "set" && args.size() >= 2) || (command == "append" && !args.empty())) {
        std::uint64_t at = command == "set" ? ParseNumber(args[0]) : bytes.size();
        const std::size_t first = command == "set" ? 1 : 0;
        Ensure(bytes, at + (args.size() - first));
        for (std::size_t i = first; i < args.size(); ++i) {
            bytes[static_cast<std::size_t>(at++)] = ParseByte(args[i]);
        }
        return;
    }
    if (command == "fill" && args.size() == 3) {
        const std::uint64_t at = ParseNumber(args[0]);
        const std::uint64_t count = ParseNumber(args[1]);
        Ensure(bytes, at + count);
        std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), count, ParseByte(args[2]));
        return;
    }
    if (command == "truncate" && args.size() == 1) {
        const std::uint64_t length = ParseNumber(args[0]);
        if (length < bytes.size()) {
            bytes.resize(static_cast<std::size_t>(length));
        }
        return;
    }
    throw std::invalid_argument("unknown command");
}

}  // namespace

const std::vector<std::string>& FuzzTargets() {
    static const std::vector<std::string> targets {
        "aixvault", "pacvault", "mvxvault", "afsvault", "adxvoice", "aixvoice", "wavvoice",
            "xmdvoice",
#if defined(FOGBELL_WITH_SNDVOICE)
            "sndvoice",
#endif
    };
    return targets;
}

std::vector<Seed> SeedsFor(const std::string& target) {
    if (target == "aixvault" || target == "aixvoice") {
        return AixSeeds();
    }
    if (target == "pacvault") {
        return PacSeeds();
    }
    if (target == "mvxvault") {
        return MvxSeeds();
    }
    if (target == "afsvault") {
        return AfsSeeds();
    }
    if (target == "adxvoice") {
        return AdxSeeds();
    }
    if (target == "wavvoice") {
        return WavSeeds();
    }
    if (target == "xmdvoice") {
        return XmdSeeds();
    }
#if defined(FOGBELL_WITH_SNDVOICE)
    if (target == "sndvoice") {
        return SndSeeds();
    }
#endif
    return {};
}

Bytes BuildRecipe(const std::string& recipe) {
    Bytes bytes;
    std::istringstream in(recipe);
    std::size_t number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        try {
            ApplyLine(bytes, line);
        } catch (const std::exception& e) {
            throw std::runtime_error("recipe line " + std::to_string(number) + " (" + line +
                                     "): " + e.what());
        }
    }
    return bytes;
}

}  // namespace fogbell::fuzz
