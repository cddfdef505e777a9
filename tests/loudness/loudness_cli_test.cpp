// "loudness" and "--loudness" through fogbell-cli: a replacement matched to the track it replaces,
// a loudness asked for held below -1 dBTP, and (Linux, where FFmpeg is) the figures against
// FFmpeg's ebur128 filter on generated signals, printed as a table.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

#include "adx_builder.h"
#include "afs_builder.h"
#include "byte_writer.h"
#include "host/encode/adx_encoder.h"
#include "pac_builder.h"
#include "run_program.h"
#include "test_files.h"
#include "test_signals.h"
#include "wave_builder.h"

namespace fogbell::test {
namespace {

struct Figures {
    double integrated, range, truePeak;
};

class LoudnessCli : public ::testing::Test {
  protected:
    std::string Wave(const std::string& name, const std::vector<std::int16_t>& samples,
                     std::uint16_t channels, std::uint32_t rate) {
        WaveOptions options;
        options.channels = channels;
        options.rate = rate;
        const std::string path = dir.File(name);
        WriteFile(path, BuildWave(options, PcmBytes(samples)));
        return path;
    }
    // What "loudness --json" says of the arguments' first sound.
    Figures Measure(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "loudness");
        arguments.push_back("--json");
        const ProgramResult r = RunProgram(CliPath(), arguments);
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        const nlohmann::json row = nlohmann::json::parse(r.out).at(0);
        return {row["integrated"], row["range"], row["true_peak"]};
    }
    TempDir dir;
};

// samples scaled by a gain in dB (the signals are near full scale).
std::vector<std::int16_t> Scaled(std::vector<std::int16_t> samples, double db) {
    for (std::int16_t& s : samples) {
        s = static_cast<std::int16_t>(std::lround(s * std::pow(10.0, db / 20.0)));
    }
    return samples;
}

TEST_F(LoudnessCli, MatchGivesTheReplacementTheTracksLoudness) {
    const std::vector<std::int16_t> quiet =
        Scaled(MakeSignal(Signal::kVoice, 22050, 1, 22050 * 6), -18.0);
    const std::string archive = dir.File("voice.afs");
    WriteFile(archive,
              AfsBuilder()
                  .Add("line.adx", encode::EncodeAdx({1, 22050, 500}, quiet.data(), quiet.size()))
                  .Build()
                  .bytes);
    const Figures before = Measure({archive, "line.adx"});
    const std::string loud =
        Wave("loud.wav", MakeSignal(Signal::kChord, 44100, 2, 44100 * 5), 2, 44100);
    const ProgramResult r =
        RunProgram(CliPath(), {"replace", archive, "line.adx", loud, "--loudness", "match"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_NE(r.out.find("Gain -"), std::string::npos) << r.out;
    EXPECT_NEAR(Measure({archive, "line.adx"}).integrated, before.integrated, 0.5);
}

TEST_F(LoudnessCli, ALoudnessTooHighForTheTruePeakIsHeldAtMinusOneDbtp) {
    WaveOptions trackOptions;
    trackOptions.channels = 2;
    trackOptions.rate = 44100;
    const std::string pac = dir.File("se.pac");
    WriteFile(pac, PacBuilder().Add(BuildWave(trackOptions, Pattern(40000, 1))).Build().bytes);
    const std::string take =
        Wave("take.wav", Scaled(MakeSignal(Signal::kChord, 44100, 2, 44100 * 5), -20.0), 2, 44100);
    const ProgramResult r = RunProgram(
        CliPath(), {"replace", pac, "Track 0.wav", take, "--loudness", "-3", "--rebuild"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_NE(r.err.find("LU quieter than the -3.0 LUFS asked for"), std::string::npos) << r.err;
    const Figures after = Measure({pac, "Track 0.wav"});
    EXPECT_LE(after.truePeak, -0.99);
    EXPECT_GT(after.truePeak, -1.2);  // the gain went as far as the peak allows
    EXPECT_LT(after.integrated, -3.0);
}

#ifndef _WIN32
// "I:", "LRA:" or "Peak:" of the summary FFmpeg's ebur128 filter prints last.
double FfmpegFigure(const std::string& text, const std::string& label) {
    const std::size_t at = text.rfind(label);
    EXPECT_NE(at, std::string::npos) << text;
    return at == std::string::npos ? 0.0 : std::stod(text.substr(at + label.size()));
}

TEST_F(LoudnessCli, AgreesWithFfmpegsEbur128Filter) {
    struct Case {
        const char* name;
        std::vector<std::int16_t> samples;
        std::uint16_t channels;
        std::uint32_t rate;
    };
    std::vector<std::int16_t> sine(48000 * 2 * 20);
    for (std::size_t i = 0; i < sine.size(); ++i) {
        sine[i] = static_cast<std::int16_t>(
            std::lround(32767.0 * std::pow(10.0, -23.0 / 20.0) *
                        std::sin(2.0 * std::numbers::pi * 1000.0 * double(i / 2) / 48000.0)));
    }
    const Case cases[] = {
        {"1 kHz sine -23 dBFS", sine, 2, 48000},
        {"chord", MakeSignal(Signal::kChord, 48000, 2, 48000 * 15), 2, 48000},
        {"voice -12 dB", Scaled(MakeSignal(Signal::kVoice, 44100, 2, 44100 * 15), -12.0), 2, 44100},
        {"sweep mono", MakeSignal(Signal::kSweep, 22050, 1, 22050 * 15), 1, 22050},
        {"square -20 dB", Scaled(MakeSignal(Signal::kSquare, 48000, 2, 48000 * 10), -20.0), 2,
         48000},
    };
    std::printf("%-20s %28s %28s\n", "signal", "fogbell I / LRA / TP", "FFmpeg I / LRA / TP");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string wave = Wave("signal.wav", c.samples, c.channels, c.rate);
        const Figures ours = Measure({wave});
        const ProgramResult r =
            RunProgram("/usr/bin/env", {"ffmpeg", "-nostdin", "-hide_banner", "-i", wave, "-af",
                                        "ebur128=peak=true", "-f", "null", "-"});
        ASSERT_EQ(r.exitStatus, 0) << "ffmpeg (tools/ensure-deps.sh installs it): " << r.err;
        const Figures theirs = {FfmpegFigure(r.err, "I:"), FfmpegFigure(r.err, "LRA:"),
                                FfmpegFigure(r.err, "Peak:")};
        std::printf("%-20s %8.1f %8.1f %8.2f   %8.1f %8.1f %8.2f\n", c.name, ours.integrated,
                    ours.range, ours.truePeak, theirs.integrated, theirs.range, theirs.truePeak);
        EXPECT_NEAR(ours.integrated, theirs.integrated, 0.3);
        EXPECT_NEAR(ours.range, theirs.range, 0.3);
        EXPECT_NEAR(ours.truePeak, theirs.truePeak, 0.5);
    }
    EXPECT_NEAR(Measure({Wave("sine.wav", sine, 2, 48000)}).integrated, -23.0, 0.1);
}
#endif

}  // namespace
}  // namespace fogbell::test
