#include "host/loops/lag_analysis.h"

#include <algorithm>

namespace fogbell::loops {
namespace {

constexpr std::size_t kProgressEvery = 64;  // lags between reports

// out[i] += a[i] * b[i] for i in [0, n); out never overlaps a or b, so the loop runs on the
// vector units.
void MultiplyAdd(const float* __restrict a, const float* __restrict b, float* __restrict out,
                 std::size_t n) {
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {  // eight lanes written out, which the compiler packs
        out[i] += a[i] * b[i];
        out[i + 1] += a[i + 1] * b[i + 1];
        out[i + 2] += a[i + 2] * b[i + 2];
        out[i + 3] += a[i + 3] * b[i + 3];
        out[i + 4] += a[i + 4] * b[i + 4];
        out[i + 5] += a[i + 5] * b[i + 5];
        out[i + 6] += a[i + 6] * b[i + 6];
        out[i + 7] += a[i + 7] * b[i + 7];
    }
    for (; i < n; ++i) {
        out[i] += a[i] * b[i];
    }
}

// The best window of one diagonal: its mean (missing frames count 0) and first frame.
LagPeak BestWindow(const std::vector<float>& diagonal, std::size_t length, std::size_t window) {
    LagPeak best;
    double sum = 0.0;
    const std::size_t first = std::min(window, length);
    for (std::size_t i = 0; i < first; ++i) {
        sum += static_cast<double>(diagonal[i]);
    }
    const double scale = 1.0 / static_cast<double>(window);
    best.strength = static_cast<float>(sum * scale);
    for (std::size_t i = first; i < length; ++i) {
        sum += static_cast<double>(diagonal[i] - diagonal[i - window]);
        const auto mean = static_cast<float>(sum * scale);
        if (mean > best.strength) {
            best.strength = mean;
            best.at = i + 1 - window;
        }
    }
    return best;
}

}  // namespace

std::vector<LagPeak> FindLagPeaks(const FeatureTrack& track, std::size_t minLag, std::size_t maxLag,
                                  std::size_t window, std::size_t reach, std::size_t count,
                                  SearchWork& work) {
    const std::size_t frames = track.count;
    maxLag = std::min(maxLag, frames > 0 ? frames - 1 : 0);
    if (minLag == 0 || minLag > maxLag || window == 0) {
        return {};
    }
    std::vector<LagPeak> lags(maxLag + 1);
    std::vector<float> diagonal(frames);
    for (std::size_t lag = minLag; lag <= maxLag; ++lag) {
        if ((lag - minLag) % kProgressEvery == 0) {
            if (work.Cancelled()) {
                return {};
            }
            work.Report(static_cast<double>(lag - minLag) /
                        static_cast<double>(maxLag + 1 - minLag));
        }
        const std::size_t length = frames - lag;
        std::fill(diagonal.begin(), diagonal.begin() + static_cast<std::ptrdiff_t>(length), 0.0f);
        // Dimension by dimension, so that the inner loop is a plain multiply-add over arrays.
        for (std::size_t d = 0; d < kFeatureDims; ++d) {
            const float* a = track.values.data() + d * frames;
            MultiplyAdd(a, a + lag, diagonal.data(), length);
        }
        lags[lag] = BestWindow(diagonal, length, window);
        lags[lag].lag = lag;
    }

    // Local maxima, strongest first, each suppressing its neighbours within reach.
    std::vector<LagPeak> order;
    for (std::size_t lag = minLag; lag <= maxLag; ++lag) {
        const std::size_t from = lag > minLag + reach ? lag - reach : minLag;
        const std::size_t to = std::min(maxLag, lag + reach);
        bool highest = true;
        for (std::size_t l = from; l <= to && highest; ++l) {
            highest = lags[l].strength <= lags[lag].strength;
        }
        if (highest) {
            order.push_back(lags[lag]);
        }
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const LagPeak& a, const LagPeak& b) { return a.strength > b.strength; });
    std::vector<bool> taken(maxLag + 1, false);
    std::vector<LagPeak> peaks;
    for (const LagPeak& candidate : order) {
        if (peaks.size() == count) {
            break;
        }
        if (taken[candidate.lag]) {
            continue;
        }
        const std::size_t from = candidate.lag > minLag + reach ? candidate.lag - reach : minLag;
        const std::size_t to = std::min(maxLag, candidate.lag + reach);
        for (std::size_t l = from; l <= to; ++l) {
            taken[l] = true;
        }
        peaks.push_back(candidate);
    }
    return peaks;
}

}  // namespace fogbell::loops
