// sndvoice against FFmpeg (Linux only: FFmpeg is not there under Wine): files that FFmpeg
// encodes decode to what FFmpeg decodes of them, as long and with the same encoder delay and
// padding handling, and the loop tags FFmpeg writes are read back. Prints what it measured.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "adx_builder.h"
#include "plugin_api.h"
#include "run_program.h"
#include "sound_file_builder.h"
#include "test_files.h"
#include "wave_builder.h"

namespace fogbell::test {
namespace {

constexpr std::uint32_t kRate = 48000;  // Opus's own rate, so that no codec resamples
constexpr std::uint32_t kChannels = 2;

class SndVoiceFfmpeg : public ::testing::Test {
  protected:
    // FFmpeg run on arguments; fails the test when it fails.
    void Ffmpeg(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"ffmpeg", "-nostdin", "-v", "error", "-y"});
        const ProgramResult r = RunProgram("/usr/bin/env", arguments);
        ASSERT_EQ(r.exitStatus, 0) << "ffmpeg (tools/ensure-deps.sh installs it): " << r.err;
    }
    // The source as a 16-bit PCM WAVE file, encoded by FFmpeg with these arguments into name.
    std::string Encode(const std::vector<std::int16_t>& source, const std::string& name,
                       const std::vector<std::string>& codec) {
        WaveOptions o;
        o.channels = kChannels;
        o.rate = kRate;
        const std::string wave = dir.File("source.wav"), out = dir.File(name);
        Bytes pcm(source.size() * 2);
        for (std::size_t i = 0; i < source.size(); ++i) {
            pcm[2 * i] = static_cast<std::uint8_t>(source[i]);
            pcm[2 * i + 1] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(source[i]) >> 8);
        }
        WriteFile(wave, BuildWave(o, pcm));
        std::vector<std::string> arguments = {"-i", wave};
        arguments.insert(arguments.end(), codec.begin(), codec.end());
        arguments.push_back(out);
        Ffmpeg(arguments);
        return out;
    }

    DecoderApi api{"sndvoice"};
    TempDir dir;
};

TEST_F(SndVoiceFfmpeg, DecodesWhatFfmpegDecodesWithTheSameDelayAndLength) {
    struct Case {
        const char* what;
        std::string name;
        std::vector<std::string> codec;
        int maxDifference;                      // largest difference of a sample from FFmpeg's
        bool gapless;                           // as long as the source: delay and padding dropped
        std::vector<std::string> decoder = {};  // FFmpeg's decoder, when not its own
    };
    const Case cases[] = {
        {"FLAC", "a.flac", {"-c:a", "flac"}, 0, true},
        {"AIFF", "a.aiff", {"-c:a", "pcm_s16be"}, 0, true},
        {"mu-law WAVE", "a.wav", {"-c:a", "pcm_mulaw"}, 0, true},
        {"MP3 with a LAME info frame", "a.mp3", {"-c:a", "libmp3lame"}, 1, true},
        {"MP3 without an info frame",
         "b.mp3",
         {"-c:a", "libmp3lame", "-write_xing", "0"},
         1,
         false},
        {"Vorbis", "a.ogg", {"-c:a", "libvorbis"}, 1, true},
        // libopus on both sides (FFmpeg's own Opus decoder differs by up to 4).
        {"Opus", "a.opus", {"-c:a", "libopus"}, 1, true, {"-c:a", "libopus"}},
    };
    const std::vector<std::int16_t> source = GlideSignal(kRate * 5 / 2 + 123, kChannels, 3);
    for (const Case& c : cases) {
        const std::string file = Encode(source, c.name, c.codec);
        const int h = api.LoadFile(-1, -1, file.c_str());
        ASSERT_NE(h, -1) << c.what << ": " << api.Error();
        const std::vector<std::int16_t> ours = Samples(api.DecodeAll(h));
        api.CloseFile(h);
        const std::string raw = dir.File("theirs.raw");
        std::vector<std::string> decode = c.decoder;
        decode.insert(decode.end(), {"-i", file, "-f", "s16le", "-acodec", "pcm_s16le", raw});
        Ffmpeg(decode);
        const std::vector<std::int16_t> theirs = Samples(ReadFile(raw));
        int largest = 0;
        for (std::size_t i = 0; i < std::min(ours.size(), theirs.size()); ++i) {
            largest = std::max(largest, std::abs(ours[i] - theirs[i]));
        }
        std::printf("%s: source %zu samples, sndvoice %zu, FFmpeg %zu, largest difference %d\n",
                    c.what, source.size() / kChannels, ours.size() / kChannels,
                    theirs.size() / kChannels, largest);
        EXPECT_EQ(ours.size(), theirs.size()) << c.what;
        EXPECT_LE(largest, c.maxDifference) << c.what;
        EXPECT_EQ(ours.size() == source.size(), c.gapless) << c.what;
    }
}

TEST_F(SndVoiceFfmpeg, ReadsTheLoopTagsFfmpegWrites) {
    const std::vector<std::int16_t> source = GlideSignal(kRate, kChannels, 4);
    for (const char* name : {"tags.flac", "tags.ogg", "tags.opus"}) {
        const std::string file =
            Encode(source, name, {"-metadata", "LOOPSTART=1234", "-metadata", "LOOPLENGTH=5000"});
        EXPECT_EQ(api.LoopOf(ReadFile(file)), "1234:6234") << name;
    }
}

}  // namespace
}  // namespace fogbell::test
