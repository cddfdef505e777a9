// The demo archive's tracks, decoded by the real plug-ins through the command line, play at a
// sane level without DC; its title music loops; the build's tools answer --help and refuse a
// missing or bad folder with a usage text or an error instead of crashing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "adx_builder.h"
#include "plugin_api.h"
#include "recorded_wave.h"
#include "run_program.h"
#include "test_files.h"

namespace fogbell::test {
namespace {

std::string MakeDemo(const TempDir& dir) {
    const ProgramResult made = RunProgram(FOGBELL_DEMO_TOOL, {Utf8FromPath(dir.Path())});
    EXPECT_EQ(made.exitStatus, 0) << made.err;
    return dir.File("mistvale_sound.afs");
}

struct Track {
    const char* wave;  // as fogbell-cli wav names it
    double seconds;
};

TEST(DemoContainer, EveryTrackPeaksNearMinusSixDbWithoutDc) {
    TempDir dir;
    const std::string archive = MakeDemo(dir);
    for (const std::string& path : {archive, archive + "::voices.pac", archive + "::battle.aix"}) {
        const ProgramResult saved = RunProgram(CliPath(), {"wav", path, "-o", dir.File("")});
        ASSERT_EQ(saved.exitStatus, 0) << saved.err;
    }
    const Track tracks[] = {{"bgm_title.adx.wav", 10.0}, {"bgm_harbor.adx.wav", 4.5},
                            {"Track 0.aixf.wav", 3.2},   {"Track 1.aixf.wav", 3.2},
                            {"Track 0.wav.wav", 1.2},    {"Track 1.wav.wav", 1.5},
                            {"Track 2.wav.wav", 0.9},    {"se_bell.wav.wav", 2.0},
                            {"wind_loop.xmd.wav", 3.0},  {"voice_017.adx.wav", 2.5}};
    for (const Track& track : tracks) {
        const Bytes wave = ReadFile(dir.File(track.wave));
        ASSERT_GT(wave.size(), kWaveHeaderBytes) << track.wave;
        // The data chunk only: a looped track's WAVE carries a sampler chunk after it.
        const std::size_t dataBytes = std::min<std::size_t>(
            wave[40] | wave[41] << 8 | wave[42] << 16 | std::size_t{wave[43]} << 24,
            wave.size() - kWaveHeaderBytes);
        const std::vector<std::int16_t> samples =
            Samples(wave.data() + kWaveHeaderBytes, dataBytes);
        double sum = 0;
        int peak = 0;
        for (const std::int16_t s : samples) {
            sum += s;
            peak = std::max(peak, std::abs(static_cast<int>(s)));
        }
        const double peakDb = 20 * std::log10(peak / 32768.0);
        EXPECT_GT(peakDb, -7.0) << track.wave;
        EXPECT_LT(peakDb, -5.0) << track.wave;
        EXPECT_LT(std::abs(sum / samples.size()), 2.0) << track.wave;
        const std::uint16_t channels = wave[22];
        const std::uint32_t rate = wave[24] | wave[25] << 8 | wave[26] << 16;
        EXPECT_GE(samples.size(), track.seconds * rate * channels) << track.wave;
    }
}

TEST(DemoContainer, TitleMusicLoopsAfterItsIntro) {
    TempDir dir;
    const std::string archive = MakeDemo(dir);
    ASSERT_EQ(
        RunProgram(CliPath(), {"extract", archive, "bgm_title.adx", "-o", dir.File("")}).exitStatus,
        0);
    DecoderApi adx("adxvoice");
    const int handle = adx.LoadFile(-1, -1, dir.File("bgm_title.adx").c_str());
    ASSERT_GE(handle, 0) << adx.Error();
    std::uint32_t start = 0, end = 0;
    EXPECT_EQ(adx.GetLoopPoints(handle, &start, &end), 1);
    EXPECT_EQ(start, 2u * 44100u);  // a bar of intro
    EXPECT_EQ(end, 10u * 44100u);   // four bars of tune, to the end
    adx.CloseFile(handle);
}

TEST(DemoContainer, IsTheSameOnEveryRun) {
    TempDir first, second;
    EXPECT_EQ(ReadFile(MakeDemo(first)), ReadFile(MakeDemo(second)));
}

struct Call {
    std::string program;
    std::vector<std::string> arguments;
    int exitStatus;
    const char* outText;  // in what it prints to stdout
    const char* errText;  // in what it prints to stderr
};

TEST(Tools, AnswerHelpAndRefuseMissingOrBadFolders) {
    const std::string missing = TempDir().File("gone");
    const std::string script = std::string(FOGBELL_TOOLS_DIR) + "/fuzz-short.sh";
    const Call calls[] = {
        {FOGBELL_DEMO_TOOL, {"--help"}, 0, "Usage: fogbell_demo_container DIR", ""},
        {FOGBELL_DEMO_TOOL, {}, 2, "", "Usage: fogbell_demo_container DIR"},
        {FOGBELL_DEMO_TOOL, {missing}, 1, "", "is not a folder"},
        {FOGBELL_SEED_TOOL, {"--help"}, 0, "Usage: make_fuzz_seeds OUTDIR", ""},
        {FOGBELL_SEED_TOOL, {}, 2, "", "Usage: make_fuzz_seeds OUTDIR"},
        {FOGBELL_ART_TOOL, {"-h"}, 0, "Usage: fogbell_draw_art OUTDIR", ""},
        {FOGBELL_ART_TOOL, {}, 2, "", "Usage: fogbell_draw_art OUTDIR"},
        {script, {"--help"}, 0, "fuzz-short.sh PROGRAM WORKDIR RUNS", ""},
        {script, {"a", "b"}, 2, "", "fuzz-short.sh PROGRAM WORKDIR RUNS"},
    };
    for (const Call& call : calls) {
        const std::string what =
            call.program + " " + (call.arguments.empty() ? "" : call.arguments[0]);
        const ProgramResult r = RunProgram(call.program, call.arguments);
        EXPECT_EQ(r.exitStatus, call.exitStatus) << what << r.err;
        EXPECT_NE(r.out.find(call.outText), std::string::npos) << what << r.out;
        EXPECT_NE(r.err.find(call.errText), std::string::npos) << what << r.err;
    }
}

}  // namespace
}  // namespace fogbell::test
