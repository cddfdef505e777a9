// "wav" and tracks with loop points: the loop marked in a sampler chunk, or written out with
// --loops and a fade-out, to the sample. "loop": the loop points read, set and cleared in the
// track's own header, the audio left as it was.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>

#include "adx_builder.h"
#include "afs_builder.h"
#include "layout_reader.h"
#include "music_builder.h"
#include "recorded_wave.h"
#include "run_program.h"
#include "sampler_chunk.h"
#include "test_files.h"
#include "xmd_builder.h"

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

// An ADX stream of 1280 samples at kRate in a header of this version and offset, with a loop
// block from sample 32 to loopEnd unless loopEnd is 0.
Bytes AdxOf(std::uint8_t version, std::uint8_t channels, std::uint16_t headerOffset,
            std::uint32_t loopEnd = 0) {
    AdxOptions options;
    options.channels = channels;
    options.rate = kRate;
    options.totalSamples = 40 * 32;
    options.version = version;
    options.headerOffset = headerOffset;
    options.loopBlock = loopEnd != 0;
    options.loopStart = 32;
    options.loopEnd = loopEnd;
    return BuildAdx(options, AdxFrames(40, channels, 9), true);
}

constexpr long kAnyGrowth = -1000;  // a rebuilt archive grows by its alignment's measure

// A mono 16-bit WAVE at kRate of 2000 frames, with a sampler chunk of one loop when last is set.
Bytes WaveOf(std::uint32_t first, std::uint32_t last) {
    WaveOptions options;
    options.channels = 1;
    options.rate = kRate;
    if (last != 0) {
        options.chunksBeforeData.push_back(SamplerChunk({{first, last}}));
    }
    Bytes data(4000);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 37 % 251);
    }
    return BuildWave(options, data);
}

struct LoopSetCase {
    const char* label;
    Bytes track;
    const char* name;  // the file's name, or the member's in an AFS archive
    bool inArchive;
    std::vector<std::string> arguments;
    int exitStatus;
    const char* loopAfter;  // the "loop" member read back; nullptr: nothing may change
    long growth;            // bytes the file grows by
};

TEST_F(CliLoops, SetsAndClearsLoopPointsLeavingTheAudioAsItWas) {
    const LoopSetCase cases[] = {
        {"ADX with a loop block", LoopedAdx(1, 40, 100, 1000), "a.adx", false,
         {"--set", "64:320"}, 0, "[64,320]", 0},
        {"ADX without room grows", AdxOf(3, 2, 0x20), "b.adx", false, {"--set", "0:1280"}, 0,
         "[0,1280]", 14},
        {"ADX version 4 cleared", AdxOf(4, 2, LoopHeaderOffset(4, 2), 640), "c.adx", false, {"--clear"}, 0,
         "null", 0},
        {"ADX version 5 becomes 3", AdxOf(5, 1, 0x40), "d.adx", false, {"--set", "1:2"}, 0,
         "[1,2]", 0},
        {"WAVE gets a sampler chunk", WaveOf(0, 0), "e.wav", false, {"--set", "10:1500"}, 0,
         "[10,1500]", 68},
        {"WAVE sampler changed in place", WaveOf(5, 99), "f.wav", false, {"--set", "10:2000"}, 0,
         "[10,2000]", 0},
        {"WAVE sampler cleared", WaveOf(5, 99), "g.wav", false, {"--clear"}, 0, "null", -68},
        {"archive, in place", LoopedAdx(1, 40, 100, 1000), "h.adx", true, {"--set", "5:6"}, 0,
         "[5,6]", 0},
        {"archive, no room", AdxOf(3, 1, 0x1C), "i.adx", true, {"--set", "5:6"}, 1, nullptr, 0},
        {"archive, rebuilt", AdxOf(3, 1, 0x1C), "j.adx", true, {"--set", "5:6", "--rebuild"},
         0, "[5,6]", kAnyGrowth},
        {"XMD has no loop fields", BuildXmd(1, 8000, 13 * 40, XmdFrames(40, 3)), "k.xmd", false,
         {"--set", "1:2"}, 1, nullptr, 0},
        {"END before START", LoopedAdx(1, 40, 100, 1000), "l.adx", false, {"--set", "10:5"}, 2,
         nullptr, 0},
        {"END past the stream", LoopedAdx(1, 40, 100, 1000), "m.adx", false, {"--set", "0:1281"},
         2, nullptr, 0},
        {"not a number", WaveOf(0, 0), "n.wav", false, {"--set", "a:b"}, 2, nullptr, 0},
    };
    for (const LoopSetCase& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string file = dir.File(c.inArchive ? "archive.afs" : c.name);
        WriteFile(file, c.inArchive ? AfsBuilder().Add(c.name, c.track).Build().bytes : c.track);
        std::vector<std::string> where{file};
        if (c.inArchive) {
            where.push_back(c.name);
        }
        const Bytes before = ReadFile(file);
        const Bytes heard = Wav(file, c.name, {where.begin() + 1, where.end()});
        std::vector<std::string> arguments{"loop"};
        arguments.insert(arguments.end(), where.begin(), where.end());
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        last = RunProgram(CliPath(), arguments);
        EXPECT_EQ(last.exitStatus, c.exitStatus) << last.err;
        const Bytes after = ReadFile(file);
        if (c.loopAfter == nullptr) {
            EXPECT_EQ(after, before);
            continue;
        }
        if (c.growth != kAnyGrowth) {
            EXPECT_EQ(static_cast<long>(after.size()) - static_cast<long>(before.size()), c.growth);
        }
        EXPECT_EQ(Data(Wav(file, c.name, {where.begin() + 1, where.end()})), Data(heard));
        if (!c.inArchive && c.name[2] == 'a') {  // ADX: the frames byte for byte
            const std::size_t frames = before.size() - (std::size_t{before[2]} << 8 | before[3]) - 4;
            EXPECT_TRUE(std::equal(before.end() - frames, before.end(), after.end() - frames));
        }
        arguments.resize(where.size() + 1);
        arguments.push_back("--json");
        last = RunProgram(CliPath(), arguments);
        ASSERT_EQ(last.exitStatus, 0) << last.err;
        EXPECT_EQ(nlohmann::json::parse(last.out)["loop"].dump(), c.loopAfter);
    }
}

TEST_F(CliLoops, FindsTheRepeatedSectionAndWritesTheBestLoop) {
    MusicRecipe recipe;
    recipe.rate = 22050;
    recipe.channels = 1;
    recipe.sectionBars = 2;
    recipe.outroBars = 1;
    const Music music = MakeMusic(recipe);
    WaveOptions options;
    options.channels = 1;
    options.rate = recipe.rate;
    const std::string file = dir.File("music.wav");
    const auto* pcm = reinterpret_cast<const std::uint8_t*>(music.samples.data());
    WriteFile(file, BuildWave(options, Bytes(pcm, pcm + music.samples.size() * 2)));
    last = RunProgram(CliPath(), {"loop", file, "--find", "--min", "3", "--json"});
    ASSERT_EQ(last.exitStatus, 0) << last.err;
    const nlohmann::json best = nlohmann::json::parse(last.out)["candidates"].at(0);
    const std::size_t start = best["loop"][0], end = best["loop"][1];
    EXPECT_EQ((end - start) % music.sectionLength, 0u);
    EXPECT_GT(best["score"].get<double>(), 0.9);
    last = RunProgram(CliPath(), {"loop", file, "--set-best", "--min", "3"});
    ASSERT_EQ(last.exitStatus, 0) << last.err;
    last = RunProgram(CliPath(), {"loop", file, "--json"});
    EXPECT_EQ(nlohmann::json::parse(last.out)["loop"], best["loop"]);
    // Music that never repeats: its best loop, if any, is called poor.
    recipe.varied = true;
    const Music varied = MakeMusic(recipe);
    const auto* other = reinterpret_cast<const std::uint8_t*>(varied.samples.data());
    WriteFile(file, BuildWave(options, Bytes(other, other + varied.samples.size() * 2)));
    last = RunProgram(CliPath(), {"loop", file, "--find", "--min", "3"});
    EXPECT_EQ(last.exitStatus, 0) << last.err;
    EXPECT_TRUE(last.out.find("the best loop is poor") != std::string::npos ||
                last.out.find("no loop found") != std::string::npos)
        << last.out;
}

}  // namespace
}  // namespace fogbell::test
