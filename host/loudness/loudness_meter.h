// Loudness of 16-bit PCM by EBU R 128 (through libebur128): integrated loudness in LUFS, loudness
// range in LU and true peak in dBTP. Channels are weighted as the recommendation does for their
// count: mono and stereo channels count once each (a mono file is not taken as dual mono).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace fogbell::loudness {

// The highest true peak a gain may lead to.
inline constexpr double kTruePeakCeilingDbtp = -1.0;

struct LoudnessFigures {
    // None for a sound too short or too quiet to have one (all gating blocks below -70 LUFS).
    std::optional<double> integrated;  // LUFS
    double range = 0.0;                // LU
    // None for digital silence.
    std::optional<double> truePeak;  // dBTP
};

// A meter for one sound of a fixed channel count and rate.
class LoudnessMeter {
  public:
    // channels from 1 up; a meter that cannot be made (no memory, bad format) is not Ok.
    LoudnessMeter(std::uint32_t channels, std::uint32_t rate);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    bool Ok() const { return state_ != nullptr; }
    // Adds frames interleaved frames; false when the meter is not Ok or refused them.
    bool Add(const std::int16_t* samples, std::size_t frames);
    // The figures of everything added so far.
    LoudnessFigures Figures() const;

  private:
    struct State;
    State* state_ = nullptr;
    std::uint32_t channels_ = 0;
};

// Decibels of a linear amplitude ratio, and back.
double DbFromLinear(double linear);
double LinearFromDb(double db);

}  // namespace fogbell::loudness
