#include "host/loops/frame_features.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>

#include "host/loops/real_fft.h"

namespace fogbell::loops {
namespace {

constexpr std::size_t kAnalysisRate = 22050;  // Hz: the rate is divided down to no less
constexpr double kFrameSeconds = 0.04;  // analysis frames: the power of two at least this long
constexpr std::size_t kMinFrameSize = 256;
constexpr std::size_t kFramesPerCoarse = 4;
constexpr std::size_t kProgressEvery = 256;  // analysis frames between reports
constexpr double kShortestBeatSeconds = 0.25;
constexpr double kLongestBeatSeconds = 1.0;

// Feature layout of a coarse frame, and each group's weight in the similarity.
constexpr std::size_t kBands = 24;
constexpr std::size_t kPitchClasses = 12;
constexpr std::size_t kFluxSlots = 4;
constexpr std::size_t kBandDim = 0;
constexpr std::size_t kChromaDim = kBandDim + kBands;
constexpr std::size_t kFluxDim = kChromaDim + kPitchClasses;
constexpr std::size_t kLevelDim = kFluxDim + kFluxSlots;
constexpr std::size_t kUsedDims = kLevelDim + 1;
static_assert(kUsedDims == kFeatureDims);
constexpr float kBandWeight = 1.0f;
constexpr float kChromaWeight = 1.0f;
constexpr float kFluxWeight = 0.7f;
constexpr float kLevelWeight = 0.5f;

constexpr double kBandLowHz = 50.0;
constexpr double kBandHighHz = 12000.0;
constexpr double kChromaLowHz = 300.0;
constexpr double kChromaHighHz = 5000.0;
constexpr double kTuningHz = 440.0;
// Powers below this part of a full-scale sine's peak bin count as silence (about -100 dB).
constexpr double kPowerFloorRatio = 1e-10;
// A dimension that varies less than this over the track is taken as constant.
constexpr double kMinDeviation = 1e-6;

// Which band and which pitch class each FFT bin feeds (-1: none).
struct BinMap {
    std::vector<int> band;
    std::vector<int> pitchClass;
};

BinMap MapBins(std::size_t size, std::size_t rate) {
    BinMap map;
    const std::size_t bins = size / 2 + 1;
    map.band.assign(bins, -1);
    map.pitchClass.assign(bins, -1);
    const double nyquist = static_cast<double>(rate) / 2.0;
    const double bandTop = std::min(kBandHighHz, nyquist);
    const double chromaTop = std::min(kChromaHighHz, nyquist);
    const double bandSpan = std::log(kBandHighHz / kBandLowHz);
    for (std::size_t k = 1; k < bins; ++k) {
        const double hz =
            static_cast<double>(k) * static_cast<double>(rate) / static_cast<double>(size);
        if (hz >= kBandLowHz && hz < bandTop) {
            const auto band = static_cast<int>(static_cast<double>(kBands) *
                                               std::log(hz / kBandLowHz) / bandSpan);
            map.band[k] = std::min(band, static_cast<int>(kBands) - 1);
        }
        if (hz >= kChromaLowHz && hz < chromaTop) {
            const long semitone = std::lround(12.0 * std::log2(hz / kTuningHz));
            map.pitchClass[k] = static_cast<int>(((semitone % 12) + 12) % 12);
        }
    }
    return map;
}

// One coarse frame's sums while its analysis frames come in.
struct CoarseSums {
    std::array<double, kBands> bandLog{};
    std::array<double, kPitchClasses> chroma{};
    std::array<double, kFluxSlots> flux{};
    std::array<std::size_t, kFluxSlots> fluxFrames{};
    double level = 0.0;
    std::size_t frames = 0;
};

// The raw (unstandardised) feature vector of a coarse frame.
void FinishCoarse(const CoarseSums& sums, float* raw) {
    const double frames = static_cast<double>(std::max<std::size_t>(sums.frames, 1));
    double meanBand = 0.0;
    for (double v : sums.bandLog) {
        meanBand += v / frames;
    }
    meanBand /= static_cast<double>(kBands);
    for (std::size_t b = 0; b < kBands; ++b) {
        raw[kBandDim + b] = static_cast<float>(sums.bandLog[b] / frames - meanBand);
    }
    double chromaTotal = 0.0;
    for (double v : sums.chroma) {
        chromaTotal += v;
    }
    for (std::size_t c = 0; c < kPitchClasses; ++c) {
        raw[kChromaDim + c] = static_cast<float>(chromaTotal > 0.0 ? sums.chroma[c] / chromaTotal
                                                                   : 1.0 / kPitchClasses);
    }
    for (std::size_t s = 0; s < kFluxSlots; ++s) {
        const auto n = static_cast<double>(std::max<std::size_t>(sums.fluxFrames[s], 1));
        raw[kFluxDim + s] = static_cast<float>(sums.flux[s] / n);
    }
    raw[kLevelDim] = static_cast<float>(sums.level / frames);
}

// Standardises each used dimension of raw (count rows of kUsedDims) over the track, weights it
// and writes it dimension-major into track.values, then scales each frame to unit length.
void Standardise(const std::vector<float>& raw, FeatureTrack& track) {
    const std::size_t count = track.count;
    track.values.assign(kFeatureDims * count, 0.0f);
    for (std::size_t d = 0; d < kUsedDims; ++d) {
        double sum = 0.0;
        double squares = 0.0;
        for (std::size_t i = 0; i < count; ++i) {
            const auto v = static_cast<double>(raw[i * kUsedDims + d]);
            sum += v;
            squares += v * v;
        }
        const double mean = sum / static_cast<double>(count);
        const double variance = std::max(0.0, squares / static_cast<double>(count) - mean * mean);
        const double deviation = std::sqrt(variance);
        if (deviation < kMinDeviation) {
            continue;  // constant over the track: says nothing about where the music is
        }
        float weight = kLevelWeight;
        if (d < kChromaDim) {
            weight = kBandWeight / std::sqrt(static_cast<float>(kBands));
        } else if (d < kFluxDim) {
            weight = kChromaWeight / std::sqrt(static_cast<float>(kPitchClasses));
        } else if (d < kLevelDim) {
            weight = kFluxWeight / std::sqrt(static_cast<float>(kFluxSlots));
        }
        float* column = track.values.data() + d * count;
        for (std::size_t i = 0; i < count; ++i) {
            column[i] = static_cast<float>((static_cast<double>(raw[i * kUsedDims + d]) - mean) /
                                           deviation) *
                        weight;
        }
    }
    std::vector<float> norms(count, 0.0f);
    for (std::size_t d = 0; d < kUsedDims; ++d) {
        const float* column = track.values.data() + d * count;
        for (std::size_t i = 0; i < count; ++i) {
            norms[i] += column[i] * column[i];
        }
    }
    for (float& n : norms) {
        n = n > 0.0f ? 1.0f / std::sqrt(n) : 0.0f;
    }
    for (std::size_t d = 0; d < kUsedDims; ++d) {
        float* column = track.values.data() + d * count;
        for (std::size_t i = 0; i < count; ++i) {
            column[i] *= norms[i];
        }
    }
}

}  // namespace

bool ComputeFeatures(const PcmView& pcm, SearchWork& work, FeatureTrack& track) {
    // The analysis runs at the rate divided by step (means of step samples): about 22 kHz
    // or more, which holds every band.
    const std::size_t step = std::max<std::size_t>(1, pcm.rate / kAnalysisRate);
    const std::size_t rate = pcm.rate / step;
    const auto wanted =
        static_cast<std::size_t>(std::ceil(kFrameSeconds * static_cast<double>(rate)));
    const std::size_t size = FftSizeAtLeast(std::max(wanted, kMinFrameSize));
    const std::size_t hop = size / 2;  // at the analysis rate
    const std::size_t hopSamples = hop * step;
    const std::size_t analysisFrames =
        std::max<std::size_t>(1, (pcm.frames + hopSamples - 1) / hopSamples);
    const std::size_t group =
        std::max(kFramesPerCoarse, (analysisFrames + kMaxCoarseFrames - 1) / kMaxCoarseFrames);
    track.hop = group * hopSamples;
    track.onsetHop = hopSamples;
    track.rate = pcm.rate;
    track.onsets.clear();
    track.onsets.reserve(analysisFrames);
    track.count = (analysisFrames + group - 1) / group;

    RealFft fft(size);
    const BinMap map = MapBins(size, rate);
    std::vector<float> window(size);
    for (std::size_t n = 0; n < size; ++n) {
        window[n] = static_cast<float>(
            0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(n) /
                                 static_cast<double>(size)));
    }
    const double peakBin = static_cast<double>(size) / 4.0;
    const double floor = kPowerFloorRatio * peakBin * peakBin;

    std::vector<float> mix(size);
    std::vector<float> full(hopSamples);  // one hop at the full rate
    // Mixes hop values at the analysis rate from sample frame begin into out.
    const auto mixHop = [&](std::size_t begin, float* out) {
        MixMono(pcm, begin, hopSamples, full.data());
        for (std::size_t i = 0; i < hop; ++i) {
            float sum = 0.0f;
            for (std::size_t k = 0; k < step; ++k) {
                sum += full[i * step + k];
            }
            out[i] = sum / static_cast<float>(step);
        }
    };
    std::vector<float> input(size);
    std::vector<std::complex<float>> bins(fft.Bins());
    std::vector<float> raw(track.count * kUsedDims);
    std::array<double, kBands> previousLog{};
    CoarseSums sums;
    mixHop(0, mix.data());
    mixHop(hopSamples, mix.data() + hop);
    for (std::size_t j = 0; j < analysisFrames; ++j) {
        if (j % kProgressEvery == 0) {
            if (work.Cancelled()) {
                return false;
            }
            work.Report(static_cast<double>(j) / static_cast<double>(analysisFrames));
        }
        if (j > 0) {  // slide by one hop: the frame's second half becomes the next one's first
            std::memmove(mix.data(), mix.data() + hop, hop * sizeof(float));
            mixHop((j + 1) * hopSamples, mix.data() + hop);
        }
        for (std::size_t n = 0; n < size; ++n) {
            input[n] = mix[n] * window[n];
        }
        fft.Forward(input.data(), bins.data());

        std::array<double, kBands> band{};
        double total = 0.0;
        const std::size_t slot = (j % group) * kFluxSlots / group;
        for (std::size_t k = 1; k < bins.size(); ++k) {
            const double power = std::norm(bins[k]);
            total += power;
            if (map.band[k] >= 0) {
                band[static_cast<std::size_t>(map.band[k])] += power;
            }
            if (map.pitchClass[k] >= 0) {
                sums.chroma[static_cast<std::size_t>(map.pitchClass[k])] += power;
            }
        }
        double flux = 0.0;
        for (std::size_t b = 0; b < kBands; ++b) {
            const double logPower = std::log(band[b] + floor);
            if (j > 0) {
                flux += std::max(0.0, logPower - previousLog[b]);
            }
            previousLog[b] = logPower;
            sums.bandLog[b] += logPower;
        }
        track.onsets.push_back(static_cast<float>(flux));
        sums.flux[slot] += flux;
        ++sums.fluxFrames[slot];
        sums.level += std::log(total + floor);
        ++sums.frames;
        if ((j + 1) % group == 0 || j + 1 == analysisFrames) {
            FinishCoarse(sums, raw.data() + (j / group) * kUsedDims);
            sums = CoarseSums{};
        }
    }
    Standardise(raw, track);
    work.Report(1.0);
    return true;
}

double EstimateBeat(const FeatureTrack& track) {
    const std::size_t count = track.onsets.size();
    if (track.onsetHop == 0 || track.rate == 0) {
        return 0.0;
    }
    const double hopSeconds = static_cast<double>(track.onsetHop) / static_cast<double>(track.rate);
    const auto shortest = static_cast<std::size_t>(std::ceil(kShortestBeatSeconds / hopSeconds));
    const auto longest = static_cast<std::size_t>(std::floor(kLongestBeatSeconds / hopSeconds));
    if (longest + 2 >= count || shortest < 1) {
        return 0.0;
    }
    double mean = 0.0;
    for (float v : track.onsets) {
        mean += static_cast<double>(v);
    }
    mean /= static_cast<double>(count);
    std::vector<double> centred(count);
    for (std::size_t i = 0; i < count; ++i) {
        centred[i] = static_cast<double>(track.onsets[i]) - mean;
    }
    std::vector<double> correlation(longest + 2, 0.0);
    for (std::size_t lag = shortest - 1; lag <= longest + 1; ++lag) {
        double sum = 0.0;
        for (std::size_t i = 0; i + lag < count; ++i) {
            sum += centred[i] * centred[i + lag];
        }
        correlation[lag] = sum / static_cast<double>(count - lag);
    }
    std::size_t best = shortest;
    for (std::size_t lag = shortest; lag <= longest; ++lag) {
        if (correlation[lag] > correlation[best]) {
            best = lag;
        }
    }
    // The vertex of the parabola through the peak and its neighbours.
    const double left = correlation[best - 1];
    const double centre = correlation[best];
    const double right = correlation[best + 1];
    const double curve = left - 2.0 * centre + right;
    const double shift = curve < 0.0 ? std::clamp(0.5 * (left - right) / curve, -0.5, 0.5) : 0.0;
    return (static_cast<double>(best) + shift) * static_cast<double>(track.onsetHop);
}

}  // namespace fogbell::loops
