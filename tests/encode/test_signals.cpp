#include "test_signals.h"

#include <cmath>
#include <limits>
#include <numbers>

#include "noise.h"

namespace fogbell::test {
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

std::int16_t ToSample(double v) {
    const double clamped = std::fmax(-32768.0, std::fmin(32767.0, std::round(v)));
    return static_cast<std::int16_t>(clamped);
}

double Chord(double t, double detune, Noise& noise) {
    const double tremolo = 0.75 + 0.25 * std::sin(kTwoPi * 3.0 * t);
    return 6000.0 * tremolo *
               (std::sin(kTwoPi * 220.0 * detune * t) + 0.7 * std::sin(kTwoPi * 277.2 * t) +
                0.5 * std::sin(kTwoPi * 329.6 * detune * t)) +
           300.0 * noise.Next();
}

// A glottal-like pulse train (falling saw) filtered by two resonators, gated into syllables.
class Voice {
  public:
    Voice(std::uint32_t rate, double pitch) : rate_(rate), pitch_(pitch) {
        SetResonator(700.0, 90.0, a1_, a2_);
        SetResonator(1200.0, 110.0, b1_, b2_);
    }
    double Next(double t, Noise& noise) {
        phase_ += pitch_ * (1.0 + 0.1 * std::sin(kTwoPi * 2.0 * t)) / rate_;
        phase_ -= std::floor(phase_);
        const double excitation = (1.0 - 2.0 * phase_) + 0.05 * noise.Next();
        const double y = excitation + a1_ * ya1_ - a2_ * ya2_;
        ya2_ = ya1_;
        ya1_ = y;
        const double z = y + b1_ * yb1_ - b2_ * yb2_;
        yb2_ = yb1_;
        yb1_ = z;
        const double syllable = std::fmod(t, 0.45);
        const double gate = syllable < 0.3 ? std::sin(std::numbers::pi * syllable / 0.3) : 0.0;
        return z * gate;
    }

  private:
    void SetResonator(double frequency, double bandwidth, double& c1, double& c2) const {
        const double r = std::exp(-std::numbers::pi * bandwidth / rate_);
        c1 = 2.0 * r * std::cos(kTwoPi * frequency / rate_);
        c2 = r * r;
    }
    double rate_;
    double pitch_;
    double phase_ = 0.0;
    double a1_ = 0, a2_ = 0, b1_ = 0, b2_ = 0;
    double ya1_ = 0, ya2_ = 0, yb1_ = 0, yb2_ = 0;
};

}  // namespace

std::string SignalName(Signal signal) {
    switch (signal) {
        case Signal::kChord:
            return "Chord";
        case Signal::kVoice:
            return "Voice";
        case Signal::kSweep:
            return "Sweep";
        case Signal::kSilence:
            return "Silence";
        case Signal::kSquare:
            break;
    }
    return "Square";
}

std::vector<std::int16_t> MakeSignal(Signal signal, std::uint32_t rate, std::uint32_t channels,
                                     std::size_t frames) {
    std::vector<double> values(frames * channels);
    for (std::uint32_t c = 0; c < channels; ++c) {
        Noise noise(1234 + c);
        Voice voice(rate, 110.0 + 7.0 * c);
        double sweepPhase = 0.0;
        for (std::size_t i = 0; i < frames; ++i) {
            const double t = static_cast<double>(i) / rate;
            double v = 0.0;
            switch (signal) {
                case Signal::kChord:
                    v = Chord(t, 1.0 + 0.002 * c, noise);
                    break;
                case Signal::kVoice:
                    v = voice.Next(t, noise);
                    break;
                case Signal::kSweep: {
                    const double duration = static_cast<double>(frames) / rate;
                    const double f = 100.0 + (rate / 3.0 - 100.0) * t / duration;
                    sweepPhase += f / rate;
                    v = 20000.0 * std::sin(kTwoPi * sweepPhase + c);
                    break;
                }
                case Signal::kSilence:
                    break;
                case Signal::kSquare: {
                    const double period = rate / (441.0 + 10.0 * c);
                    v = std::fmod(static_cast<double>(i), period) < period / 2 ? 32767.0 : -32768.0;
                    break;
                }
            }
            values[i * channels + c] = v;
        }
    }
    // The voice peaks at about -2 dB of full scale, as a levelled recording would.
    double gain = 1.0;
    if (signal == Signal::kVoice) {
        double peak = 1.0;
        for (double v : values) {
            peak = std::fmax(peak, std::fabs(v));
        }
        gain = 26000.0 / peak;
    }
    std::vector<std::int16_t> out(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        out[i] = ToSample(values[i] * gain);
    }
    return out;
}

double SnrDb(const std::vector<std::int16_t>& reference, const std::vector<std::int16_t>& decoded) {
    double signal = 0.0;
    double noise = 0.0;
    for (std::size_t i = 0; i < reference.size(); ++i) {
        const double r = reference[i];
        const double d = i < decoded.size() ? decoded[i] : 0.0;
        signal += r * r;
        noise += (r - d) * (r - d);
    }
    if (noise == 0.0) {
        return std::numeric_limits<double>::infinity();
    }
    return 10.0 * std::log10(signal / noise);
}

std::vector<std::uint8_t> PcmBytes(const std::vector<std::int16_t>& samples) {
    std::vector<std::uint8_t> bytes(samples.size() * 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto u = static_cast<std::uint16_t>(samples[i]);
        bytes[2 * i] = static_cast<std::uint8_t>(u & 0xFF);
        bytes[2 * i + 1] = static_cast<std::uint8_t>(u >> 8);
    }
    return bytes;
}

}  // namespace fogbell::test
