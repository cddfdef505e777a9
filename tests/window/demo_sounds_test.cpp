// The demo's sounds have the shapes their names promise: the title's notes have died away where
// its loop jumps, the wind ends as loud as it starts and never drops out, the bell dies away, the
// voices pause between syllables.
#include "demo_sounds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace fogbell::demo {
namespace {

// The RMS of each 20 ms window of channel 0, as a fraction of full scale.
std::vector<double> WindowLevels(const Sound& sound) {
    const std::size_t window = sound.rate / 50;
    std::vector<double> levels;
    for (std::size_t start = 0; start + window <= sound.Frames(); start += window) {
        double sum = 0;
        for (std::size_t i = start; i < start + window; ++i) {
            const double x = sound.samples[i * sound.channels] / 32768.0;
            sum += x * x;
        }
        levels.push_back(std::sqrt(sum / window));
    }
    return levels;
}

double ShareBelow(const std::vector<double>& levels, double level) {
    return static_cast<double>(
               std::count_if(levels.begin(), levels.end(), [&](double l) { return l < level; })) /
           levels.size();
}

TEST(DemoSounds, TitleNotesHaveEndedWhereItsLoopJumps) {
    const Sound title = TitleTheme();
    ASSERT_LT(title.loopStart, title.loopEnd);
    ASSERT_EQ(title.loopEnd, title.Frames());
    for (const std::uint32_t edge : {title.loopStart, title.loopEnd}) {
        int loudest = 0;  // in the last 2 ms before the edge
        for (std::uint32_t i = edge - title.rate / 500; i < edge; ++i) {
            loudest =
                std::max(loudest, std::abs(static_cast<int>(title.samples[i * title.channels])));
        }
        EXPECT_LT(loudest, 400) << "before sample " << edge;
    }
}

TEST(DemoSounds, WindEndsAtTheLevelItStartsAtAndNeverDropsOut) {
    const std::vector<double> levels = WindowLevels(Wind(3.0));
    const double start = levels[0] + levels[1] + levels[2];
    const double end =
        levels[levels.size() - 1] + levels[levels.size() - 2] + levels[levels.size() - 3];
    EXPECT_NEAR(end / start, 1.0, 0.25);
    EXPECT_EQ(ShareBelow(levels, 0.01), 0.0);
}

TEST(DemoSounds, TheBellDiesAway) {
    const std::vector<double> levels = WindowLevels(Bell(2, 44100, 2.0, 440.0));
    EXPECT_GT(levels.front(), 30 * levels.back());
}

TEST(DemoSounds, VoicesPauseBetweenSyllables) {
    for (const Line line : {Line::kGreeting, Line::kReply, Line::kCall, Line::kQuestion}) {
        const std::vector<double> levels = WindowLevels(Voice(line, 22050));
        EXPECT_GT(ShareBelow(levels, 0.001), 0.05) << static_cast<int>(line);
        EXPECT_LT(ShareBelow(levels, 0.01), 0.5) << static_cast<int>(line);
    }
}

}  // namespace
}  // namespace fogbell::demo
