// The loop finder on music made at test time: loops found to the sample where the repetition is
// exact, near the section boundary under a reverb, low scores where nothing repeats, no
// candidates where none can be, and a cancelled search that stops.
#include "host/loops/loop_finder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "music_builder.h"
#include "noise.h"

namespace fogbell::loops {
namespace {

using test::MakeMusic;
using test::Music;
using test::MusicRecipe;

std::vector<LoopCandidate> Find(const Music& music, const MusicRecipe& recipe, double minSeconds,
                                std::size_t maxCandidates = 5) {
    LoopSearch search;
    search.minSeconds = minSeconds;
    search.maxCandidates = maxCandidates;
    return FindLoops(music.samples.data(), music.frames, static_cast<int>(recipe.channels),
                     static_cast<int>(recipe.rate), search);
}

// What every list of candidates promises, whatever the music.
void ExpectWellFormed(const std::vector<LoopCandidate>& found, const Music& music,
                      const MusicRecipe& recipe, double minSeconds) {
    for (std::size_t i = 0; i < found.size(); ++i) {
        const LoopCandidate& c = found[i];
        EXPECT_GE(static_cast<double>(c.end - c.start), minSeconds * recipe.rate) << i;
        EXPECT_LE(c.end + recipe.rate, music.frames) << i;
        EXPECT_GE(c.score, 0.0) << i;
        EXPECT_LE(c.score, 1.0) << i;
        if (i > 0) {
            EXPECT_LE(c.score, found[i - 1].score + 0.005) << "not best first at " << i;
        }
    }
}

// How far start lies from the nearest section boundary, counted modulo the section length.
std::int64_t OffsetFromBoundary(std::uint64_t start, const Music& music) {
    const auto length = static_cast<std::int64_t>(music.sectionLength);
    const std::int64_t offset =
        (static_cast<std::int64_t>(start) - static_cast<std::int64_t>(music.sectionStart)) % length;
    const std::int64_t wrapped = offset < 0 ? offset + length : offset;
    return wrapped > length / 2 ? wrapped - length : wrapped;
}

struct RepeatCase {
    const char* label;
    MusicRecipe recipe;
    double minSeconds;
    std::int64_t startTolerance;  // samples either side of a section boundary
    double minSeamDb;
};

MusicRecipe Recipe(std::uint32_t rate, std::uint32_t channels, double bpm, std::uint32_t bars,
                   std::uint32_t repeats, double reverbSeconds, std::uint32_t seed) {
    MusicRecipe recipe;
    recipe.rate = rate;
    recipe.channels = channels;
    recipe.bpm = bpm;
    recipe.sectionBars = bars;
    recipe.repeats = repeats;
    recipe.reverbSeconds = reverbSeconds;
    recipe.seed = seed;
    return recipe;
}

const RepeatCase kRepeats[] = {
    {"StereoExact", Recipe(44100, 2, 120, 4, 3, 0.0, 1), 6.0, 0, 60.0},
    {"MonoExactThreeQuarters", Recipe(22050, 1, 140, 6, 4, 0.0, 2), 8.0, 0, 60.0},
    {"TwoPassesOnly", Recipe(48000, 2, 96, 4, 2, 0.0, 3), 8.0, 0, 60.0},
    {"ShortReverb", Recipe(44100, 2, 128, 4, 3, 1.0, 4), 6.0, 441, 40.0},
    {"LongerReverbMono", Recipe(22050, 1, 100, 4, 3, 1.5, 5), 8.0, 221, 40.0},
    {"NoIntro",
     [] {
         MusicRecipe recipe = Recipe(22050, 2, 110, 4, 3, 0.0, 13);
         recipe.introBars = 0;
         return recipe;
     }(),
     6.0, 0, 60.0},
};

// Cases print as their labels (in test names and failures).
void PrintTo(const RepeatCase& c, std::ostream* os) {
    *os << c.label;
}

class LoopFinderRepeats : public ::testing::TestWithParam<RepeatCase> {};

// The best loop is a whole number of sections long, starts on a section boundary (within the
// case's tolerance) and has a clean seam.
TEST_P(LoopFinderRepeats, FindsTheRepeatedSection) {
    const RepeatCase& c = GetParam();
    const Music music = MakeMusic(c.recipe);
    const std::vector<LoopCandidate> found = Find(music, c.recipe, c.minSeconds);
    ASSERT_FALSE(found.empty());
    ExpectWellFormed(found, music, c.recipe, c.minSeconds);
    const LoopCandidate& best = found.front();
    EXPECT_EQ((best.end - best.start) % music.sectionLength, 0u)
        << "length " << best.end - best.start << ", section " << music.sectionLength;
    EXPECT_GE(best.start + c.startTolerance, music.sectionStart);
    EXPECT_LE(std::llabs(OffsetFromBoundary(best.start, music)), c.startTolerance)
        << "start " << best.start << ", section from " << music.sectionStart;
    EXPECT_GE(best.seamDb, c.minSeamDb);
    EXPECT_GE(best.score, 0.95);
}

INSTANTIATE_TEST_SUITE_P(Music, LoopFinderRepeats, ::testing::ValuesIn(kRepeats),
                         [](const auto& test) { return std::string(test.param.label); });

// Music of the same shape where nothing repeats, and noise: whatever is proposed scores low.
struct NoRepeatCase {
    const char* label;
    bool noise;
    MusicRecipe recipe;
};

const NoRepeatCase kNoRepeats[] = {
    {"VariedMusic", false,
     [] {
         MusicRecipe recipe = Recipe(22050, 2, 120, 4, 4, 0.0, 6);
         recipe.varied = true;
         return recipe;
     }()},
    {"VariedMusicWithReverb", false,
     [] {
         MusicRecipe recipe = Recipe(22050, 1, 132, 4, 4, 1.2, 7);
         recipe.varied = true;
         return recipe;
     }()},
    {"WhiteNoise", true, Recipe(22050, 2, 120, 4, 4, 0.0, 8)},
};

void PrintTo(const NoRepeatCase& c, std::ostream* os) {
    *os << c.label;
}

class LoopFinderNoRepeats : public ::testing::TestWithParam<NoRepeatCase> {};

TEST_P(LoopFinderNoRepeats, ScoresLow) {
    const NoRepeatCase& c = GetParam();
    Music music = MakeMusic(c.recipe);
    if (c.noise) {
        test::Noise noise(c.recipe.seed);
        for (std::int16_t& sample : music.samples) {
            sample = static_cast<std::int16_t>(noise.Next() * 16000.0);
        }
    }
    const std::vector<LoopCandidate> found = Find(music, c.recipe, 6.0);
    ExpectWellFormed(found, music, c.recipe, 6.0);
    for (const LoopCandidate& candidate : found) {
        EXPECT_LT(candidate.score, 0.2) << candidate.start << ".." << candidate.end;
        EXPECT_LT(candidate.seamDb, 10.0) << candidate.start << ".." << candidate.end;
    }
}

INSTANTIATE_TEST_SUITE_P(Music, LoopFinderNoRepeats, ::testing::ValuesIn(kNoRepeats),
                         [](const auto& test) { return std::string(test.param.label); });

// Searches that cannot propose anything propose nothing.
struct RefusalCase {
    const char* label;
    std::size_t frames;  // of a 20-second stereo track at 22,050 Hz; fewer cut it short
    int channels;
    int rate;
    double minSeconds;
    bool nullSamples;
};

const RefusalCase kRefusals[] = {
    {"MinLongerThanTrack", 441000, 2, 22050, 25.0, false},
    {"NoSecondAfterTheLoop", 441000, 2, 22050, 19.5, false},
    {"TrackShorterThanMin", 100000, 2, 22050, 5.0, false},
    {"NoSamples", 0, 2, 22050, 1.0, false},
    {"NullSamples", 441000, 2, 22050, 5.0, true},
    {"NoChannels", 441000, 0, 22050, 5.0, false},
    {"NoRate", 441000, 2, 0, 5.0, false},
    {"MinNotPositive", 441000, 2, 22050, 0.0, false},
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.label;
}

class LoopFinderRefusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(LoopFinderRefusals, ProposesNothing) {
    const RefusalCase& c = GetParam();
    const Music music = MakeMusic(Recipe(22050, 2, 120, 2, 4, 0.0, 9));
    ASSERT_GE(music.frames, c.frames);
    LoopSearch search;
    search.minSeconds = c.minSeconds;
    EXPECT_TRUE(FindLoops(c.nullSamples ? nullptr : music.samples.data(), c.frames, c.channels,
                          c.rate, search)
                    .empty());
}

INSTANTIATE_TEST_SUITE_P(Arguments, LoopFinderRefusals, ::testing::ValuesIn(kRefusals),
                         [](const auto& test) { return std::string(test.param.label); });

TEST(LoopFinder, ReportsProgressUpToTheWhole) {
    const MusicRecipe recipe = Recipe(22050, 2, 120, 4, 3, 0.0, 10);
    const Music music = MakeMusic(recipe);
    std::vector<double> reports;
    LoopSearch search;
    search.minSeconds = 6.0;
    search.progress = [&](double fraction) { reports.push_back(fraction); };
    EXPECT_FALSE(FindLoops(music.samples.data(), music.frames, 2, 22050, search).empty());
    ASSERT_GE(reports.size(), 3u);
    for (std::size_t i = 1; i < reports.size(); ++i) {
        EXPECT_GE(reports[i], reports[i - 1]) << i;
    }
    EXPECT_DOUBLE_EQ(reports.back(), 1.0);
}

// A cancel set while the features are being computed stops the search at its next check.
TEST(LoopFinder, CancelledSearchStopsWithNothing) {
    const MusicRecipe recipe = Recipe(22050, 2, 120, 4, 3, 0.0, 11);
    const Music music = MakeMusic(recipe);
    std::atomic<bool> cancel{false};
    std::size_t reportsAfterCancel = 0;
    LoopSearch search;
    search.minSeconds = 6.0;
    search.cancel = &cancel;
    search.progress = [&](double fraction) {
        if (cancel) {
            ++reportsAfterCancel;
        } else if (fraction > 0.0) {
            cancel = true;
        }
    };
    EXPECT_TRUE(FindLoops(music.samples.data(), music.frames, 2, 22050, search).empty());
    EXPECT_TRUE(cancel);
    EXPECT_EQ(reportsAfterCancel, 0u);
}

// The list holds at most the candidates asked for, and one asked for is the best of them.
TEST(LoopFinder, KeepsAtMostTheCandidatesAskedFor) {
    const MusicRecipe recipe = Recipe(22050, 2, 150, 4, 5, 0.0, 12);
    const Music music = MakeMusic(recipe);
    const std::vector<LoopCandidate> five = Find(music, recipe, 6.0, 5);
    const std::vector<LoopCandidate> one = Find(music, recipe, 6.0, 1);
    ASSERT_EQ(one.size(), 1u);
    ASSERT_GE(five.size(), 3u) << "lags of 1, 2, 3 and 4 sections";
    EXPECT_LE(five.size(), 5u);
    EXPECT_EQ(one.front().start, five.front().start);
    EXPECT_EQ(one.front().end, five.front().end);
}

}  // namespace
}  // namespace fogbell::loops
