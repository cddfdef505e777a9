#include "adx_frame.h"

#include <cmath>
#include <numbers>

namespace fogbell::adx {
namespace {

// One step of the predictor: the wrapped 32-bit sum, shifted with sign, clamped to 16 bits.
inline std::int32_t PredictSample(std::int32_t nibble, std::uint32_t scale, const History& h,
                                  const Coefficients& c) {
    const std::uint32_t sum =
        static_cast<std::uint32_t>(nibble) * scale * (1u << kCoefficientBits) +
        static_cast<std::uint32_t>(c.first) * static_cast<std::uint32_t>(h.latest) -
        static_cast<std::uint32_t>(c.second) * static_cast<std::uint32_t>(h.previous);
    const std::int32_t v = static_cast<std::int32_t>(sum) >> kCoefficientBits;
    return v < -32768 ? -32768 : (v > 32767 ? 32767 : v);
}

// A four-bit two's-complement value (0..15 as stored) as -8..7.
inline std::int32_t SignedNibble(std::uint32_t nibble) {
    return static_cast<std::int32_t>(nibble ^ 8u) - 8;
}

}  // namespace

Coefficients CoefficientsFor(std::uint32_t sampleRate, std::uint16_t cutoff) {
    if ((sampleRate == kStandardRate && cutoff == kStandardCutoff) || cutoff == 0 ||
        sampleRate == 0 || std::uint64_t{cutoff} * 2 > sampleRate) {
        return kStandardCoefficients;
    }
    const double a = std::numbers::sqrt2 - std::cos(2.0 * std::numbers::pi * cutoff / sampleRate);
    const double b = std::numbers::sqrt2 - 1.0;
    const double c = (a - std::sqrt((a + b) * (a - b))) / b;
    const double unit = 1 << kCoefficientBits;
    return {static_cast<std::int32_t>(std::lround(2.0 * c * unit)),
            static_cast<std::int32_t>(std::lround(c * c * unit))};
}

void DecodeFrame(const std::uint8_t* frame, History& history, const Coefficients& coefficients,
                 std::int16_t* out, std::size_t stride) {
    const std::uint32_t scale = (std::uint32_t{frame[0]} << 8) | frame[1];
    const std::uint8_t* data = frame + 2;
    for (std::size_t i = 0; i < kSamplesPerFrame; ++i) {
        const std::uint8_t byte = data[i / 2];
        const std::uint32_t nibble = (i % 2 == 0) ? (byte >> 4) : (byte & 0x0Fu);
        const std::int32_t v = PredictSample(SignedNibble(nibble), scale, history, coefficients);
        out[i * stride] = static_cast<std::int16_t>(v);
        history.previous = history.latest;
        history.latest = v;
    }
}

}  // namespace fogbell::adx
