// The gain that brings a sound to a loudness asked for, held down so that its true peak stays at
// or below kTruePeakCeilingDbtp, and its application to 16-bit PCM.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/loudness/loudness_meter.h"

namespace fogbell::loudness {

struct GainPlan {
    double gainDb = 0.0;      // the gain to apply
    double askedDb = 0.0;     // the gain the loudness asked for would take
    double resultLufs = 0.0;  // the integrated loudness after the gain
    bool limited = false;     // the true peak held the gain below askedDb
};

// The gain from measured (a sound with an integrated loudness) to targetLufs, no higher than
// keeps its true peak at or below the ceiling. A sound without a true peak (silence) gets none.
GainPlan PlanGain(const LoudnessFigures& measured, double targetLufs,
                  double ceilingDbtp = kTruePeakCeilingDbtp);

// Samples scaled by a linear gain, rounded to the nearest and held within 16 bits (never wrapped).
class GainStage {
  public:
    explicit GainStage(double gainDb);
    bool Unity() const { return unity_; }
    // count samples (all channels) scaled; the result stays valid until the next call.
    const std::int16_t* Apply(const std::int16_t* samples, std::size_t count);

  private:
    double linear_;
    bool unity_;
    std::vector<std::int16_t> scaled_;
};

}  // namespace fogbell::loudness
