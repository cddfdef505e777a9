// "wav" and tracks with loop points: the loop marked in a sampler chunk, or written out with
// --loops and a fade-out, to the sample.
#include <gtest/gtest.h>

#include <filesystem>

#include "adx_builder.h"
#include "layout_reader.h"
#include "recorded_wave.h"
#include "run_program.h"
#include "test_files.h"

namespace fogbell::test {
namespace {

constexpr std::uint32_t kRate = 8000;  // one decoder block: 8000 frames

// An ADX stream at kRate, with a loop block unless end is 0.
Bytes LoopedAdx(std::uint8_t channels, std::uint32_t groups, std::uint32_t start,
                std::uint32_t end) {
    AdxOptions options;
    options.channels = channels;
    options.rate = kRate;
    options.totalSamples = groups * 32;
    options.headerOffset = LoopHeaderOffset(3, channels);
    options.loopBlock = end != 0;
    options.loopStart = start;
    options.loopEnd = end;
    return BuildAdx(options, AdxFrames(groups, channels, start + end), true);
}

// The data chunk's bytes of a file "wav" wrote, and what follows them.
Bytes Data(const Bytes& file) {
    return Bytes(file.begin() + kWaveHeaderBytes,
                 file.begin() + kWaveHeaderBytes + layout::U32(file, 40));
}
Bytes AfterData(const Bytes& file) {
    return Bytes(file.begin() + kWaveHeaderBytes + layout::U32(file, 40), file.end());
}

class CliLoops : public ::testing::Test {
  protected:
    // Runs wav on path into a folder of its own; the file written, empty when none was.
    Bytes Wav(const std::string& path, const std::string& saved,
              std::vector<std::string> options = {}) {
        const std::string out = dir.File("out" + std::to_string(++runs));
        std::filesystem::create_directory(out);
        options.insert(options.begin(), {"wav", path, "-o", out});
        last = RunProgram(CliPath(), options);
        const std::string file = out + "/" + saved + ".wav";
        return FileExists(file) ? ReadFile(file) : Bytes{};
    }
    TempDir dir;
    int runs = 0;
    ProgramResult last;
};

struct UnrollCase {
    std::uint8_t channels;
    std::uint32_t groups, start, end;
    const char* passes;
    const char* fade;
    std::uint32_t fadeFrames;
};

TEST_F(CliLoops, WritesTheIntroThePassesAndAFadeFromTheLoopStart) {
    const UnrollCase cases[] = {
        {1, 700, 100, 20037, "2", "5", 40000},    // starts mid-frame; a fade longer than two loops
        {2, 300, 4001, 9600, "3", "0.25", 2000},  // loop to the stream's end, stereo
        {1, 100, 0, 3200, "1", "0", 0},           // no fade tail
    };
    for (const UnrollCase& c : cases) {
        SCOPED_TRACE(std::string("--loops ") + c.passes + " --fade " + c.fade);
        const std::string adx = dir.File("theme.adx");
        WriteFile(adx, LoopedAdx(c.channels, c.groups, c.start, c.end));
        // Without --loops: the track once, and its loop marked (first and last frame).
        const Bytes marked = Wav(adx, "theme.adx");
        const Bytes smpl = AfterData(marked);
        ASSERT_EQ(smpl.size(), 68u);
        EXPECT_EQ(std::string(smpl.begin(), smpl.begin() + 4), "smpl");
        EXPECT_EQ(layout::U32(smpl, 52), c.start);
        EXPECT_EQ(layout::U32(smpl, 56), c.end - 1);
        EXPECT_EQ(layout::U32(marked, 4), marked.size() - 8);
        const std::vector<std::int16_t> once = Samples(Data(marked));
        const Bytes file = Wav(adx, "theme.adx", {"--loops", c.passes, "--fade", c.fade});
        ASSERT_EQ(last.exitStatus, 0) << last.err;
        EXPECT_EQ(last.err, "");
        EXPECT_TRUE(AfterData(file).empty());  // the loop is written out: no sampler chunk
        const std::vector<std::int16_t> got = Samples(Data(file));
        const std::uint32_t passes = std::stoul(c.passes), length = c.end - c.start;
        EXPECT_EQ(got.size(), (c.start + passes * length + c.fadeFrames) * c.channels);
        std::vector<std::int16_t> expected;
        auto add = [&](std::size_t frame, std::int64_t gain, std::int64_t of) {
            for (std::size_t i = 0; i < c.channels; ++i) {
                expected.push_back(
                    static_cast<std::int16_t>(once[frame * c.channels + i] * gain / of));
            }
        };
        for (std::size_t frame = 0; frame < c.start + passes * length; ++frame) {
            add(frame < c.end ? frame : c.start + (frame - c.end) % length, 1, 1);
        }
        // The fade: the loop again from its start, frame k at gain (fade - k) / fade.
        for (std::uint32_t k = 0; k < c.fadeFrames; ++k) {
            add(c.start + k % length, c.fadeFrames - k, c.fadeFrames);
        }
        EXPECT_TRUE(got == expected);
        EXPECT_EQ(layout::U32(file, 4), file.size() - 8);
    }
}

TEST_F(CliLoops, LeavesTracksWithoutLoopPointsAsTheyWere) {
    const std::string adx = dir.File("plain.adx");
    WriteFile(adx, LoopedAdx(1, 4, 0, 0));
    // The 44-byte layout, with or without --loops.
    const Bytes once = Wav(adx, "plain.adx");
    ASSERT_EQ(once.size(), kWaveHeaderBytes + 4 * 32 * 2);
    const WAVEFORMATEX format{1, 1, kRate, kRate * 2, 2, 16, 18};
    EXPECT_EQ(once, RecordedWave(format, Bytes(once.begin() + kWaveHeaderBytes, once.end())));
    EXPECT_EQ(Wav(adx, "plain.adx", {"--loops", "2"}), once);
    EXPECT_EQ(last.exitStatus, 0);
    EXPECT_NE(last.err.find("plain.adx: no loop points, written once\n"), std::string::npos);
}

TEST_F(CliLoops, RefusesBadLoopArgumentsAsUsageErrors) {
    const std::string adx = dir.File("theme.adx");
    WriteFile(adx, LoopedAdx(1, 40, 100, 1000));
    const char* count = "--loops: must be a whole number from 1 to 4294967295";
    const char* seconds = "--fade: must be a number of seconds, 0 or more";
    const std::pair<std::vector<std::string>, const char*> refused[] = {
        {{"--loops", "0"}, count},
        {{"--loops", "-1"}, count},
        {{"--loops", "two"}, count},
        {{"--loops", "2", "--fade", "-1"}, seconds},
        {{"--fade", "5"}, "--fade requires --loops"}};
    for (const auto& [arguments, text] : refused) {
        SCOPED_TRACE(arguments.back());
        EXPECT_TRUE(Wav(adx, "theme.adx", arguments).empty());
        EXPECT_EQ(last.exitStatus, 2);
        EXPECT_NE(last.err.find(text), std::string::npos) << last.err;
    }
}

}  // namespace
}  // namespace fogbell::test
