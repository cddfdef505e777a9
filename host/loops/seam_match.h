// Comparing the music with itself one lag later, on the samples: the lag to the sample, where a
// repetition starts and how long it holds, and the seam figure.
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

#include "host/loops/pcm_view.h"
#include "host/loops/real_fft.h"

namespace fogbell::loops {

// 10 log10((E_b + eps) / (E_d + eps)) in dB, where E_b is the energy of the span samples from b
// (all channels, in 16-bit units) and E_d that of their difference from the span samples from a;
// eps = channels * span / 12, the energy of 16-bit rounding noise, so an exact match scores the
// music's level above that noise and silence against silence scores 0 dB. Both spans lie in pcm.
double MatchDb(const PcmView& pcm, std::size_t a, std::size_t b, std::size_t span);

// Finds, to the sample, the lag at which the music repeats itself around a point.
class LagRefiner {
  public:
    // For comparisons of span samples at lags up to 2 * reach apart, of music at rate Hz.
    LagRefiner(std::size_t span, std::size_t reach, std::size_t rate);

    // The lag in [low, min(high, low + 2 * reach)] at which the span samples from ref + lag
    // differ least (in squared difference, on the mono mix) from the span samples from ref: an
    // FFT cross-correlation of both at about 11 kHz (means of whole runs of samples), then every
    // lag within one such run of its three best offsets measured exactly. ref + high + span must
    // not pass the end of pcm.
    std::size_t Refine(const PcmView& pcm, std::size_t ref, std::size_t low, std::size_t high);

  private:
    std::size_t span_;
    std::size_t reach_;
    std::size_t step_;  // samples per value of the coarse rate
    RealFft fft_;
    std::vector<float> near_, far_;              // the mono mix at the full rate
    std::vector<float> nearCoarse_, farCoarse_;  // at the coarse rate, zero-padded
    std::vector<float> correlation_;
    std::vector<std::complex<float>> nearBins_, farBins_;
};

// Whether the music repeats at lag over the span samples from t: their difference from the
// music lag later is at least kRepeatDb below it (or both are nearly silent).
bool RepeatHolds(const PcmView& pcm, std::size_t lag, std::size_t t, std::size_t span);

// The first sample of the repetition at lag that holds at ref. Walking back from ref a window at
// a time, it finds where the repetition holds at all (the difference 12 dB below the music) and
// where it holds nearly as well as at ref (within 15 dB of its figure over the second from ref);
// between 1.5 s before the first and a quarter second after the second, the start is the sample
// where the ratio of the music to its difference from the repeat rises the most (over 30 ms
// before against 30 ms after), or, where the repeat is exact but for 16-bit rounding just after
// that sample, the first sample of that exact stretch. 0 when the repetition holds fully from the
// track's start; ref itself if it does not hold at ref.
std::size_t RepeatStart(const PcmView& pcm, std::size_t lag, std::size_t ref);

// How many samples from start on the repetition at lag holds (in whole windows), up to limit.
std::size_t RepeatLength(const PcmView& pcm, std::size_t lag, std::size_t start, std::size_t limit);

}  // namespace fogbell::loops
