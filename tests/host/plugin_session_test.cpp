// Sessions with the staged plug-ins: every answer carries the text of its own call, however many
// threads use one plug-in at once.
#include "host/audio/loop_unrolling.h"
#include "host/audio/pcm_reader.h"
#include "host/plugins/plugin_host.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "adx_builder.h"
#include "afs_builder.h"
#include "byte_writer.h"
#include "test_files.h"
#include "wave_builder.h"

namespace fogbell {
namespace {

constexpr int kRounds = 200;

class Sessions : public ::testing::Test {
  protected:
    void SetUp() override {
        host.LoadDecoderPlugins(std::string(FOGBELL_STAGE_DIR) + "/decode_plugins");
        host.LoadExplorerPlugins(std::string(FOGBELL_STAGE_DIR) + "/explore_plugins");
    }
    test::TempDir dir;
    PluginHost host;
};

// Two workers read missing WAVE files through one decoder, as two replacements converting at
// once do: each failure must report its own file, never the other worker's.
TEST_F(Sessions, TwoWorkersOnOneDecoderEachReadTheirOwnText) {
    std::atomic<int> mixedUp{0};
    auto worker = [&](const std::string& path) {
        const std::string expected = "File " + path + " not exists.";
        for (int round = 0; round < kRounds; ++round) {
            std::string error;
            if (ReadPcmFile(host, "replacement.wav", path, -1, -1, {}, error) ||
                error != expected) {
                ++mixedUp;
            }
        }
    };
    std::thread first(worker, dir.File("first.wav"));
    std::thread second(worker, dir.File("second.wav"));
    first.join();
    second.join();
    EXPECT_EQ(mixedUp.load(), 0);
}

// One worker decodes a WAVE file while another keeps failing on the same decoder: the decoding
// one sees every block, the failing one its own text.
TEST_F(Sessions, AFailingWorkerLeavesADecodingOneAlone) {
    const test::Bytes wave = test::BuildWave({}, test::Pattern(44100 * 4 * 3, 1));
    test::WriteFile(dir.File("three.wav"), wave);
    std::atomic<bool> done{false};
    std::atomic<int> wrongTexts{0};
    std::thread failing([&] {
        const std::string missing = dir.File("missing.wav");
        while (!done) {
            std::string error;
            ReadPcmFile(host, "x.wav", missing, -1, -1, {}, error);
            wrongTexts += error == "File " + missing + " not exists." ? 0 : 1;
        }
    });
    for (int round = 0; round < kRounds / 10; ++round) {
        std::size_t frames = 0;
        PcmReadCallbacks callbacks;
        callbacks.block = [&](const std::int16_t*, std::size_t count) {
            frames += count;
            return true;
        };
        std::string error;
        EXPECT_TRUE(ReadPcmFile(host, "x.wav", dir.File("three.wav"), -1, -1, callbacks, error))
            << error;
        EXPECT_EQ(frames, 44100u * 3);
    }
    done = true;
    failing.join();
    EXPECT_EQ(wrongTexts.load(), 0);
}

// A track's bytes stay what the explorer handed out while they are held, even when another
// thread asks the same explorer for other tracks meanwhile.
TEST_F(Sessions, HeldTrackBytesKeepTheExplorerToTheirThread) {
    const std::string box = dir.File("box.afs");
    test::WriteFile(box, test::AfsBuilder()
                             .Add("a.bin", test::Pattern(64, 1))
                             .Add("b.bin", test::Pattern(32, 2))
                             .Build()
                             .bytes);
    std::string error;
    const ExplorerSessionPtr container = host.OpenContainer(box, nullptr, 0, error);
    ASSERT_TRUE(container) << error;
    std::atomic<bool> held{false};
    std::atomic<bool> asked{false};
    std::thread other;
    {
        const TrackBytes a = container->Track("a.bin");
        ASSERT_TRUE(a);
        held = true;
        other = std::thread([&] {
            const TrackBytes b = container->Track("b.bin");
            asked = b.Size() == 32u;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_FALSE(asked.load());  // waits for the held bytes
        EXPECT_EQ(a.Size(), 64u);
    }
    other.join();
    EXPECT_TRUE(asked.load());
    const TrackBytes missing = container->Track("none.bin");
    EXPECT_FALSE(missing);
    EXPECT_EQ(missing.TextOr(""), "none.bin file not found.");
}

// Going back to the loop by seeking, or by rewinding and decoding up to it, gives what a loop
// kept in memory gives; a loop that the stream ends before fails with its text.
TEST_F(Sessions, UnrollingByRewindingOrSeekingGivesWhatAKeptLoopGives) {
    test::AdxOptions options;
    options.channels = 2;
    options.totalSamples = 3000 * 32;  // two decoder blocks and a bit
    const test::Bytes adx = BuildAdx(options, test::AdxFrames(3000, 2, 5), true);
    const std::tuple<LoopPoints, bool, std::uint64_t> cases[] = {{{45000, 90001}, true, 0},
                                                                 {{45000, 90001}, false, 0},
                                                                 {{45000, 90001}, true, 1 << 20},
                                                                 {{45000, 96001}, true, 0}};
    std::vector<test::Bytes> written;
    std::string error;
    for (const auto& [loop, seek, hold] : cases) {
        const auto stream = host.OpenStream("a.adx", adx.data(), adx.size(), error);
        ASSERT_TRUE(stream) << error;
        test::Bytes& bytes = written.emplace_back();
        const auto result = UnrollLoop(
            *stream, {loop, 2, 30000, 4, seek, hold},
            [&](const std::uint8_t* data, std::uint32_t size) {
                bytes.insert(bytes.end(), data, data + size);
                return true;
            },
            error);
        EXPECT_EQ(result, loop.end <= 96000 ? UnrollResult::kDone : UnrollResult::kFailed);
    }
    EXPECT_TRUE(written[0] == written[2] && written[1] == written[2]);
    EXPECT_EQ(error, "The track ends before the end of its loop.");
}

}  // namespace
}  // namespace fogbell
