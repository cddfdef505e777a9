// fogbell-cli encode run as a program on WAVE files built at test time; its output played by the
// real decoder plug-ins and, where it is installed, by FFmpeg.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "adx_builder.h"
#include "plugin_api.h"
#include "run_program.h"
#include "sampler_chunk.h"
#include "test_files.h"
#include "test_signals.h"
#include "wave_builder.h"

namespace fogbell::test {
namespace {

// The full path of a program found on PATH, or "" when there is none. A Windows build looks
// for no Linux program: FFmpeg's reading of our files is checked by the Linux build.
std::string FindOnPath(const std::string& name) {
#if defined(_WIN32)
    (void)name;
    return "";
#else
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::filesystem::path candidate = std::filesystem::path(folder) / name;
        std::error_code error;
        if (!folder.empty() && std::filesystem::is_regular_file(candidate, error) &&
            access(candidate.c_str(), X_OK) == 0) {
            return candidate.string();
        }
    }
    return "";
#endif
}

class EncodeCli : public ::testing::Test {
  protected:
    // A canonical 16-bit WAVE file of the samples.
    std::string Wave(const std::string& name, const std::vector<std::int16_t>& samples,
                     std::uint16_t channels, std::uint32_t rate) {
        WaveOptions options;
        options.channels = channels;
        options.rate = rate;
        const std::string path = dir.File(name);
        WriteFile(path, BuildWave(options, PcmBytes(samples)));
        return path;
    }

    ProgramResult Encode(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "encode");
        return RunProgram(CliPath(), arguments);
    }

    // The file played by a decoder plug-in, in the format it asks for (-1: the file's own).
    std::vector<std::int16_t> Play(const std::string& plugin, const std::string& path,
                                   WAVEFORMATEX* format = nullptr, int channels = -1,
                                   int rate = -1) {
        DecoderApi api(plugin);
        const int handle = api.LoadFile(channels, rate, path.c_str());
        EXPECT_NE(handle, -1) << api.Error();
        if (handle == -1) {
            return {};
        }
        if (format != nullptr) {
            *format = *api.GetFormatSource(handle);
        }
        const std::vector<std::int16_t> pcm = Samples(api.DecodeAll(handle));
        api.CloseFile(handle);
        return pcm;
    }

    static std::string LoopOf(const std::string& path) {
        return DecoderApi("adxvoice").LoopOf(ReadFile(path));
    }

    TempDir dir;
};

TEST_F(EncodeCli, WritesAdxThatAdxvoicePlays) {
    const std::vector<std::int16_t> pcm = MakeSignal(Signal::kChord, 44100, 2, 30000);
    const std::string out = dir.File("chord.adx");
    const ProgramResult r = Encode({Wave("chord.wav", pcm, 2, 44100), out});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out, out + "\n");
    WAVEFORMATEX format{};
    EXPECT_GT(SnrDb(pcm, Play("adxvoice", out, &format)), 40.0);
    EXPECT_EQ(format.nChannels, 2);
    EXPECT_EQ(format.nSamplesPerSec, 44100u);
}

// 8-bit, 24-bit and float WAVE made from a 16-bit signal, each with the 16-bit PCM it stands
// for: the ADX of each plays back as that PCM within ADX's precision.
TEST_F(EncodeCli, EncodesEverySampleFormatAsItsSixteenBitPcm) {
    const std::vector<std::int16_t> pcm = MakeSignal(Signal::kVoice, 22050, 2, 11025);
    struct Case {
        const char* name;
        WaveLayout layout;
        std::uint16_t tag, bits;
    };
    const Case cases[] = {{"u8", WaveLayout::kFmt16, 1, 8},
                          {"s24", WaveLayout::kExtensible, 1, 24},
                          {"f32", WaveLayout::kFmt18Fact, 3, 32}};
    for (const Case& c : cases) {
        Bytes data;
        std::vector<std::int16_t> expected;
        for (const std::int16_t s : pcm) {
            if (c.bits == 8) {  // the high byte, offset to unsigned: its low byte is lost
                data.push_back(static_cast<std::uint8_t>((s >> 8) + 128));
                expected.push_back(static_cast<std::int16_t>((s >> 8) * 256));
            } else if (c.bits == 24) {  // s and a low byte below one half: rounds back to s
                const std::uint32_t v = static_cast<std::uint32_t>(s * 256 + 0x7F);
                data.insert(data.end(),
                            {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                             static_cast<std::uint8_t>(v >> 16)});
                expected.push_back(s);
            } else {  // s / 32768 is exact in a float and scales back to s
                const float f = static_cast<float>(s) / 32768.0f;
                const auto* p = reinterpret_cast<const std::uint8_t*>(&f);
                data.insert(data.end(), p, p + sizeof f);
                expected.push_back(s);
            }
        }
        WaveOptions options;
        options.layout = c.layout;
        options.formatTag = c.tag;
        options.bits = c.bits;
        options.rate = 22050;
        const std::string wave = dir.File(std::string(c.name) + ".wav");
        WriteFile(wave, BuildWave(options, data));
        const std::string out = dir.File(std::string(c.name) + ".adx");
        const ProgramResult r = Encode({wave, out});
        ASSERT_EQ(r.exitStatus, 0) << c.name << ": " << r.err;
        WAVEFORMATEX format{};
        const std::vector<std::int16_t> played = Play("adxvoice", out, &format);
        EXPECT_EQ(played.size(), (11025u + 31) / 32 * 32 * 2) << c.name;
        EXPECT_GT(SnrDb(expected, played), 40.0) << c.name;
        EXPECT_EQ(format.nSamplesPerSec, 22050u) << c.name;
    }
    WaveOptions adpcm;  // compressed: refused by the name of its format
    adpcm.formatTag = 2;
    adpcm.bits = 4;
    WriteFile(dir.File("adpcm.wav"), BuildWave(adpcm, Bytes(400, 0x11)));
    const ProgramResult refused = Encode({dir.File("adpcm.wav"), dir.File("adpcm.adx")});
    EXPECT_NE(refused.err.find("Microsoft ADPCM"), std::string::npos) << refused.err;
}

TEST_F(EncodeCli, WritesXmdThatXmdvoicePlays) {
    const std::vector<std::int16_t> pcm = MakeSignal(Signal::kVoice, 22050, 1, 20000);
    const std::string out = dir.File("voice.XMD");  // the extension in any case
    const ProgramResult r = Encode({Wave("voice.wav", pcm, 1, 22050), out});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    WAVEFORMATEX format{};
    EXPECT_GT(SnrDb(pcm, Play("xmdvoice", out, &format)), 40.0);
    EXPECT_EQ(format.nChannels, 1);
    EXPECT_EQ(format.nSamplesPerSec, 22050u);
}

TEST_F(EncodeCli, ConvertsWithTheDecodersFormatConverter) {
    const std::vector<std::int16_t> pcm = MakeSignal(Signal::kChord, 44100, 2, 44100);
    const std::string wave = Wave("chord.wav", pcm, 2, 44100);
    const std::string out = dir.File("chord.adx");
    const ProgramResult r = Encode({wave, out, "--rate", "22050", "--channels", "1"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    WAVEFORMATEX format{};
    const std::vector<std::int16_t> played = Play("adxvoice", out, &format);
    EXPECT_EQ(format.nChannels, 1);
    EXPECT_EQ(format.nSamplesPerSec, 22050u);
    // What the WAVE decoder gives in that format is what was encoded.
    const std::vector<std::int16_t> converted = Play("wavvoice", wave, nullptr, 1, 22050);
    ASSERT_EQ(converted.size(), 22050u);
    EXPECT_EQ(played.size(), (22050u + 31) / 32 * 32);
    EXPECT_GT(SnrDb(converted, played), 40.0);
}

TEST_F(EncodeCli, AWaveWithoutSamplesIsRefusedAndNothingIsWritten) {
    const std::string wave = Wave("empty.wav", {}, 2, 44100);
    for (const char* name : {"empty.adx", "empty.xmd"}) {
        const std::string out = dir.File(name);
        const ProgramResult r = Encode({wave, out});
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_EQ(r.err,
                  "fogbell-cli: " + wave + " is empty (it holds no samples): nothing was encoded\n");
        EXPECT_FALSE(FileExists(out));
    }
}

TEST_F(EncodeCli, KeepsAnExistingFileUnlessForced) {
    const std::string wave = Wave("a.wav", MakeSignal(Signal::kSweep, 32000, 1, 3000), 1, 32000);
    const std::string out = dir.File("a.adx");
    WriteFile(out, BytesOf("keep me"));
    const ProgramResult kept = Encode({wave, out});
    EXPECT_EQ(kept.exitStatus, 1);
    EXPECT_NE(kept.err.find("--force"), std::string::npos) << kept.err;
    EXPECT_EQ(ReadFile(out), BytesOf("keep me"));
    const ProgramResult forced = Encode({wave, out, "--force"});
    EXPECT_EQ(forced.exitStatus, 0) << forced.err;
    EXPECT_EQ(ReadFile(out)[0], 0x80);
    // Nothing but the stream is left in the folder (no temporary file).
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        ++files;
    }
    EXPECT_EQ(files, 2u);
}

TEST_F(EncodeCli, SaysWhatToDoWithFormatsTheStreamCannotCarry) {
    // Six channels: ADX and XMD carry one or two.
    const std::string six = Wave("six.wav", MakeSignal(Signal::kChord, 44100, 6, 2000), 6, 44100);
    const ProgramResult refused = Encode({six, dir.File("six.adx")});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_NE(refused.err.find("--channels"), std::string::npos) << refused.err;
    EXPECT_FALSE(FileExists(dir.File("six.adx")));
    EXPECT_EQ(Encode({six, dir.File("six.adx"), "--channels", "2"}).exitStatus, 0);
    // XMD holds rates up to 65535 Hz.
    const std::string fast = Wave("fast.wav", MakeSignal(Signal::kChord, 96000, 1, 2000), 1, 96000);
    const ProgramResult tooFast = Encode({fast, dir.File("fast.xmd")});
    EXPECT_EQ(tooFast.exitStatus, 1);
    EXPECT_NE(tooFast.err.find("--rate"), std::string::npos) << tooFast.err;
    EXPECT_EQ(Encode({fast, dir.File("fast.xmd"), "--rate", "48000"}).exitStatus, 0);
}

TEST_F(EncodeCli, RefusesOtherOutputsAndMissingInputs) {
    const std::string wave = Wave("a.wav", MakeSignal(Signal::kChord, 22050, 1, 100), 1, 22050);
    const ProgramResult mp3 = Encode({wave, dir.File("a.mp3")});
    EXPECT_EQ(mp3.exitStatus, 2);
    EXPECT_NE(mp3.err.find(".adx or .xmd"), std::string::npos) << mp3.err;
    EXPECT_FALSE(FileExists(dir.File("a.mp3")));
    const ProgramResult missing = Encode({dir.File("none.wav"), dir.File("none.adx")});
    EXPECT_EQ(missing.exitStatus, 1);
    EXPECT_FALSE(FileExists(dir.File("none.adx")));
    EXPECT_EQ(Encode({wave, dir.File("b.adx"), "--channels", "3"}).exitStatus, 2);
}

struct LoopCase {
    const char* name;
    bool sampler;  // the WAVE marks frames 1000 to 4999 as its loop
    std::vector<std::string> options;
    const char* loop;  // what the stream carries
};

TEST_F(EncodeCli, TheLoopComesFromTheOptionElseTheSamplerChunk) {
    const LoopCase cases[] = {
        {"no loop anywhere", false, {}, "none"},
        {"sampler chunk", true, {}, "1000:5000"},
        {"option", false, {"--loop", "33:8000"}, "33:8000"},
        {"option over the chunk", true, {"--loop", "0:22050"}, "0:22050"},
        {"--no-loop", true, {"--no-loop"}, "none"},
        {"chunk at half the rate", true, {"--rate", "11025"}, "500:2500"},
    };
    const std::vector<std::int16_t> pcm = MakeSignal(Signal::kChord, 22050, 2, 22050);
    for (const LoopCase& c : cases) {
        SCOPED_TRACE(c.name);
        WaveOptions options;
        options.rate = 22050;
        if (c.sampler) {
            options.chunksBeforeData.push_back(SamplerChunk({{1000, 4999}, {7, 9}}));
        }
        WriteFile(dir.File("in.wav"), BuildWave(options, PcmBytes(pcm)));
        std::vector<std::string> arguments = {dir.File("in.wav"), dir.File("out.adx"), "--force"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const ProgramResult r = Encode(arguments);
        ASSERT_EQ(r.exitStatus, 0) << r.err;
        EXPECT_EQ(LoopOf(dir.File("out.adx")), c.loop);
    }
}

TEST_F(EncodeCli, ALoopPastTheEndIsRefusedWithWhatToRun) {
    WaveOptions options;
    options.rate = 8000;
    options.chunksBeforeData.push_back(SamplerChunk({{100, 9000}}));
    const std::string wave = dir.File("short.wav");
    WriteFile(wave, BuildWave(options, PcmBytes(MakeSignal(Signal::kChord, 8000, 2, 8000))));
    for (const std::vector<std::string>& extra :
         {std::vector<std::string>{}, std::vector<std::string>{"--loop", "0:8001"}}) {
        std::vector<std::string> arguments = {wave, dir.File("short.adx")};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        const ProgramResult r = Encode(arguments);
        EXPECT_EQ(r.exitStatus, 1);
        EXPECT_NE(r.err.find("--loop START:END"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("--no-loop"), std::string::npos) << r.err;
        EXPECT_FALSE(FileExists(dir.File("short.adx")));
    }
    EXPECT_EQ(Encode({wave, dir.File("x.xmd"), "--loop", "0:10"}).exitStatus, 2);
    EXPECT_EQ(Encode({wave, dir.File("x.adx"), "--loop", "10:10"}).exitStatus, 2);
}

TEST_F(EncodeCli, WavThenEncodeKeepsTheLoopThatListShows) {
    const std::string first = dir.File("theme.adx");
    ASSERT_EQ(Encode({Wave("in.wav", MakeSignal(Signal::kVoice, 16000, 1, 16000), 1, 16000), first,
                      "--loop", "1234:15001"})
                  .exitStatus,
              0);
    const std::string out = dir.File("saved");
    std::filesystem::create_directory(out);
    ASSERT_EQ(RunProgram(CliPath(), {"wav", first, "-o", out}).exitStatus, 0);
    const std::string second = dir.File("again.adx");
    ASSERT_EQ(Encode({out + "/theme.adx.wav", second}).exitStatus, 0);
    const ProgramResult listed = RunProgram(CliPath(), {"list", second, "--json"});
    EXPECT_NE(listed.out.find("\"loop\": [1234, 15001]"), std::string::npos) << listed.out;
}

TEST_F(EncodeCli, FfmpegReadsOurAdx) {
    const std::string ffmpeg = FindOnPath("ffmpeg");
    if (ffmpeg.empty()) {
        GTEST_SKIP() << "ffmpeg is not installed (tools/ensure-deps.sh installs it)";
    }
    // 44100 Hz with a loop: FFmpeg finds the frames past the grown header.
    for (std::uint32_t rate : {22050u, 44100u, 48000u}) {
        const std::vector<std::int16_t> pcm = MakeSignal(Signal::kVoice, rate, 2, rate);
        const std::string out = dir.File("voice" + std::to_string(rate) + ".adx");
        std::vector<std::string> arguments = {Wave("voice.wav", pcm, 2, rate), out, "--force"};
        if (rate == 44100u) {
            arguments.insert(arguments.end(), {"--loop", "100:40000"});
        }
        ASSERT_EQ(Encode(arguments).exitStatus, 0);
        EXPECT_EQ(LoopOf(out), rate == 44100u ? "100:40000" : "none");
        const std::string raw = dir.File("ffmpeg.raw");
        const ProgramResult r =
            RunProgram(ffmpeg, {"-nostdin", "-v", "error", "-y", "-i", out, "-f", "s16le",
                                "-acodec", "pcm_s16le", "-ac", "2", raw});
        ASSERT_EQ(r.exitStatus, 0) << r.err;
        const std::vector<std::int16_t> theirs = Samples(ReadFile(raw));
        const std::vector<std::int16_t> ours = Play("adxvoice", out);
        ASSERT_GE(theirs.size(), pcm.size()) << rate;
        // FFmpeg derives the coefficients with less precision, so its decode drifts a little
        // from ours; it must still be the same sound.
        std::vector<std::int16_t> head(ours.begin(), ours.begin() + pcm.size());
        EXPECT_GT(SnrDb(head, theirs), 25.0) << rate;
        EXPECT_GT(SnrDb(pcm, theirs), 25.0) << rate;
    }
}

}  // namespace
}  // namespace fogbell::test
