// The feeder between a decoder and the sound buffer: whole seconds, loops that go on inside a
// block at any frame, where each block's frames come from, and the decoder's unit per frame.
#include "host/playback/block_feeder.h"

#include <gtest/gtest.h>

#include "host/plugins/plugin_host.h"
#include "recorded_wave.h"
#include "test_files.h"
#include "wave_builder.h"

namespace fogbell {
namespace {

using test::Bytes;

constexpr std::uint32_t kFrames = 50000;  // mono 16-bit at 22050 Hz: 2.27 s
constexpr std::uint32_t kSecond = 44100;  // bytes

class Feeding : public ::testing::Test {
  protected:
    void SetUp() override {
        host.LoadDecoderPlugins(std::string(FOGBELL_STAGE_DIR) + "/decode_plugins");
        test::WaveOptions options;
        options.channels = 1;
        options.rate = 22050;
        wave = test::BuildWave(options, test::Pattern(kFrames * 2, 5));
        const auto data = wave.begin() + test::WaveDataOffset(options);
        pcm.assign(data, data + kFrames * 2);
        std::string error;
        stream =
            host.OpenStream("a.wav", wave.data(), static_cast<std::uint32_t>(wave.size()), error);
        ASSERT_TRUE(stream) << error;
        format = *stream->OutputFormat().value;
    }
    void TearDown() override { CloseOpenedFile(stream); }

    // Frames [from, to) of the stream's PCM.
    Bytes Frames(std::uint32_t from, std::uint32_t to) const {
        return Bytes(pcm.begin() + from * 2, pcm.begin() + to * 2);
    }

    PluginHost host;
    Bytes wave, pcm;
    DecoderSessionPtr stream;
    WAVEFORMATEX format{};
};

TEST_F(Feeding, BlocksAreWholeSecondsAndLoopsGoOnInsideThem) {
    struct Case {
        const char* what;
        std::optional<LoopPoints> loop;
        bool looping;
        // Runs of stream frames [from, to), in order; whole seconds in all unless the feeder ends.
        std::vector<std::pair<std::uint32_t, std::uint32_t>> runs;
        bool ends;  // the feeder ends after these runs
    };
    const Case cases[] = {
        {"once", std::nullopt, false, {{0, kFrames}}, true},
        {"loop points unused", LoopPoints{1001, 30000}, false, {{0, kFrames}}, true},
        {"the whole stream", std::nullopt, true, {{0, kFrames}, {0, kFrames}, {0, 10250}}, false},
        {"inside a block",
         LoopPoints{1001, 30000},
         true,
         {{0, 30000}, {1001, 30000}, {1001, 30000}, {1001, 23253}},
         false},
        {"an end past the stream",
         LoopPoints{40000, 60000},
         true,
         {{0, kFrames},
          {40000, kFrames},
          {40000, kFrames},
          {40000, kFrames},
          {40000, kFrames},
          {40000, kFrames},
          {40000, kFrames},
          {40000, 40250}},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(stream->Reset());
        BlockFeeder feeder;
        feeder.Start(*stream, format, format, c.loop);
        Bytes expected;
        for (const auto& [from, to] : c.runs) {
            const Bytes more = Frames(from, to);
            expected.insert(expected.end(), more.begin(), more.end());
        }
        Bytes fed;
        while (fed.size() < expected.size()) {
            const BlockFeeder::Block* block = feeder.Next(c.looping);
            ASSERT_NE(block, nullptr);
            fed.insert(fed.end(), block->bytes.begin(), block->bytes.end());
            if (fed.size() < expected.size()) {
                EXPECT_EQ(block->bytes.size(), kSecond);  // only the last may be short
            }
        }
        EXPECT_EQ(fed, expected);
        EXPECT_EQ(feeder.Next(c.looping) == nullptr, c.ends);
    }
}

TEST_F(Feeding, KnowsWhereEachFrameOfABlockComesFromAndTheDecodersUnit) {
    BlockFeeder feeder;
    feeder.Start(*stream, format, format, LoopPoints{1001, 30000});
    const BlockFeeder::Block* first = feeder.Next(true);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->StreamFrameAt(0), 0u);
    EXPECT_EQ(first->StreamFrameAt(22049), 22049u);
    const BlockFeeder::Block* second = feeder.Next(true);
    ASSERT_NE(second, nullptr);
    // Frames 22050 to 29999 of the stream, then the loop's start at the block's frame 7950.
    EXPECT_EQ(second->StreamFrameAt(0), 22050u);
    EXPECT_EQ(second->StreamFrameAt(7949), 29999u);
    EXPECT_EQ(second->StreamFrameAt(7950), 1001u);
    EXPECT_EQ(second->StreamFrameAt(8000), 1051u);
    // The WAVE decoder counts data bytes: two per frame here.
    EXPECT_EQ(feeder.UnitsAtFrame(0), 0u);
    EXPECT_EQ(feeder.UnitsAtFrame(10000), 20000u);
    EXPECT_EQ(feeder.FramesOfSize(kFrames * 2), kFrames);
}

}  // namespace
}  // namespace fogbell
