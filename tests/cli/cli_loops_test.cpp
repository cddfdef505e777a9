// "wav" and tracks with loop points: the loop marked in a sampler chunk, or written out with
// --loops and a fade-out, to the sample.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <optional>

#include "adx_builder.h"
#include "afs_builder.h"
#include "layout_reader.h"
#include "recorded_wave.h"
#include "run_program.h"
#include "test_files.h"

namespace fogbell::test {
namespace {

constexpr std::uint32_t kRate = 8000;  // one decoder block: 8000 frames

Bytes LoopedAdx(std::uint8_t channels, std::uint32_t groups, std::uint32_t start,
                std::uint32_t end) {
    AdxOptions options;
    options.channels = channels;
    options.rate = kRate;
    options.totalSamples = groups * 32;
    options.headerOffset = LoopHeaderOffset(3, channels);
    options.loopBlock = true;
    options.loopStart = start;
    options.loopEnd = end;
    return BuildAdx(options, AdxFrames(groups, channels, start + end), true);
}

// The body of a RIFF WAVE file's first chunk with that id, or none.
std::optional<Bytes> Chunk(const Bytes& file, const char* id) {
    for (std::size_t at = 12; at + 8 <= file.size();) {
        const std::uint32_t size = layout::U32(file, at + 4);
        if (std::memcmp(&file[at], id, 4) == 0 && at + 8 + size <= file.size()) {
            return Bytes(file.begin() + static_cast<long>(at) + 8,
                         file.begin() + static_cast<long>(at + 8 + size));
        }
        at += 8 + std::uint64_t{size} + size % 2;
    }
    return std::nullopt;
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
    std::uint64_t fadeFrames;
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
        const std::vector<std::int16_t> once = Samples(*Chunk(Wav(adx, "theme.adx"), "data"));
        const Bytes file = Wav(adx, "theme.adx", {"--loops", c.passes, "--fade", c.fade});
        ASSERT_EQ(last.exitStatus, 0) << last.err;
        EXPECT_EQ(last.err, "");
        EXPECT_FALSE(Chunk(file, "smpl"));  // the loop is written out
        const std::vector<std::int16_t> got = Samples(*Chunk(file, "data"));
        const std::uint64_t passes = std::stoul(c.passes);
        EXPECT_EQ(got.size(), (c.start + passes * (c.end - c.start) + c.fadeFrames) * c.channels);
        auto frames = [&](std::size_t from, std::size_t to) {
            return std::vector<std::int16_t>(once.begin() + static_cast<long>(from * c.channels),
                                             once.begin() + static_cast<long>(to * c.channels));
        };
        std::vector<std::int16_t> expected = frames(0, c.end);
        for (std::uint64_t pass = 1; pass < passes; ++pass) {
            const auto loop = frames(c.start, c.end);
            expected.insert(expected.end(), loop.begin(), loop.end());
        }
        // The fade: the loop again from its start, frame k at gain (fade - k) / fade.
        for (std::uint64_t k = 0; k < c.fadeFrames; ++k) {
            const std::size_t from = (c.start + k % (c.end - c.start)) * c.channels;
            const auto gain = static_cast<std::int64_t>(c.fadeFrames - k);
            for (std::size_t i = 0; i < c.channels; ++i) {
                expected.push_back(static_cast<std::int16_t>(
                    once[from + i] * gain / static_cast<std::int64_t>(c.fadeFrames)));
            }
        }
        EXPECT_TRUE(got == expected);
        EXPECT_EQ(layout::U32(file, 4), file.size() - 8);
    }
}

TEST_F(CliLoops, MarksTheLoopInASamplerChunkAndLeavesOtherTracksAsTheyWere) {
    AdxOptions plainOptions;
    plainOptions.rate = kRate;
    plainOptions.totalSamples = 4 * 32;
    const Bytes plain = BuildAdx(plainOptions, AdxFrames(4, 1, 9), true);
    const std::string box = dir.File("box.afs");
    WriteFile(box, AfsBuilder()
                       .Add("theme.adx", LoopedAdx(2, 40, 100, 1000))
                       .Add("plain.adx", plain)
                       .Build()
                       .bytes);
    const Bytes marked = Wav(box, "theme.adx", {"theme.adx"});
    ASSERT_EQ(last.exitStatus, 0) << last.err;
    const std::optional<Bytes> smpl = Chunk(marked, "smpl");
    ASSERT_TRUE(smpl);
    ASSERT_EQ(smpl->size(), 60u);
    // Sample period, unity note, loop count; then the loop's type, first and last frame, count.
    const std::pair<std::size_t, std::uint32_t> fields[] = {
        {8, 125000}, {12, 60}, {28, 1}, {40, 0}, {44, 100}, {48, 999}, {56, 0}};
    for (const auto& [at, value] : fields) {
        EXPECT_EQ(layout::U32(*smpl, at), value) << "field at " << at;
    }
    EXPECT_EQ(Chunk(marked, "data")->size(), 40u * 32 * 2 * 2);
    EXPECT_EQ(layout::U32(marked, 4), marked.size() - 8);

    // A track without loop points: the 44-byte layout, with or without --loops.
    const Bytes once = Wav(box, "plain.adx", {"plain.adx"});
    ASSERT_EQ(once.size(), kWaveHeaderBytes + 4 * 32 * 2);
    WAVEFORMATEX format{1, 1, kRate, kRate * 2, 2, 16, 18};
    EXPECT_EQ(once, RecordedWave(format, Bytes(once.begin() + kWaveHeaderBytes, once.end())));
    EXPECT_EQ(Wav(box, "plain.adx", {"plain.adx", "--loops", "2"}), once);
    EXPECT_EQ(last.exitStatus, 0);
    EXPECT_EQ(last.err, "fogbell-cli: plain.adx: no loop points, written once\n");
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
        {{"--loops", "1.5"}, count},
        {{"--loops", "4294967296"}, count},
        {{"--loops", "2", "--fade", "-1"}, seconds},
        {{"--loops", "2", "--fade", "1e3"}, seconds},
        {{"--loops", "2", "--fade", "."}, seconds},
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
