#include "host/loops/seam_match.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace fogbell::loops {
namespace {

constexpr double kRepeatDb = 12.0;            // a repeat's difference is at least this far below it
constexpr double kSilentLevel = 10.7;         // per sample and channel: -80 dBFS in 16-bit units
constexpr std::size_t kWindowsPerSecond = 4;  // a repetition is followed a window at a time
constexpr std::size_t kExactChecks = 3;       // correlation peaks checked exactly
constexpr std::size_t kCoarseRate = 11025;    // the correlation runs at about this rate
constexpr double kChangeFloor = 1e-3;         // energy per value that counts as none
constexpr double kExactLevel = 1.0;           // per channel, a difference no larger is exact
constexpr double kEdgeSeconds = 0.03;         // the ratio before and after a rise, this long
constexpr double kPlateauDropDb = 15.0;       // a repetition holds fully within this of its best
constexpr double kLookBackSeconds = 1.5;      // its start is sought this far before it holds
constexpr double kLookAheadSeconds = 0.25;    // to this far after it holds fully

std::size_t WindowOf(const PcmView& pcm) {
    return std::max<std::size_t>(1, pcm.rate / kWindowsPerSecond);
}

// The t in [from, to] where the music starts to match its repeat at lag: the greatest rise of
// the ratio of the music's energy to that of its difference from the repeat, from the
// kEdgeSeconds before t to the kEdgeSeconds after. Where material starts to repeat exactly the
// difference vanishes at once; under a reverb it drops to the difference of the earlier parts'
// tails, and the new material's first notes raise the music's energy at the same point.
std::size_t SteepestRise(const PcmView& pcm, std::size_t lag, std::size_t from, std::size_t to) {
    const auto edge = std::max<std::size_t>(
        1, static_cast<std::size_t>(kEdgeSeconds * static_cast<double>(pcm.rate)));
    const std::size_t first = from > edge ? from - edge : 0;
    const std::size_t last = std::min(pcm.frames - lag, to + edge);
    // Prefix sums over [first, first + i) of the repeat's energy and of the difference's.
    std::vector<double> signal(last - first + 1, 0.0);
    std::vector<double> difference(last - first + 1, 0.0);
    for (std::size_t t = first; t < last; ++t) {
        const std::int16_t* here = pcm.samples + t * pcm.channels;
        const std::int16_t* there = here + lag * pcm.channels;
        std::int64_t s = 0;
        std::int64_t e = 0;
        for (std::size_t c = 0; c < pcm.channels; ++c) {
            const std::int64_t d = there[c] - here[c];
            s += std::int64_t{there[c]} * there[c];
            e += d * d;
        }
        signal[t - first + 1] = signal[t - first] + static_cast<double>(s);
        difference[t - first + 1] = difference[t - first] + static_cast<double>(e);
    }
    // log(signal / difference) over [a, b), both floored at kChangeFloor per value.
    const auto ratio = [&](std::size_t a, std::size_t b) {
        const double floor = kChangeFloor * static_cast<double>((b - a) * pcm.channels);
        return std::log((signal[b] - signal[a] + floor) / (difference[b] - difference[a] + floor));
    };
    double bestRise = -std::numeric_limits<double>::infinity();
    std::size_t best = from;
    for (std::size_t t = std::max(from, first + 1); t <= to && t < last; ++t) {
        const std::size_t i = t - first;
        const std::size_t before = std::min(edge, i);
        const std::size_t after = std::min(edge, last - t);
        const double rise = ratio(i, i + after) - ratio(i - before, i);
        if (rise > bestRise) {
            bestRise = rise;
            best = t;
        }
    }
    // Where the repeat is exact (but for 16-bit rounding) just after that point, the start is the
    // first sample of the exact stretch: the ratio alone places it only within a few samples.
    const auto exact = [&](std::size_t t) {
        const std::size_t i = t - first;
        return difference[i + 1] - difference[i] <= kExactLevel * static_cast<double>(pcm.channels);
    };
    const std::size_t probe = std::min(best + edge, last - 1);
    std::size_t run = probe + 1;
    while (run > first && exact(run - 1)) {
        --run;
    }
    return probe + 1 - run >= edge / 2 ? run : best;
}

// The energies of values 16-bit values from there (signal) and of their differences from those
// from here (difference), in 16-bit units, exactly.
struct Energies {
    double signal = 0.0;
    double difference = 0.0;
};

Energies MeasureEnergies(const std::int16_t* here, const std::int16_t* there, std::size_t values) {
    std::int64_t signal = 0;
    std::int64_t difference = 0;
    for (std::size_t i = 0; i < values; ++i) {
        const std::int64_t s = there[i];
        const std::int64_t d = s - here[i];
        signal += s * s;
        difference += d * d;
    }
    return {static_cast<double>(signal), static_cast<double>(difference)};
}

// Whether the difference between the span samples from t and those lag later is at least db
// below the latter (or both are nearly silent).
bool HoldsWithin(const PcmView& pcm, std::size_t lag, std::size_t t, std::size_t span, double db) {
    const std::int16_t* here = pcm.samples + t * pcm.channels;
    const std::size_t values = span * pcm.channels;
    const Energies e = MeasureEnergies(here, here + lag * pcm.channels, values);
    const double allowed =
        e.signal * std::pow(10.0, -db / 10.0) + kSilentLevel * static_cast<double>(values);
    return e.difference <= allowed;
}

// The earliest t such that the repetition at lag holds within db from t to ref, a window at a
// time (0 when it holds from the track's start).
std::size_t WalkBack(const PcmView& pcm, std::size_t lag, std::size_t ref, double db) {
    const std::size_t window = WindowOf(pcm);
    std::size_t t = ref;
    while (t >= window && HoldsWithin(pcm, lag, t - window, window, db)) {
        t -= window;
    }
    if (t < window && t > 0 && HoldsWithin(pcm, lag, 0, t, db)) {
        return 0;
    }
    return t;
}

}  // namespace

double MatchDb(const PcmView& pcm, std::size_t a, std::size_t b, std::size_t span) {
    const std::size_t values = span * pcm.channels;
    const Energies e =
        MeasureEnergies(pcm.samples + a * pcm.channels, pcm.samples + b * pcm.channels, values);
    const double noise = static_cast<double>(values) / 12.0;
    return 10.0 * std::log10((e.signal + noise) / (e.difference + noise));
}

bool RepeatHolds(const PcmView& pcm, std::size_t lag, std::size_t t, std::size_t span) {
    return HoldsWithin(pcm, lag, t, span, kRepeatDb);
}

std::size_t RepeatStart(const PcmView& pcm, std::size_t lag, std::size_t ref) {
    const std::size_t window = WindowOf(pcm);
    const std::size_t end = pcm.frames - lag;  // the last t that has a repeat, plus one
    if (ref + window > end || !RepeatHolds(pcm, lag, ref, window)) {
        return ref;
    }
    // Where the repetition holds nearly as well as at ref, and from there where it holds at all
    // (every window that holds the first way holds the second).
    const double plateau = MatchDb(pcm, ref, ref + lag, std::min(pcm.rate, end - ref));
    const std::size_t strict =
        WalkBack(pcm, lag, ref, std::max(kRepeatDb, plateau - kPlateauDropDb));
    if (strict == 0) {
        return 0;
    }
    const std::size_t loose = WalkBack(pcm, lag, strict, kRepeatDb);
    const auto rate = static_cast<double>(pcm.rate);
    const auto back = static_cast<std::size_t>(kLookBackSeconds * rate);
    const std::size_t from = loose > back ? loose - back : 0;
    const std::size_t to =
        std::min(end - 1, strict + static_cast<std::size_t>(kLookAheadSeconds * rate));
    return SteepestRise(pcm, lag, from, to);
}

std::size_t RepeatLength(const PcmView& pcm, std::size_t lag, std::size_t start,
                         std::size_t limit) {
    const std::size_t window = WindowOf(pcm);
    std::size_t length = 0;
    while (length < limit && start + length + window + lag <= pcm.frames &&
           RepeatHolds(pcm, lag, start + length, window)) {
        length += window;
    }
    return std::min(length, limit);
}

LagRefiner::LagRefiner(std::size_t span, std::size_t reach, std::size_t rate)
    : span_(span),
      reach_(reach),
      step_(std::max<std::size_t>(1, rate / kCoarseRate)),
      fft_(FftSizeAtLeast((span + 2 * reach) / step_ + 2)),
      near_(span),
      far_(span + 2 * reach),
      nearCoarse_(fft_.Size()),
      farCoarse_(fft_.Size()),
      correlation_(fft_.Size()),
      nearBins_(fft_.Bins()),
      farBins_(fft_.Bins()) {}

std::size_t LagRefiner::Refine(const PcmView& pcm, std::size_t ref, std::size_t low,
                               std::size_t high) {
    high = std::min(high, low + 2 * reach_);
    const std::size_t offsets = high - low + 1;
    MixMono(pcm, ref, span_, near_.data());
    MixMono(pcm, ref + low, span_ + offsets - 1, far_.data());

    // Both at the coarse rate (means of step_ samples), zero-padded for the FFT.
    const std::size_t nearCount = span_ / step_;
    const std::size_t farCount = (span_ + offsets - 1) / step_;
    std::fill(nearCoarse_.begin(), nearCoarse_.end(), 0.0f);
    std::fill(farCoarse_.begin(), farCoarse_.end(), 0.0f);
    const float mean = 1.0f / static_cast<float>(step_);
    for (std::size_t n = 0; n < farCount; ++n) {
        float nearSum = 0.0f;
        float farSum = 0.0f;
        for (std::size_t i = n * step_; i < (n + 1) * step_; ++i) {
            nearSum += n < nearCount ? near_[i] : 0.0f;
            farSum += far_[i];
        }
        nearCoarse_[n] = nearSum * mean;
        farCoarse_[n] = farSum * mean;
    }

    // correlation[k] = sum over n of nearCoarse[n] * farCoarse[n + k], without wrapping for the
    // coarse offsets k that keep the near span inside the far one.
    const std::size_t coarseOffsets = farCount - nearCount + 1;
    fft_.Forward(nearCoarse_.data(), nearBins_.data());
    fft_.Forward(farCoarse_.data(), farBins_.data());
    for (std::size_t k = 0; k < nearBins_.size(); ++k) {
        farBins_[k] *= std::conj(nearBins_[k]);
    }
    fft_.Inverse(farBins_.data(), correlation_.data());
    const double scale = 1.0 / static_cast<double>(fft_.Size());

    // Squared difference up to the constant |near|^2: |far_k|^2 - 2 correlation[k].
    std::vector<double> distance(coarseOffsets);
    double farEnergy = 0.0;
    for (std::size_t n = 0; n < nearCount; ++n) {
        farEnergy += static_cast<double>(farCoarse_[n]) * static_cast<double>(farCoarse_[n]);
    }
    for (std::size_t k = 0; k < coarseOffsets; ++k) {
        if (k > 0) {
            const auto gone = static_cast<double>(farCoarse_[k - 1]);
            const auto come = static_cast<double>(farCoarse_[k + nearCount - 1]);
            farEnergy += come * come - gone * gone;
        }
        distance[k] = farEnergy - 2.0 * scale * static_cast<double>(correlation_[k]);
    }
    // The coarse local minima, least first.
    std::vector<std::pair<double, std::size_t>> scored;
    for (std::size_t k = 0; k < coarseOffsets; ++k) {
        if ((k == 0 || distance[k] <= distance[k - 1]) &&
            (k + 1 == coarseOffsets || distance[k] <= distance[k + 1])) {
            scored.emplace_back(distance[k], k);
        }
    }
    const std::size_t checks = std::min(kExactChecks, scored.size());
    std::partial_sort(scored.begin(), scored.begin() + static_cast<std::ptrdiff_t>(checks),
                      scored.end());

    // Every sample offset within a coarse step of those, measured exactly.
    double best = std::numeric_limits<double>::infinity();
    std::size_t bestOffset = 0;
    for (std::size_t c = 0; c < checks; ++c) {
        const std::size_t centre = scored[c].second * step_;
        const std::size_t from = centre > step_ ? centre - step_ : 0;
        const std::size_t to = std::min(offsets - 1, centre + step_);
        for (std::size_t k = from; k <= to; ++k) {
            double sum = 0.0;
            for (std::size_t t = 0; t < span_; ++t) {
                const double d = static_cast<double>(far_[t + k]) - static_cast<double>(near_[t]);
                sum += d * d;
            }
            if (sum < best) {
                best = sum;
                bestOffset = k;
            }
        }
    }
    return low + bestOffset;
}

}  // namespace fogbell::loops
