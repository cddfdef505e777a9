// fogbell-cli replace with a WAVE file: the track is rewritten in its own format (ADX at the
// track's rate, channels and cutoff; XMD; 16-bit PCM WAVE in the track's format), converted by the
// WAVE decoder's format converter, and plays back as the WAVE did. Checked by extracting the track
// and decoding it with the real decoder plug-ins.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "adx_builder.h"
#include "afs_builder.h"
#include "byte_writer.h"
#include "host/containers/track_conversion.h"
#include "host/encode/adx_encoder.h"
#include "host/encode/xmd_encoder.h"
#include "host/plugins/plugin_host.h"
#include "mvx_builder.h"
#include "pac_builder.h"
#include "plugin_api.h"
#include "run_program.h"
#include "sampler_chunk.h"
#include "test_files.h"
#include "test_signals.h"
#ifdef FOGBELL_WITH_SNDVOICE
#include "sound_file_builder.h"
#endif
#include "wave_builder.h"

namespace fogbell::test {
namespace {

constexpr std::size_t kSeconds = 1;

class ReplaceFromWave : public ::testing::Test {
  protected:
    ProgramResult Run(std::vector<std::string> arguments) {
        return RunProgram(CliPath(), arguments);
    }

    std::string Wave(const std::string& name, const std::vector<std::int16_t>& samples,
                     std::uint16_t channels, std::uint32_t rate) {
        WaveOptions options;
        options.channels = channels;
        options.rate = rate;
        const std::string path = dir.File(name);
        WriteFile(path, BuildWave(options, PcmBytes(samples)));
        return path;
    }

    // The track extracted from PATH (FILE::TRACK... allowed) into its own folder.
    Bytes Extract(const std::string& path, const std::string& track) {
        const std::string out = dir.File("out" + std::to_string(++extractions));
        std::filesystem::create_directory(out);
        const ProgramResult r = Run({"extract", path, track, "-o", out});
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        for (const auto& entry : std::filesystem::directory_iterator(out)) {
            return ReadFile(entry.path().string());
        }
        return {};
    }

    // The bytes decoded by a decoder plug-in, with their source format.
    static std::vector<std::int16_t> Play(const std::string& plugin, const Bytes& bytes,
                                          WAVEFORMATEX& format, int channels = -1, int rate = -1) {
        DecoderApi api(plugin);
        const int handle = api.LoadFileMemory(channels, rate, bytes.data(),
                                              static_cast<std::uint32_t>(bytes.size()));
        EXPECT_NE(handle, -1) << api.Error();
        if (handle == -1) {
            return {};
        }
        format = *api.GetFormatSource(handle);
        const std::vector<std::int16_t> pcm = Samples(api.DecodeAll(handle));
        api.CloseFile(handle);
        return pcm;
    }

    // What the WAVE decoder makes of the file in the given format: what must be in the track.
    std::vector<std::int16_t> Expected(const std::string& wave, int channels, int rate) {
        WAVEFORMATEX ignored{};
        return Play("wavvoice", ReadFile(wave), ignored, channels, rate);
    }

    TempDir dir;
    int extractions = 0;
};

// A PAC track rewritten by the explorer declares a data length 42 bytes shorter than what it
// holds (the value its containers have always carried), so the decoder stops that much early:
// what plays must be the expected PCM up to there.
void ExpectPacPcm(const std::vector<std::int16_t>& played,
                  const std::vector<std::int16_t>& expected) {
    constexpr std::size_t kShortSamples = 42 / 2;
    ASSERT_LE(played.size(), expected.size());
    EXPECT_GE(played.size() + kShortSamples, expected.size());
    EXPECT_TRUE(std::equal(played.begin(), played.end(), expected.begin()));
}

// A track of the given kind and format, and a room big enough for a replacement of its length.
Bytes AdxTrack(std::uint32_t channels, std::uint32_t rate, std::uint16_t cutoff) {
    const std::vector<std::int16_t> pcm =
        MakeSignal(Signal::kSweep, rate, channels, rate * kSeconds);
    return encode::EncodeAdx({channels, rate, cutoff}, pcm.data(), rate * kSeconds);
}

Bytes XmdTrack(std::uint32_t channels, std::uint32_t rate) {
    const std::vector<std::int16_t> pcm =
        MakeSignal(Signal::kSweep, rate, channels, rate * kSeconds);
    return encode::EncodeXmd({channels, rate}, pcm.data(), rate * kSeconds);
}

TEST_F(ReplaceFromWave, AdxTrackOfAnArchiveKeepsRateChannelsAndCutoff) {
    const Bytes track = AdxTrack(1, 22050, 700);
    const std::string archive = dir.File("voice.afs");
    WriteFile(archive,
              AfsBuilder().Add("line01.adx", track).Add("other.bin", Pattern(64, 3)).Build().bytes);
    const std::string wave =
        Wave("edit.wav", MakeSignal(Signal::kVoice, 44100, 2, 44100 * kSeconds), 2, 44100);
    const ProgramResult r = Run({"replace", archive, "line01.adx", wave});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out, "Replace OK\n");

    const Bytes replaced = Extract(archive, "line01.adx");
    ASSERT_GE(replaced.size(), 18u);
    EXPECT_EQ((replaced[16] << 8) | replaced[17], 700);  // the track's cutoff
    WAVEFORMATEX format{};
    const std::vector<std::int16_t> played = Play("adxvoice", replaced, format);
    EXPECT_EQ(format.nChannels, 1);
    EXPECT_EQ(format.nSamplesPerSec, 22050u);
    EXPECT_GT(SnrDb(Expected(wave, 1, 22050), played), 35.0);
    EXPECT_EQ(Extract(archive, "other.bin"), Pattern(64, 3));  // the neighbour is untouched
}

TEST_F(ReplaceFromWave, XmdTrackOfAnMvxArchive) {
    const std::string archive = dir.File("music.mvx");
    WriteFile(archive, MvxBuilder().Add("bgm.xmd", XmdTrack(2, 32000)).Build().bytes);
    const std::string wave =
        Wave("edit.wav", MakeSignal(Signal::kChord, 22050, 1, 22050 * kSeconds), 1, 22050);
    const ProgramResult r = Run({"replace", archive, "bgm.xmd", wave});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    WAVEFORMATEX format{};
    const std::vector<std::int16_t> played = Play("xmdvoice", Extract(archive, "bgm.xmd"), format);
    EXPECT_EQ(format.nChannels, 2);
    EXPECT_EQ(format.nSamplesPerSec, 32000u);
    EXPECT_GT(SnrDb(Expected(wave, 2, 32000), played), 35.0);
}

TEST_F(ReplaceFromWave, WaveTrackOfAPacBecomesPcmInItsFormat) {
    WaveOptions trackOptions;
    trackOptions.channels = 1;
    trackOptions.rate = 22050;
    const Bytes track =
        BuildWave(trackOptions, PcmBytes(MakeSignal(Signal::kSweep, 22050, 1, 22050 * kSeconds)));
    const std::string pac = dir.File("se.pac");
    WriteFile(pac, PacBuilder().Add(track).Add(track).Build().bytes);
    const std::string wave =
        Wave("edit.wav", MakeSignal(Signal::kChord, 44100, 2, 44100 * kSeconds), 2, 44100);
    // As long as the track, but written with a 46-byte header in front of its samples: two
    // bytes more than the track's room, so it asks for a rebuild rather than losing a sample.
    const Bytes before = ReadFile(pac);
    const ProgramResult refused = Run({"replace", pac, "Track 0.wav", wave});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_NE(refused.err.find("the replacement takes " + std::to_string(track.size() + 2) +
                               " bytes, the track has room for " + std::to_string(track.size())),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(ReadFile(pac), before);
    const ProgramResult r = Run({"replace", pac, "Track 0.wav", wave, "--rebuild"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    WAVEFORMATEX format{};
    const std::vector<std::int16_t> played = Play("wavvoice", Extract(pac, "Track 0.wav"), format);
    EXPECT_EQ(format.nChannels, 1);
    EXPECT_EQ(format.nSamplesPerSec, 22050u);
    ExpectPacPcm(played, Expected(wave, 1, 22050));  // exactly what the converter gives
    EXPECT_EQ(Extract(pac, "Track 1.wav"), track);
}

TEST_F(ReplaceFromWave, AWaveAlreadyInTheTracksFormatGoesInAsItIs) {
    WaveOptions trackOptions;
    trackOptions.channels = 2;
    trackOptions.rate = 44100;
    const Bytes track = BuildWave(trackOptions, Pattern(4000, 1));
    const std::string pac = dir.File("se.pac");
    WriteFile(pac, PacBuilder().Add(track).Build().bytes);
    const std::vector<std::int16_t> pcm = MakeSignal(Signal::kVoice, 44100, 2, 900);
    const std::string wave = Wave("same.wav", pcm, 2, 44100);
    const ProgramResult r = Run({"replace", pac, "Track 0.wav", wave});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out, "Replace OK\n");
    WAVEFORMATEX format{};
    const std::vector<std::int16_t> played = Play("wavvoice", Extract(pac, "Track 0.wav"), format);
    ExpectPacPcm(played, pcm);
}

// An 8-bit WAVE in the track's rate and channels still needs converting to 16-bit PCM.
TEST_F(ReplaceFromWave, AnEightBitWaveInTheTracksFormatBecomes16BitPcm) {
    WaveOptions options;
    const std::string pac = dir.File("se.pac");
    WriteFile(pac, PacBuilder().Add(BuildWave(options, Pattern(4000, 1))).Build().bytes);
    options.bits = 8;
    const Bytes bytes = Pattern(1800, 5);
    const std::string wave = dir.File("eight.wav");
    WriteFile(wave, BuildWave(options, bytes));
    const ProgramResult r = Run({"replace", pac, "Track 0.wav", wave});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    std::vector<std::int16_t> expected;
    for (const std::uint8_t b : bytes) {
        expected.push_back(static_cast<std::int16_t>((b - 128) * 256));
    }
    WAVEFORMATEX format{};
    ExpectPacPcm(Play("wavvoice", Extract(pac, "Track 0.wav"), format), expected);
    EXPECT_EQ(format.wBitsPerSample, 16);
}

TEST_F(ReplaceFromWave, ReachesIntoNestedArchives) {
    const Bytes inner = AfsBuilder()
                            .Add("a.adx", AdxTrack(2, 44100, 500))
                            .Add("b.bin", Pattern(40, 2))
                            .Build()
                            .bytes;
    const std::string archive = dir.File("disk.afs");
    WriteFile(archive,
              AfsBuilder().Add("inner.afs", inner).Add("c.bin", Pattern(50, 4)).Build().bytes);
    const std::string wave =
        Wave("edit.wav", MakeSignal(Signal::kChord, 48000, 1, 48000 * kSeconds), 1, 48000);
    const ProgramResult r = Run({"replace", archive + "::inner.afs", "a.adx", wave});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    WAVEFORMATEX format{};
    const std::vector<std::int16_t> played =
        Play("adxvoice", Extract(archive + "::inner.afs", "a.adx"), format);
    EXPECT_EQ(format.nChannels, 2);
    EXPECT_EQ(format.nSamplesPerSec, 44100u);
    EXPECT_GT(SnrDb(Expected(wave, 2, 44100), played), 35.0);
    EXPECT_EQ(Extract(archive + "::inner.afs", "b.bin"), Pattern(40, 2));
    EXPECT_EQ(Extract(archive, "c.bin"), Pattern(50, 4));
}

TEST_F(ReplaceFromWave, ALongerSoundThanTheRoomIsRefusedAndTheTrackKept) {
    const Bytes track = AdxTrack(1, 22050, 500);
    const std::string archive = dir.File("voice.afs");
    WriteFile(archive,
              AfsBuilder().Add("line01.adx", track).Add("x.bin", Pattern(16, 1)).Build().bytes);
    const std::string wave =
        Wave("long.wav", MakeSignal(Signal::kVoice, 22050, 1, 22050 * 3), 1, 22050);
    const ProgramResult r = Run({"replace", archive, "line01.adx", wave});
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("run again with --rebuild"), std::string::npos) << r.err;
    EXPECT_EQ(Extract(archive, "line01.adx"), track);
}

// The decision itself, through the core as the window would use it.
struct LoopReplaceCase {
    const char* name;
    std::uint32_t frames;  // of the WAVE, at the track's rate
    bool sampler;          // the WAVE marks frames 50 to 9999 as its loop
    std::vector<std::string> options;
    int exitStatus;
    const char* said;  // in the output (standard error when refused)
    const char* loop;  // of the track afterwards
};

TEST_F(ReplaceFromWave, ALoopedTrackNeverLosesItsLoopUnseen) {
    const LoopReplaceCase cases[] = {
        {"the WAVE's loop", 22050, true, {}, 0, "Replace OK", "50:10000"},
        {"the track's loop fits",
         22050,
         false,
         {},
         0,
         "The track's loop 100:20000 is kept.",
         "100:20000"},
        {"the track's loop is too long", 11025, false, {}, 1, "--loop START:END", "100:20000"},
        {"--no-loop", 11025, false, {"--no-loop"}, 0, "Replace OK", "none"},
        {"--loop", 11025, true, {"--loop", "10:100"}, 0, "Replace OK", "10:100"},
    };
    const std::vector<std::int16_t> sweep = MakeSignal(Signal::kSweep, 22050, 1, 22050);
    encode::AdxEncoder looped({1, 22050, 500}, encode::AdxLoop{100, 20000});
    looped.Append(sweep.data(), sweep.size());
    const Bytes track = looped.Finish();
    for (const LoopReplaceCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string archive = dir.File("music.afs");
        WriteFile(archive, AfsBuilder().Add("theme.adx", track).Build().bytes);
        WaveOptions options;
        options.channels = 1;
        options.rate = 22050;
        if (c.sampler) {
            options.chunksBeforeData.push_back(SamplerChunk({{50, 9999}}));
        }
        const std::string wave = dir.File("edit.wav");
        WriteFile(wave,
                  BuildWave(options, PcmBytes(MakeSignal(Signal::kVoice, 22050, 1, c.frames))));
        std::vector<std::string> arguments = {"replace", archive, "theme.adx", wave};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const ProgramResult r = Run(arguments);
        EXPECT_EQ(r.exitStatus, c.exitStatus) << r.err;
        EXPECT_NE((r.exitStatus == 0 ? r.out : r.err).find(c.said), std::string::npos)
            << r.out << r.err;
        EXPECT_EQ(DecoderApi("adxvoice").LoopOf(Extract(archive, "theme.adx")), c.loop);
    }
}

TEST_F(ReplaceFromWave, ConvertsOnlyWhatNeedsConverting) {
    PluginHost host;
    host.LoadDecoderPlugins(std::string(FOGBELL_STAGE_DIR) + "/decode_plugins");
    host.LoadExplorerPlugins(std::string(FOGBELL_STAGE_DIR) + "/explore_plugins");
    WaveOptions stereo;
    stereo.channels = 2;
    stereo.rate = 44100;
    const std::string pac = dir.File("se.pac");
    WriteFile(pac, PacBuilder().Add(BuildWave(stereo, Pattern(4000, 1))).Build().bytes);
    const std::string archive = dir.File("voice.afs");
    WriteFile(archive, AfsBuilder().Add("a.adx", AdxTrack(1, 22050, 500)).Build().bytes);
    std::string error;
    ExplorerSessionPtr pacFile = host.OpenContainer(pac, nullptr, 0, error);
    ExplorerSessionPtr afsFile = host.OpenContainer(archive, nullptr, 0, error);
    ASSERT_TRUE(pacFile && afsFile) << error;

    const std::string same = Wave("same.wav", MakeSignal(Signal::kChord, 44100, 2, 500), 2, 44100);
    const std::string other = Wave("mono.wav", MakeSignal(Signal::kChord, 44100, 1, 500), 1, 44100);
    const std::string raw = dir.File("raw.adx");
    WriteFile(raw, AdxTrack(1, 22050, 500));
    const std::string out = dir.File("converted");
    EXPECT_EQ(ConvertForTrack(host, *pacFile, "Track 0.wav", same, out, error),
              ConversionOutcome::kAsItIs);
    EXPECT_FALSE(FileExists(out));
    EXPECT_EQ(ConvertForTrack(host, *afsFile, "a.adx", raw, out, error),
              ConversionOutcome::kAsItIs);
    EXPECT_FALSE(FileExists(out));
    EXPECT_EQ(ConvertForTrack(host, *pacFile, "Track 0.wav", other, out, error),
              ConversionOutcome::kConverted)
        << error;
    EXPECT_TRUE(FileExists(out));
    EXPECT_EQ(ConvertForTrack(host, *afsFile, "a.adx", same, out, error),
              ConversionOutcome::kConverted)
        << error;
    EXPECT_EQ(ReadFile(out)[0], 0x80);
    EXPECT_EQ(ConvertForTrack(host, *afsFile, "none.adx", same, out, error),
              ConversionOutcome::kFailed);
    EXPECT_FALSE(error.empty());
    CloseOpenedFile(pacFile);
    CloseOpenedFile(afsFile);
}

#ifdef FOGBELL_WITH_SNDVOICE
// A FLAC or MP3 file of the samples: encoded by FFmpeg where it is installed (Linux); under Wine,
// where it is not, written by libsndfile.
std::string AudioFile(const TempDir& dir, const std::string& name, SoundKind kind,
                      const std::vector<std::int16_t>& samples, std::uint32_t channels,
                      std::uint32_t rate) {
    const std::string path = dir.File(name);
#ifdef _WIN32
    SoundLayout layout;
    layout.kind = kind;
    layout.channels = channels;
    layout.rate = rate;
    WriteFile(path, BuildSoundFile(layout, samples));
#else
    WaveOptions options;
    options.channels = static_cast<std::uint16_t>(channels);
    options.rate = rate;
    const std::string wave = dir.File(name + ".source.wav");
    WriteFile(wave, BuildWave(options, PcmBytes(samples)));
    const ProgramResult r =
        RunProgram("/usr/bin/env", {"ffmpeg", "-nostdin", "-v", "error", "-y", "-i", wave, "-c:a",
                                    kind == SoundKind::kMp3 ? "libmp3lame" : "flac", path});
    EXPECT_EQ(r.exitStatus, 0) << "ffmpeg (tools/ensure-deps.sh installs it): " << r.err;
#endif
    return path;
}

// FLAC and MP3 go into ADX and WAVE tracks, one at a time and from a folder, as what sndvoice
// decodes of them converted to the track's format.
TEST_F(ReplaceFromWave, FlacAndMp3GoInConvertedToTheTracksFormat) {
    struct Case {
        SoundKind kind;
        const char* file;
        bool fromFolder;
    };
    const Case cases[] = {{SoundKind::kFlac16, "edit.flac", false},
                          {SoundKind::kMp3, "edit.mp3", false},
                          {SoundKind::kFlac16, "line01.flac", true},
                          {SoundKind::kMp3, "line01.mp3", true}};
    const std::vector<std::int16_t> source = MakeSignal(Signal::kChord, 44100, 2, 44100);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string audio = AudioFile(dir, c.file, c.kind, source, 2, 44100);
        const std::string archive = dir.File("voice.afs");
        WriteFile(archive, AfsBuilder().Add("line01.adx", AdxTrack(1, 22050, 700)).Build().bytes);
        const ProgramResult r = c.fromFolder
                                    ? Run({"replace", archive, "--from",
                                           std::filesystem::path(audio).parent_path().string()})
                                    : Run({"replace", archive, "line01.adx", audio});
        ASSERT_EQ(r.exitStatus, 0) << r.err;
        WAVEFORMATEX format{};
        const std::vector<std::int16_t> played =
            Play("adxvoice", Extract(archive, "line01.adx"), format);
        EXPECT_EQ(format.nChannels, 1);
        EXPECT_EQ(format.nSamplesPerSec, 22050u);
        WAVEFORMATEX ignored{};
        EXPECT_GT(SnrDb(Play("sndvoice", ReadFile(audio), ignored, 1, 22050), played), 35.0);
        std::filesystem::remove(audio);
    }
    // A WAVE track gets exactly what the decoder gives in its format.
    WaveOptions trackOptions;
    trackOptions.channels = 1;
    trackOptions.rate = 22050;
    const std::string pac = dir.File("se.pac");
    WriteFile(pac, PacBuilder().Add(BuildWave(trackOptions, Pattern(44100 * 2, 1))).Build().bytes);
    const std::string flac = AudioFile(dir, "take.flac", SoundKind::kFlac16, source, 2, 44100);
    const ProgramResult r = Run({"replace", pac, "Track 0.wav", flac});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    WAVEFORMATEX format{};
    WAVEFORMATEX ignored{};
    ExpectPacPcm(Play("wavvoice", Extract(pac, "Track 0.wav"), format),
                 Play("sndvoice", ReadFile(flac), ignored, 1, 22050));
}
#endif

}  // namespace
}  // namespace fogbell::test
