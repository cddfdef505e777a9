#include "host/loudness/loudness_meter.h"

#include <ebur128.h>

#include <cmath>

namespace fogbell::loudness {

constexpr double kDecibelsPerDecade = 20.0;

struct LoudnessMeter::State {
    ebur128_state* meter = nullptr;
};

LoudnessMeter::LoudnessMeter(std::uint32_t channels, std::uint32_t rate) : channels_(channels) {
    if (channels == 0 || rate == 0) {
        return;
    }
    ebur128_state* meter =
        ebur128_init(channels, rate, EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK);
    if (meter != nullptr) {
        state_ = new State{meter};
    }
}

LoudnessMeter::~LoudnessMeter() {
    if (state_ != nullptr) {
        ebur128_destroy(&state_->meter);
        delete state_;
    }
}

bool LoudnessMeter::Add(const std::int16_t* samples, std::size_t frames) {
    if (state_ == nullptr) {
        return false;
    }
    return frames == 0 ||
           ebur128_add_frames_short(state_->meter, samples, frames) == EBUR128_SUCCESS;
}

LoudnessFigures LoudnessMeter::Figures() const {
    LoudnessFigures figures;
    if (state_ == nullptr) {
        return figures;
    }
    double value = 0.0;
    // libebur128 gives -HUGE_VAL when every block was gated out.
    if (ebur128_loudness_global(state_->meter, &value) == EBUR128_SUCCESS && std::isfinite(value)) {
        figures.integrated = value;
    }
    if (ebur128_loudness_range(state_->meter, &value) == EBUR128_SUCCESS && std::isfinite(value)) {
        figures.range = value;
    }
    double peak = 0.0;
    for (std::uint32_t channel = 0; channel < channels_; ++channel) {
        if (ebur128_true_peak(state_->meter, channel, &value) == EBUR128_SUCCESS && value > peak) {
            peak = value;
        }
    }
    if (peak > 0.0) {
        figures.truePeak = DbFromLinear(peak);
    }
    return figures;
}

double DbFromLinear(double linear) {
    return kDecibelsPerDecade * std::log10(linear);
}

double LinearFromDb(double db) {
    return std::pow(10.0, db / kDecibelsPerDecade);
}

}  // namespace fogbell::loudness
