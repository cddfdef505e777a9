// The loudness room on signals whose EBU R 128 figures are known, and the gain limited by the
// true peak.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "host/loudness/loudness_gain.h"
#include "host/loudness/loudness_meter.h"

namespace fogbell::loudness {
namespace {

constexpr std::uint32_t kRate = 48000;

// seconds of a stereo sine of frequency hz at levelDbfs (peak, relative to full scale), the same
// in both channels.
std::vector<std::int16_t> Sine(double hz, double levelDbfs, double seconds) {
    const auto frames = static_cast<std::size_t>(seconds * kRate);
    const double amplitude = 32767.0 * LinearFromDb(levelDbfs);
    std::vector<std::int16_t> samples(frames * 2);
    for (std::size_t i = 0; i < frames; ++i) {
        const double x = amplitude * std::sin(2.0 * std::numbers::pi * hz * double(i) / kRate);
        samples[2 * i] = samples[2 * i + 1] = static_cast<std::int16_t>(std::lround(x));
    }
    return samples;
}

LoudnessFigures Measure(const std::vector<std::int16_t>& samples) {
    LoudnessMeter meter(2, kRate);
    EXPECT_TRUE(meter.Ok());
    EXPECT_TRUE(meter.Add(samples.data(), samples.size() / 2));
    return meter.Figures();
}

TEST(Loudness, KnownSignals) {
    struct Case {
        double hz, levelDbfs, seconds;
        double integrated, truePeak;  // LUFS, dBTP
    };
    // A 1 kHz sine's loudness is its level (the K filter's gain there is what the -0.691 offset
    // takes back); its true peak is its level too.
    const Case cases[] = {{1000, -23.0, 20, -23.0, -23.0},
                          {1000, -33.0, 20, -33.0, -33.0},
                          {1000, -3.0, 10, -3.0, -3.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.levelDbfs);
        const LoudnessFigures f = Measure(Sine(c.hz, c.levelDbfs, c.seconds));
        ASSERT_TRUE(f.integrated && f.truePeak);
        EXPECT_NEAR(*f.integrated, c.integrated, 0.1);
        EXPECT_NEAR(*f.truePeak, c.truePeak, 0.1);
        EXPECT_NEAR(f.range, 0.0, 0.1);
    }
    // Digital silence has neither loudness nor peak.
    const LoudnessFigures silent = Measure(std::vector<std::int16_t>(kRate * 2 * 5, 0));
    EXPECT_FALSE(silent.integrated);
    EXPECT_FALSE(silent.truePeak);
}

TEST(Loudness, GainIsHeldByTheTruePeak) {
    struct Case {
        double target;
        double gain;
        bool limited;
    };
    // A sound at -30 LUFS whose true peak is -6 dBTP: 5 dB of headroom below -1 dBTP.
    const LoudnessFigures sound{-30.0, 4.0, -6.0};
    const Case cases[] = {{-33.0, -3.0, false}, {-26.0, 4.0, false}, {-20.0, 5.0, true}};
    for (const Case& c : cases) {
        const GainPlan plan = PlanGain(sound, c.target);
        EXPECT_NEAR(plan.gainDb, c.gain, 1e-9) << c.target;
        EXPECT_EQ(plan.limited, c.limited) << c.target;
        EXPECT_NEAR(plan.resultLufs, -30.0 + c.gain, 1e-9) << c.target;
    }
    EXPECT_EQ(PlanGain(LoudnessFigures{}, -23.0).gainDb, 0.0);  // nothing to measure: no gain

    // Applied to a sine: the loudness moves by the gain, the true peak stays at the ceiling.
    const std::vector<std::int16_t> sine = Sine(997, -12.0, 10);
    const GainPlan plan = PlanGain(Measure(sine), 0.0);
    ASSERT_TRUE(plan.limited);
    GainStage stage(plan.gainDb);
    const std::int16_t* louder = stage.Apply(sine.data(), sine.size());
    const LoudnessFigures after = Measure(std::vector<std::int16_t>(louder, louder + sine.size()));
    EXPECT_NEAR(*after.integrated, plan.resultLufs, 0.1);
    EXPECT_LE(*after.truePeak, kTruePeakCeilingDbtp + 0.05);

    // Far too much gain saturates rather than wraps.
    const std::int16_t loud[] = {30000, -30000, 100};
    GainStage twice(20.0);
    const std::int16_t* out = twice.Apply(loud, 3);
    EXPECT_EQ(out[0], 32767);
    EXPECT_EQ(out[1], -32768);
    EXPECT_EQ(out[2], 1000);
}

}  // namespace
}  // namespace fogbell::loudness
