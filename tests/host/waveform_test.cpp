// The play bar's waveform: the envelope of a whole stream decoded by the real WAVE decoder, and
// the core handing it to the view while the track plays.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <list>

#include "afs_builder.h"
#include "byte_writer.h"
#include "fake_view.h"
#include "host/app/main_core.h"
#include "host/audio/waveform.h"
#include "recorded_wave.h"
#include "test_files.h"
#include "wave_builder.h"

namespace fogbell {
namespace {

using test::Bytes;

// A WAVE whose frame i holds i / step on the first channel and its negation on the second.
Bytes RampWave(std::uint16_t channels, std::uint32_t frames, std::uint32_t step) {
    Bytes pcm;
    for (std::uint32_t i = 0; i < frames; ++i) {
        const auto value = static_cast<std::int16_t>(i / step);
        test::ByteWriter(pcm).U16LE(static_cast<std::uint16_t>(value));
        if (channels == 2) {
            test::ByteWriter(pcm).U16LE(static_cast<std::uint16_t>(-value));
        }
    }
    test::WaveOptions options;
    options.channels = channels;
    return test::BuildWave(options, pcm);
}

class WaveformOfStream : public ::testing::Test {
  protected:
    void SetUp() override {
        host.LoadDecoderPlugins(std::string(FOGBELL_STAGE_DIR) + "/decode_plugins");
    }
    // The stream reads the bytes where they are: they are kept until the fixture ends.
    DecoderSessionPtr Open(Bytes wave) {
        const Bytes& kept = waves.emplace_back(std::move(wave));
        std::string error;
        DecoderSessionPtr stream = host.OpenStream("ramp.wav", kept.data(),
                                                   static_cast<std::uint32_t>(kept.size()), error);
        EXPECT_NE(stream, nullptr) << error;
        return stream;
    }
    std::list<Bytes> waves;
    PluginHost host;
};

// A rising ramp has one envelope only: every column starts where the one before ended, the first
// at the first sample and the last at the last, so a lost, repeated or misplaced stretch shows.
TEST_F(WaveformOfStream, ColumnsOfARampAreContiguousAndCoverTheStream) {
    struct Case {
        std::uint16_t channels;
        std::uint32_t frames;
        std::uint32_t step;  // frames per ramp value
        std::size_t columns;
        std::size_t expectedColumns;
    };
    const Case cases[] = {
        {1, 1000, 1, 2048, 1000},     // fewer frames than columns: one column per frame
        {1, 30000, 1, 2048, 2048},    // more: columns of about 15 frames
        {2, 20000, 1, 512, 512},      // the second channel holds the lows
        {1, 600000, 32, 2048, 2048},  // long enough for the stretches to be merged five times
        {1, 7, 1, 3, 3},              // columns that do not divide the frames
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.channels) + "ch " + std::to_string(c.frames));
        const DecoderSessionPtr stream = Open(RampWave(c.channels, c.frames, c.step));
        ASSERT_NE(stream, nullptr);
        const std::atomic<bool> stop{false};
        const std::optional<Waveform> wave = ComputeWaveform(*stream, c.columns, stop);
        ASSERT_TRUE(wave);
        ASSERT_EQ(wave->high.size(), c.expectedColumns);
        ASSERT_EQ(wave->low.size(), c.expectedColumns);
        EXPECT_EQ(wave->frames, c.frames);
        const auto last = static_cast<std::int16_t>((c.frames - 1) / c.step);
        EXPECT_EQ(wave->high.back(), last);
        if (c.channels == 2) {  // each column's low is its high mirrored
            for (std::size_t i = 0; i < wave->low.size(); ++i) {
                ASSERT_EQ(wave->low[i], -wave->high[i]) << i;
            }
            continue;
        }
        EXPECT_EQ(wave->low.front(), 0);
        for (std::size_t i = 0; i < wave->low.size(); ++i) {
            ASSERT_LE(wave->low[i], wave->high[i]) << i;
            if (i > 0) {
                // The next column begins with the next frame: the same value or one above.
                ASSERT_GE(wave->low[i], wave->high[i - 1]) << i;
                ASSERT_LE(wave->low[i], wave->high[i - 1] + 1) << i;
            }
        }
    }
}

TEST_F(WaveformOfStream, AStoppedOrEmptyStreamHasNone) {
    const std::atomic<bool> stopped{true};
    const DecoderSessionPtr ramp = Open(RampWave(1, 5000, 1));
    ASSERT_NE(ramp, nullptr);
    EXPECT_FALSE(ComputeWaveform(*ramp, kWaveformColumns, stopped));
    const std::atomic<bool> running{false};
    const DecoderSessionPtr empty = Open(RampWave(1, 0, 1));
    ASSERT_NE(empty, nullptr);
    EXPECT_FALSE(ComputeWaveform(*empty, kWaveformColumns, running));
}

TEST(WaveformWorkerTest, CancelStopsARunningJobAndWaitsForIt) {
    WaveformWorker worker;
    std::atomic<bool> started{false};
    std::atomic<bool> sawStop{false};
    ASSERT_TRUE(worker.Start([&](const std::atomic<bool>& stop) {
        started = true;
        while (!stop) {
            std::this_thread::yield();
        }
        sawStop = true;
    }));
    ASSERT_TRUE(test::WaitFor([&] { return started.load(); }));
    worker.Cancel();
    EXPECT_TRUE(sawStop);  // returned only after the job had seen the stop and ended
}

// The core computes the playing track's waveform on its own thread; the play timer gives it to
// the view, and the end of the play takes it away.
TEST(CoreWaveform, ThePlayTimerShowsThePlayingTracksWaveformUntilItStops) {
    test::TempDir dir;
    test::FakeView view;
    test::FakePlayback playback;
    MainCore core(view, playback);
    CorePaths paths;
    paths.settingsFile = dir.File("ini.ini");
    paths.decoderDirectory = std::string(FOGBELL_STAGE_DIR) + "/decode_plugins";
    paths.explorerDirectory = std::string(FOGBELL_STAGE_DIR) + "/explore_plugins";
    ASSERT_TRUE(core.Initialize(paths));
    test::WriteFile(dir.File("a.afs"),
                    test::AfsBuilder().Add("ramp.wav", RampWave(1, 30000, 1)).Build().bytes);
    ASSERT_TRUE(core.OpenContainerPath(dir.File("a.afs")));
    view.Select({0});
    core.OnRowDoubleClick();
    ASSERT_EQ(playback.played.size(), 1u);
    PlaybackControl::PlayedPosition position;
    position.rate = 10000;  // the engine knows no length: the caption's comes from the waveform
    playback.position = position;
    ASSERT_TRUE(test::WaitFor([&] {
        core.OnPlayTimer();
        return !view.playWaveform.low.empty();
    }));
    EXPECT_EQ(view.playWaveform.high.size(), kWaveformColumns);
    EXPECT_EQ(view.playWaveform.high.back(), 29999);
    core.OnPlayTimer();
    EXPECT_EQ(view.BarOf(ProgressId::kPlay).caption, "ramp.wav  0:00 / 0:03");
    core.StopPlayback();
    EXPECT_TRUE(view.playWaveform.low.empty());
    core.OnPlayTimer();
    EXPECT_TRUE(view.playWaveform.low.empty());  // nothing left over from the stopped track
}

}  // namespace
}  // namespace fogbell
