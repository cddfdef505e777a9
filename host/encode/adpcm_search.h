// The closed-loop search shared by the ADX and the XMD encoders.
//
// Both formats decode a four-bit value n per sample as
//     v = (n * S * 16384 + c1 * h1 - c2 * h2) in 32-bit two's-complement arithmetic that wraps,
//         shifted right by 14 with sign,
// where S is the frame's scale and h1, h2 the last two decoded values. ADX clamps v to 16 bits
// and the clamped value becomes h1; XMD outputs the low 16 bits of v and keeps the full v as h1.
// The search runs that exact arithmetic (the `Rule` tells which of the two), so the error it
// minimises is the error of what the decoder will really output, wrapping and clamping included.
//
// For one frame of one channel it tries a set of scales around the one that the prediction
// residual asks for, quantises each greedily (the better of the two nibbles that bracket the
// ideal value at every step), keeps the scale with the least squared error, and then refines the
// nibbles of the best scales with a beam search: a few decoder states are kept per step, each
// extended by its two bracketing nibbles, and the path of least total error wins.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace fogbell::encode {

// How hard the search works on every frame. The defaults are the encoders' normal setting.
struct SearchSettings {
    int scaleCount = 16;     // scales of the first round, around the one the residual asks for
    bool fineScales = true;  // a second round of close neighbours of the first round's best
    int exactScales = 4;     // where the vector lanes cannot serve: scales ranked by an open-loop
                             // estimate that are then quantised in the closed loop
    int beamWidth = 4;       // decoder states kept per step of the nibble search (1 = greedy only)
    int beamScales = 1;      // best scales that the beam search refines (1 to 4)
    // The beam runs on frames whose greedy error passes this multiple of the channel's running
    // mean frame error (0: on every frame): the loud frames, which make most of the noise.
    double beamShare = 2.0;
};

inline constexpr int kMaxScales = 24;
inline constexpr int kMaxBeamWidth = 8;
inline constexpr std::size_t kMaxFrameSamples = 32;

// Whether the decoder clamps each value to 16 bits and predicts from the clamped value (ADX), or
// outputs the low 16 bits and predicts from the full value (XMD).
enum class Rule { kClamp, kWrap };

// The prediction coefficients in 14-bit fixed point: prediction = c1 * h1 - c2 * h2.
struct Predictor {
    std::int32_t first = 0;
    std::int32_t second = 0;
};

// A channel's last two decoded values, as the decoder will hold them.
struct DecoderState {
    std::int32_t latest = 0;
    std::int32_t previous = 0;
};

// The result of one frame's search.
struct FrameChoice {
    std::uint32_t scale = 0;
    std::array<std::int8_t, kMaxFrameSamples> nibbles{};  // -8..7, one per sample
    DecoderState end;                                     // the decoder's state after the frame
    std::int64_t squaredError = 0;
};

// Finds the scale (0..maxScale) and nibbles for count samples (1..kMaxFrameSamples) of target,
// starting from the decoder state start, that minimise the squared difference between target and
// the decoded output. The first `weighted` samples count in the error (the rest pad a last
// frame and are only kept near their target, without weight in the choice of scale). The beam
// search runs only when the greedy error exceeds beamFloor: frames much quieter than the
// stream's noise add little to it.
FrameChoice SearchFrame(const std::int32_t* target, std::size_t count, std::size_t weighted,
                        DecoderState start, Predictor predictor, Rule rule, std::uint32_t maxScale,
                        const SearchSettings& settings, std::int64_t beamFloor = -1);

// Follows the frame errors of one channel to give the beam floor of its next frame: a share of
// their running mean.
class EffortGauge {
  public:
    explicit EffortGauge(double share) : share_(share) {}
    std::int64_t Floor() const { return static_cast<std::int64_t>(mean_ * share_); }
    void Add(std::int64_t frameError) {
        mean_ += (static_cast<double>(frameError) - mean_) * kWeight;
    }

  private:
    static constexpr double kWeight = 1.0 / 64;
    double share_;
    double mean_ = 0.0;
};

// The value the decoder outputs for nibble n with scale S from state h (and the state after it).
std::int32_t DecodeStep(std::int32_t nibble, std::uint32_t scale, DecoderState& state,
                        Predictor predictor, Rule rule);

}  // namespace fogbell::encode
