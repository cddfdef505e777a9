// The loop finder's parts on signals with known answers: the FFT, the lag to the sample, the seam
// figure, where a repetition starts, and the beat.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <complex>
#include <functional>
#include <ostream>
#include <vector>

#include "host/loops/frame_features.h"
#include "host/loops/pcm_view.h"
#include "host/loops/real_fft.h"
#include "host/loops/seam_match.h"
#include "host/loops/search_work.h"
#include "noise.h"

namespace fogbell::loops {
namespace {

// Noise for intro samples, then one pattern of period samples copies times, then noise for
// outro samples; channels interleaved, at level (of full scale).
std::vector<std::int16_t> Repeated(std::size_t intro, std::size_t period, int copies,
                                   std::size_t outro, std::size_t channels, double level) {
    test::Noise noise(7);
    const auto draw = [&] { return static_cast<std::int16_t>(noise.Next() * level * 32767.0); };
    std::vector<std::int16_t> samples;
    for (std::size_t i = 0; i < intro * channels; ++i) {
        samples.push_back(draw());
    }
    std::vector<std::int16_t> pattern;
    for (std::size_t i = 0; i < period * channels; ++i) {
        pattern.push_back(draw());
    }
    for (int c = 0; c < copies; ++c) {
        samples.insert(samples.end(), pattern.begin(), pattern.end());
    }
    for (std::size_t i = 0; i < outro * channels; ++i) {
        samples.push_back(draw());
    }
    return samples;
}

PcmView View(const std::vector<std::int16_t>& samples, std::size_t channels, std::size_t rate) {
    return PcmView{samples.data(), samples.size() / channels, channels, rate};
}

TEST(RealFft, InverseOfForwardGivesTheInputTimesTheSize) {
    for (std::size_t size : {256u, 2048u, 65536u}) {
        RealFft fft(size);
        test::Noise noise(3);
        std::vector<float> in(size), out(size);
        for (float& v : in) {
            v = static_cast<float>(noise.Next());
        }
        std::vector<std::complex<float>> bins(fft.Bins());
        fft.Forward(in.data(), bins.data());
        fft.Inverse(bins.data(), out.data());
        for (std::size_t i = 0; i < size; i += size / 64) {
            EXPECT_NEAR(out[i] / static_cast<float>(size), in[i], 1e-4f) << size << " at " << i;
        }
    }
}

TEST(RealFft, PutsACosineInItsBin) {
    RealFft fft(1024);
    std::vector<float> in(1024);
    for (std::size_t n = 0; n < in.size(); ++n) {
        in[n] = static_cast<float>(std::cos(2.0 * 3.14159265358979 * 37.0 * n / 1024.0));
    }
    std::vector<std::complex<float>> bins(fft.Bins());
    fft.Forward(in.data(), bins.data());
    EXPECT_NEAR(std::abs(bins[37]), 512.0f, 0.01f);
    EXPECT_NEAR(std::abs(bins[36]), 0.0f, 0.01f);
}

struct LagCase {
    const char* label;
    std::size_t period;
    std::size_t channels;
    std::size_t low, high;  // the range searched, around the period
};

void PrintTo(const LagCase& c, std::ostream* os) {
    *os << c.label;
}

const LagCase kLags[] = {
    {"MonoCentred", 100000, 1, 100000 - 8192, 100000 + 8192},
    {"StereoNearTheLow", 123457, 2, 123457 - 5, 123457 + 16000},
    {"StereoNearTheHigh", 88201, 2, 88201 - 16000, 88201 + 3},
    {"OddExactRange", 77777, 1, 77777, 77777},
};

class LagRefinerLags : public ::testing::TestWithParam<LagCase> {};

TEST_P(LagRefinerLags, FindsThePeriodToTheSample) {
    const LagCase& c = GetParam();
    const auto samples = Repeated(30000, c.period, 3, 30000, c.channels, 0.3);
    const PcmView pcm = View(samples, c.channels, 44100);
    LagRefiner refiner(44100, 8192, 44100);
    EXPECT_EQ(refiner.Refine(pcm, 30000 + c.period / 3, c.low, c.high), c.period);
}

INSTANTIATE_TEST_SUITE_P(Noise, LagRefinerLags, ::testing::ValuesIn(kLags),
                         [](const auto& test) { return std::string(test.param.label); });

// MatchDb against figures worked out by hand.
TEST(MatchDb, MeasuresTheDifferenceAgainstTheMusic) {
    const std::size_t span = 1000;
    std::vector<std::int16_t> samples(4 * span, 0);
    for (std::size_t i = 0; i < span; ++i) {
        samples[i] = static_cast<std::int16_t>(i % 2 == 0 ? 1000 : -1000);       // energy 1e6 each
        samples[span + i] = samples[i];                                          // exact copy
        samples[2 * span + i] = static_cast<std::int16_t>(samples[i] * 9 / 10);  // 10 % off
    }
    const PcmView pcm = View(samples, 1, 44100);
    const double noise = span / 12.0;
    EXPECT_NEAR(MatchDb(pcm, 0, span, span), 10.0 * std::log10((1e6 * span + noise) / noise), 1e-9);
    EXPECT_NEAR(MatchDb(pcm, 2 * span, 0, span),
                10.0 * std::log10((1e6 * span + noise) / (1e4 * span + noise)), 1e-9);
    EXPECT_DOUBLE_EQ(MatchDb(pcm, 3 * span, 3 * span + span / 2, span / 2), 0.0);  // silences
}

struct StartCase {
    const char* label;
    std::size_t intro;
    std::size_t period;
    std::size_t channels;
    std::size_t refFromStart;  // where the search begins, after the repetition's start
};

void PrintTo(const StartCase& c, std::ostream* os) {
    *os << c.label;
}

const StartCase kStarts[] = {
    {"MonoShortIntro", 12345, 60000, 1, 30000},
    {"StereoLongWalk", 70001, 50000, 2, 90000},
    {"FromTheFirstSample", 0, 40000, 2, 20000},
};

class RepeatStarts : public ::testing::TestWithParam<StartCase> {};

// Exact repeats after noise start where the noise ends, to the sample.
TEST_P(RepeatStarts, FindsTheFirstRepeatedSample) {
    const StartCase& c = GetParam();
    const auto samples = Repeated(c.intro, c.period, 4, 20000, c.channels, 0.5);
    const PcmView pcm = View(samples, c.channels, 22050);
    EXPECT_EQ(RepeatStart(pcm, c.period, c.intro + c.refFromStart), c.intro);
    EXPECT_EQ(RepeatLength(pcm, c.period, c.intro, 100000), 100000u);
    EXPECT_FALSE(RepeatHolds(pcm, c.period, 3 * c.period + c.intro, 5000)) << "into the outro";
}

INSTANTIATE_TEST_SUITE_P(Noise, RepeatStarts, ::testing::ValuesIn(kStarts),
                         [](const auto& test) { return std::string(test.param.label); });

// A click every beat seconds: the onset strength's period.
TEST(EstimateBeat, FindsTheClickPeriod) {
    for (double beat : {0.6, 0.8}) {
        const std::size_t rate = 22050;
        std::vector<std::int16_t> samples(40 * rate, 0);
        test::Noise noise(5);
        for (double t = 0.0; t + 0.02 < 40.0; t += beat) {
            const auto at = static_cast<std::size_t>(t * rate);
            for (std::size_t i = 0; i < rate / 50; ++i) {
                samples[at + i] = static_cast<std::int16_t>(noise.Next() * 20000.0);
            }
        }
        const std::function<void(double)> silent;
        SearchWork work(silent, nullptr);
        FeatureTrack track;
        ASSERT_TRUE(ComputeFeatures(View(samples, 1, rate), work, track));
        EXPECT_NEAR(EstimateBeat(track) / static_cast<double>(rate), beat, 0.01) << beat;
    }
}

}  // namespace
}  // namespace fogbell::loops
