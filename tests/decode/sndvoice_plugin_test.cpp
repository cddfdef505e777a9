// sndvoice loaded by name from the staging folder and driven through its entry points, on files
// that libsndfile writes at test time (so these run on every system; FFmpeg's files and decodes
// are in sndvoice_ffmpeg_test.cpp).
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "adx_builder.h"
#include "format_fields.h"
#include "plugin_api.h"
#include "sampler_chunk.h"
#include "sound_file_builder.h"
#include "test_files.h"
#include "wave_builder.h"

namespace fogbell::test {
namespace {

using Pcm = std::vector<std::int16_t>;

// 10 log10 of the reference's energy over the difference's, over the reference's length.
double SnrDb(const Pcm& reference, const Pcm& decoded) {
    double signal = 0, noise = 0;
    for (std::size_t i = 0; i < reference.size(); ++i) {
        const double d = reference[i] - (i < decoded.size() ? decoded[i] : 0);
        signal += static_cast<double>(reference[i]) * reference[i];
        noise += d * d;
    }
    return noise == 0 ? INFINITY : 10 * std::log10(signal / noise);
}

class SndVoice : public ::testing::Test {
  protected:
    DecoderApi api{"sndvoice"};

    int Load(const Bytes& bytes) {
        return api.LoadFileMemory(-1, -1, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    }
    // Everything the file decodes to; with seek, from that sample on, moved to after a block.
    Pcm Decode(const Bytes& bytes, std::optional<std::uint32_t> seek = std::nullopt) {
        const int h = Load(bytes);
        EXPECT_NE(h, -1) << api.Error();
        if (seek) {
            api.DecodeNext(h);
            EXPECT_EQ(api.SeekSample(h, *seek), 1);
        }
        Pcm pcm = Samples(api.DecodeAll(h));
        api.CloseFile(h);
        return pcm;
    }
};

TEST_F(SndVoice, ListsItsExtensionsAndWaveOnlyAsAFallback) {
    std::vector<std::string> listed;
    for (const char* const* e = api.GetSupportExt(); *e != nullptr; ++e) {
        listed.emplace_back(*e);
    }
    EXPECT_EQ(listed, (std::vector<std::string>{"FLAC", "OGG", "OGA", "OPUS", "MP3", "AIFF", "AIF",
                                                "AIFC"}));
    ASSERT_NE(api.GetFallbackExt, nullptr);
    EXPECT_STREQ(api.GetFallbackExt()[0], "WAV");
    EXPECT_EQ(api.GetFallbackExt()[1], nullptr);
}

// Every format: the source's channels and rate; lossless ones sample for sample, lossy ones
// within a bound and without delay (what libsndfile writes records its delay and padding, and
// the stream is as long as the input); seeks anywhere give what decoding from the start does;
// a path gives what memory does.
TEST_F(SndVoice, EachFormatDecodesSeeksAndLoadsFromAPathAlike) {
    struct Case {
        SoundKind kind;
        std::uint32_t channels, rate;
        double minSnrDb;  // INFINITY: sample for sample
    };
    // The bounds lie a few dB under what libsndfile's own encoders gave on this sound (Vorbis
    // 14.7 dB, Opus 16.8, MP3 31.2, IMA ADPCM 32.7, MS ADPCM 29.3, mu-law and A-law 38.2,
    // GSM 16.6); a delay of even a few samples would take them far below.
    const Case cases[] = {
        {SoundKind::kFlac16, 2, 44100, INFINITY}, {SoundKind::kFlac24, 1, 48000, INFINITY},
        {SoundKind::kAiff16, 2, 22050, INFINITY}, {SoundKind::kAifcFloat, 1, 32000, INFINITY},
        {SoundKind::kVorbis, 2, 44100, 10},       {SoundKind::kOpus, 2, 48000, 12},
        {SoundKind::kMp3, 2, 44100, 25},          {SoundKind::kWavImaAdpcm, 2, 22050, 28},
        {SoundKind::kWavMsAdpcm, 1, 22050, 25},   {SoundKind::kWavUlaw, 1, 8000, 35},
        {SoundKind::kWavAlaw, 2, 8000, 35},       {SoundKind::kWavGsm, 1, 8000, 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ExtensionOf(c.kind) + " " + std::to_string(int(c.kind)));
        const std::size_t frames = 3 * c.rate / 2 + 77;
        const Pcm source = GlideSignal(frames, c.channels, c.rate);
        const Bytes file = BuildSoundFile({c.kind, c.channels, c.rate, {}}, source);
        const int h = Load(file);
        ASSERT_NE(h, -1) << api.Error();
        EXPECT_EQ(FieldsOf(*api.GetFormatSource(h)), Pcm16(c.channels, c.rate));
        const Pcm all = Samples(api.DecodeAll(h));
        EXPECT_EQ(api.GetCurrPos(h), all.size() / c.channels);
        api.CloseFile(h);
        if (c.minSnrDb == INFINITY) {
            EXPECT_EQ(all, source);
        } else {
            EXPECT_GE(all.size(), source.size());  // ADPCM and GSM pad their last block
            EXPECT_GT(SnrDb(source, all), c.minSnrDb) << SnrDb(source, all);
        }
        const auto total = static_cast<std::uint32_t>(all.size() / c.channels);
        for (const std::uint32_t at :
             {1u, 4097u, total / 3 + 17, total - 1000, total - 1, total + 5}) {
            const std::size_t from = std::min(at, total) * std::size_t{c.channels};
            EXPECT_EQ(Decode(file, at), Pcm(all.begin() + static_cast<long>(from), all.end()))
                << "seek to " << at;
        }
        TempDir dir;
        const std::string path = dir.File("sound." + ExtensionOf(c.kind));
        WriteFile(path, file);
        const int fromPath = api.LoadFile(-1, -1, path.c_str());
        ASSERT_NE(fromPath, -1) << api.Error();
        EXPECT_EQ(Samples(api.DecodeAll(fromPath)), all);
        api.CloseFile(fromPath);
    }
}

// 24-bit samples keep their top 16 bits rounded half away from zero; full scale clips.
TEST_F(SndVoice, WiderSamplesAreRoundedAndClipped) {
    const std::vector<std::int32_t> in24 = {0x7FFFFF, -0x800000, 128, 127, -128, -129, 384, -384};
    const Pcm expected = {32767, -32768, 1, 0, -1, -1, 2, -2};
    std::vector<std::int32_t> wide;
    for (const std::int32_t v : in24) {
        wide.push_back(static_cast<std::int32_t>(static_cast<std::uint32_t>(v) << 8));
    }
    EXPECT_EQ(Decode(BuildSoundFile({SoundKind::kFlac24, 1, 8000, {}}, wide)), expected);
}

// A channel alone, at half scale, in a 5.1 file comes out at its gains: front sides full,
// centre and surrounds -3 dB, the low-frequency channel not at all, scaled so that nothing clips.
TEST_F(SndVoice, FiveOneFilesAreMixedDownToStereoByPosition) {
    const double half = std::sqrt(0.5), scale = 1 + 2 * half;
    struct Case {
        SoundKind kind;
        std::size_t channel;
        double left, right;
    };
    // FLAC's order is L R C LFE Ls Rs, Vorbis order L C R Ls Rs LFE.
    const Case cases[] = {{SoundKind::kFlac16, 0, 1, 0},       {SoundKind::kFlac16, 1, 0, 1},
                          {SoundKind::kFlac16, 2, half, half}, {SoundKind::kFlac16, 3, 0, 0},
                          {SoundKind::kFlac16, 4, half, 0},    {SoundKind::kFlac16, 5, 0, half},
                          {SoundKind::kVorbis, 1, half, half}, {SoundKind::kVorbis, 2, 0, 1},
                          {SoundKind::kVorbis, 5, 0, 0}};
    for (const Case& c : cases) {
        Pcm six(6 * 8000, 0);
        for (std::size_t f = 0; f < 8000; ++f) {
            six[f * 6 + c.channel] = 16384;
        }
        const Bytes file = BuildSoundFile({c.kind, 6, 8000, {}}, six);
        const int h = Load(file);
        ASSERT_NE(h, -1) << api.Error();
        EXPECT_EQ(FieldsOf(*api.GetFormatSource(h)), Pcm16(2, 8000));
        api.CloseFile(h);
        const Pcm stereo = Decode(file);
        ASSERT_EQ(stereo.size(), 2u * 8000);
        const double tolerance = c.kind == SoundKind::kFlac16 ? 0.5 : 400;  // Vorbis is lossy
        EXPECT_NEAR(stereo[2 * 4000], 16384 * c.left / scale, tolerance) << c.channel;
        EXPECT_NEAR(stereo[2 * 4000 + 1], 16384 * c.right / scale, tolerance) << c.channel;
    }
}

// Loop tags of the comment header, and the sampler loop of a WAVE file.
TEST_F(SndVoice, LoopsComeFromTagsOrTheSamplerChunk) {
    struct Case {
        const char* what;
        SoundKind kind;
        std::vector<std::string> comments;
        const char* loop;
    };
    const std::string longComment = "DESCRIPTION=" + std::string(9000, 'x');  // over three pages
    const Case cases[] = {
        {"FLAC start and length",
         SoundKind::kFlac16,
         {"LOOPSTART=1000", "LOOPLENGTH=5000"},
         "1000:6000"},
        {"Vorbis start and end in lower case",
         SoundKind::kVorbis,
         {"loop_start=2000", "Loop_End=19000"},
         "2000:19000"},
        {"Opus start alone: to the end", SoundKind::kOpus, {"LOOPSTART=300"}, "300:20000"},
        {"Vorbis comment header over pages",
         SoundKind::kVorbis,
         {longComment, "LOOPSTART=9"},
         "9:20000"},
        {"LOOPSTART before LOOP_START",
         SoundKind::kFlac16,
         {"LOOP_START=5", "LOOPSTART=7", "LOOP_END=100"},
         "7:100"},
        {"length past the end", SoundKind::kVorbis, {"LOOPSTART=10", "LOOPLENGTH=19991"}, "none"},
        {"not a number", SoundKind::kFlac16, {"LOOPSTART=12a"}, "none"},
        {"start at the end", SoundKind::kOpus, {"LOOP_START=20000"}, "none"},
        {"no tags", SoundKind::kFlac16, {}, "none"},
    };
    for (const Case& c : cases) {
        const std::uint32_t rate = c.kind == SoundKind::kOpus ? 48000 : 44100;
        const Bytes file = BuildSoundFile({c.kind, 1, rate, c.comments}, GlideSignal(20000, 1, 1));
        EXPECT_EQ(api.LoopOf(file), c.loop) << c.what;
    }
    // An ID3v2 tag of 20 bytes before a FLAC file.
    Bytes tagged = BytesOf("ID3\x03");
    tagged.insert(tagged.end(), {0, 0, 0, 0, 0, 20});
    tagged.resize(30, 0);
    const Bytes flac =
        BuildSoundFile({SoundKind::kFlac16, 1, 44100, {"LOOPSTART=5"}}, GlideSignal(20000, 1, 1));
    tagged.insert(tagged.end(), flac.begin(), flac.end());
    EXPECT_EQ(api.LoopOf(tagged), "5:20000");
    WaveOptions ulaw;  // mu-law: a WAVE file only this decoder plays
    ulaw.formatTag = 7;
    ulaw.bits = 8;
    ulaw.chunksBeforeData = {SamplerChunk({{100, 199}})};
    EXPECT_EQ(api.LoopOf(BuildWave(ulaw, Bytes(4000, 0x55))), "100:200");
}

// Damaged files are refused with a text or play what they hold and end; a decoding error ends the
// stream with a text, and a rewind plays it again.
TEST_F(SndVoice, DamagedFilesAreRefusedOrEndWithAText) {
    EXPECT_EQ(Load(BytesOf("plain text, not a sound file at all")), -1);
    EXPECT_EQ(api.Error(), "Is not an audio file libsndfile reads: Format not recognised.");
    for (const SoundKind kind : {SoundKind::kFlac16, SoundKind::kVorbis, SoundKind::kOpus,
                                 SoundKind::kMp3, SoundKind::kAiff16, SoundKind::kWavImaAdpcm}) {
        SCOPED_TRACE(ExtensionOf(kind));
        const std::uint32_t rate = kind == SoundKind::kOpus ? 48000 : 44100;
        const Bytes file = BuildSoundFile({kind, 2, rate, {}}, GlideSignal(3 * rate, 2, 5));
        EXPECT_EQ(Load(Bytes(file.begin(), file.begin() + 20)), -1);
        EXPECT_EQ(api.Error().rfind("Is not an audio file libsndfile reads: ", 0), 0u);
        Bytes noisy = file;
        const Bytes noise = Pattern(600, 9);
        std::copy(noise.begin(), noise.end(), noisy.begin() + static_cast<long>(file.size() / 3));
        for (const Bytes& bytes : {Bytes(file.begin(), file.begin() + file.size() / 2), noisy}) {
            const int h = Load(bytes);
            if (h != -1) {
                EXPECT_NO_THROW(api.DecodeAll(h, 10));  // ends
                api.CloseFile(h);
            }
        }
    }
    const Bytes flac = BuildSoundFile({SoundKind::kFlac16, 1, 8000, {}}, GlideSignal(40000, 1, 2));
    const Bytes cut(flac.begin(), flac.begin() + flac.size() / 2);
    const int h = Load(cut);
    ASSERT_NE(h, -1);
    const Bytes played = api.DecodeAll(h);
    EXPECT_LT(played.size(), 40000u);
    EXPECT_EQ(api.Error().rfind("The stream is damaged: decoding stopped at sample " +
                                    std::to_string(played.size() / 2) + " (",
                                0),
              0u)
        << api.Error();
    EXPECT_EQ(api.DecodeNext(h), nullptr);
    EXPECT_EQ(api.ResetFile(h), 1);
    EXPECT_EQ(api.DecodeAll(h), played);
    api.CloseFile(h);
}

}  // namespace
}  // namespace fogbell::test
