// Test sounds for the encoders, made from formulas at test time, and the signal-to-noise ratio
// that judges a round trip.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fogbell::test {

enum class Signal {
    kChord,    // three tones with a slow tremolo and a little noise: music-like
    kVoice,    // a pulse train through two resonances, with syllable-like bursts and pauses
    kSweep,    // a tone gliding from 100 Hz to a third of the rate
    kSilence,  // all zero
    kSquare,   // a full-scale square wave, -32768 and 32767
};

std::string SignalName(Signal signal);

// frames sample frames of channels interleaved channels at rate (the right channel of a stereo
// sound is a slightly different take, so the channels are not equal).
std::vector<std::int16_t> MakeSignal(Signal signal, std::uint32_t rate, std::uint32_t channels,
                                     std::size_t frames);

// 10 log10(sum of reference^2 / sum of (reference - decoded)^2) over the reference's length
// (decoded samples past it are ignored; missing ones count as 0). Infinity for an exact match.
double SnrDb(const std::vector<std::int16_t>& reference, const std::vector<std::int16_t>& decoded);

// The little-endian bytes of samples (the data of a WAVE file).
std::vector<std::uint8_t> PcmBytes(const std::vector<std::int16_t>& samples);

}  // namespace fogbell::test
