#include "host/loudness/loudness_gain.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace fogbell::loudness {

GainPlan PlanGain(const LoudnessFigures& measured, double targetLufs, double ceilingDbtp) {
    GainPlan plan;
    if (!measured.integrated || !measured.truePeak) {
        return plan;
    }
    plan.askedDb = targetLufs - *measured.integrated;
    const double headroom = ceilingDbtp - *measured.truePeak;
    plan.gainDb = plan.askedDb;
    if (plan.gainDb > headroom) {
        plan.gainDb = headroom;
        plan.limited = true;
    }
    plan.resultLufs = *measured.integrated + plan.gainDb;
    return plan;
}

GainStage::GainStage(double gainDb) : linear_(LinearFromDb(gainDb)), unity_(gainDb == 0.0) {}

const std::int16_t* GainStage::Apply(const std::int16_t* samples, std::size_t count) {
    if (unity_) {
        return samples;
    }
    constexpr double kLow = std::numeric_limits<std::int16_t>::min();
    constexpr double kHigh = std::numeric_limits<std::int16_t>::max();
    scaled_.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double value = std::nearbyint(samples[i] * linear_);
        scaled_[i] = static_cast<std::int16_t>(std::clamp(value, kLow, kHigh));
    }
    return scaled_.data();
}

}  // namespace fogbell::loudness
