#include "host/loops/loop_finder.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "host/loops/frame_features.h"
#include "host/loops/lag_analysis.h"
#include "host/loops/pcm_view.h"
#include "host/loops/seam_match.h"
#include "host/loops/search_work.h"

namespace fogbell::loops {
namespace {

constexpr int kMaxChannels = 64;
constexpr int kMinRate = 1000;
constexpr int kMaxRate = 768000;
constexpr double kStrengthWindowSeconds = 8.0;  // a lag's strength: its best stretch this long
constexpr std::size_t kReachFrames = 2;         // the sample search covers this many coarse frames
                                                // either side of a peak lag
constexpr std::size_t kExtraPeaks = 4;          // peaks refined beyond two per candidate
constexpr double kSameLagSeconds = 0.025;       // lags closer than this are the same loop
constexpr std::size_t kPeriodSlack = 2;         // samples by which a lag may miss a multiple
constexpr std::size_t kMaxStarts = 64;          // loop starts tried per lag
constexpr double kTransparentDb = 60.0;         // seams above this count as equally good
constexpr double kBeforeWeight = 0.5;           // the second before the seam weighs half
constexpr double kStartTieDb = 0.5;             // starts this close count as equally good
constexpr double kSeamSlackDb = 6.0;            // seams up to this score 0
constexpr double kScoreSteps = 100.0;           // scores are ranked rounded to 0.01

// Progress: the features, the lags and the refinement take these shares of the whole.
constexpr double kFeaturesDone = 0.5;
constexpr double kLagsDone = 0.7;

// A lag at which the music repeats, to the sample, and where that repetition starts.
struct Repeat {
    std::size_t lag = 0;
    std::size_t anchor = 0;
};

double SeamQuality(double seamDb) {
    return std::max(0.0, 1.0 - std::pow(10.0, -(seamDb - kSeamSlackDb) / 20.0));
}

// The period on which starts are tried for lag: the shortest found lag that divides it (within
// kPeriodSlack samples), else the lag itself.
std::size_t PeriodOf(std::size_t lag, const std::vector<Repeat>& repeats) {
    std::size_t period = lag;
    for (const Repeat& other : repeats) {
        if (other.lag >= period || other.lag == 0) {
            continue;
        }
        const std::size_t times = (lag + other.lag / 2) / other.lag;
        const std::size_t multiple = times * other.lag;
        const std::size_t miss = multiple > lag ? multiple - lag : lag - multiple;
        if (times >= 2 && miss <= kPeriodSlack) {
            period = other.lag;
        }
    }
    return period;
}

// How well the span samples before start match the span before start + lag (what the music
// had just played before the jump against what it had played before start); only what the
// track has before start counts, and nothing before it gives 0 dB.
double BeforeDb(const PcmView& pcm, std::size_t start, std::size_t lag, std::size_t span) {
    const std::size_t length = std::min(start, span);
    return length == 0 ? 0.0 : MatchDb(pcm, start - length, start + lag - length, length);
}

// The best loop of length lag starting at anchor or whole periods from it, as a candidate.
LoopCandidate ChooseStart(const PcmView& pcm, const Repeat& repeat, std::size_t period,
                          std::size_t seam, std::size_t minLag) {
    const std::size_t lag = repeat.lag;
    const std::size_t lastStart = pcm.frames - seam - lag;  // end + seam <= frames
    std::size_t start = repeat.anchor % period;  // the earliest start on the anchor's grid
    if (repeat.anchor > start + kMaxStarts / 2 * period) {
        start = repeat.anchor - kMaxStarts / 2 * period;
    }
    LoopCandidate best;
    double bestValue = -std::numeric_limits<double>::infinity();
    for (std::size_t tried = 0; tried < kMaxStarts && start <= lastStart;
         ++tried, start += period) {
        const double seamDb = MatchDb(pcm, start, start + lag, seam);
        const double value =
            std::min(seamDb, kTransparentDb) +
            kBeforeWeight * std::min(BeforeDb(pcm, start, lag, seam), kTransparentDb);
        if (value >= bestValue - kStartTieDb) {  // the later of equal starts
            if (value > bestValue) {
                bestValue = value;
            }
            best.start = start;
            best.end = start + lag;
            best.seamDb = seamDb;
        }
    }
    if (bestValue == -std::numeric_limits<double>::infinity()) {
        return best;
    }
    const std::size_t required = std::min({minLag, lag, pcm.frames - best.end});
    const std::size_t holds = RepeatLength(pcm, lag, best.start, required);
    const double repeatQuality = std::min(
        1.0, static_cast<double>(holds) / static_cast<double>(std::max<std::size_t>(required, 1)));
    best.score = SeamQuality(best.seamDb) * repeatQuality;
    return best;
}

bool Better(const LoopCandidate& a, const LoopCandidate& b) {
    const long rankA = std::lround(a.score * kScoreSteps);
    const long rankB = std::lround(b.score * kScoreSteps);
    if (rankA != rankB) {
        return rankA > rankB;
    }
    const std::uint64_t lengthA = a.end - a.start;
    const std::uint64_t lengthB = b.end - b.start;
    if (lengthA != lengthB) {
        return lengthA > lengthB;
    }
    return a.end > b.end;
}

}  // namespace

std::vector<LoopCandidate> FindLoops(const std::int16_t* interleaved, std::size_t frames,
                                     int channels, int rate, const LoopSearch& options) {
    if (interleaved == nullptr || channels < 1 || channels > kMaxChannels || rate < kMinRate ||
        rate > kMaxRate || !(options.minSeconds > 0.0) || options.maxCandidates == 0 ||
        frames > std::numeric_limits<std::size_t>::max() / static_cast<std::size_t>(channels)) {
        return {};
    }
    const PcmView pcm{interleaved, frames, static_cast<std::size_t>(channels),
                      static_cast<std::size_t>(rate)};
    const std::size_t seam = pcm.rate;
    const double minSamples = std::ceil(options.minSeconds * static_cast<double>(rate));
    if (minSamples + static_cast<double>(seam) > static_cast<double>(frames)) {
        return {};
    }
    const auto minLag = static_cast<std::size_t>(minSamples);
    SearchWork work(options.progress, options.cancel);

    work.Stage(0.0, kFeaturesDone);
    FeatureTrack track;
    if (!ComputeFeatures(pcm, work, track)) {
        return {};
    }

    work.Stage(kFeaturesDone, kLagsDone);
    const double hopSeconds = static_cast<double>(track.hop) / static_cast<double>(rate);
    const std::size_t window = std::max<std::size_t>(
        1, static_cast<std::size_t>(
               std::lround(std::min(options.minSeconds, kStrengthWindowSeconds) / hopSeconds)));
    const std::size_t peakCount =
        2 * std::min<std::size_t>(options.maxCandidates, 64) + kExtraPeaks;
    const std::vector<LagPeak> peaks =
        FindLagPeaks(track, (minLag + track.hop - 1) / track.hop, (frames - seam) / track.hop,
                     window, kReachFrames, peakCount, work);
    if (work.Cancelled()) {
        return {};
    }

    work.Stage(kLagsDone, 1.0);
    const std::size_t reach = kReachFrames * track.hop;
    const auto sameLag = static_cast<std::size_t>(kSameLagSeconds * static_cast<double>(rate));
    LagRefiner refiner(seam, reach, pcm.rate);
    std::vector<Repeat> repeats;
    for (std::size_t p = 0; p < peaks.size(); ++p) {
        if (work.Cancelled()) {
            return {};
        }
        work.Report(0.8 * static_cast<double>(p) / static_cast<double>(peaks.size()));
        const std::size_t guess = peaks[p].lag * track.hop;
        const std::size_t low = std::max(minLag, guess > reach ? guess - reach : 0);
        const std::size_t high = std::min(guess + reach, frames - seam);
        if (low > high) {
            continue;
        }
        const std::size_t middle = (peaks[p].at + window / 2) * track.hop;
        const std::size_t ref = std::min(middle, frames - seam - high);
        Repeat repeat;
        repeat.lag = refiner.Refine(pcm, ref, low, high);
        const bool known = std::any_of(repeats.begin(), repeats.end(), [&](const Repeat& r) {
            return (r.lag > repeat.lag ? r.lag - repeat.lag : repeat.lag - r.lag) <= sameLag;
        });
        if (known) {
            continue;
        }
        repeat.anchor = RepeatStart(pcm, repeat.lag, ref);
        repeats.push_back(repeat);
    }

    std::vector<LoopCandidate> candidates;
    for (const Repeat& repeat : repeats) {
        if (work.Cancelled()) {
            return {};
        }
        const LoopCandidate candidate =
            ChooseStart(pcm, repeat, PeriodOf(repeat.lag, repeats), seam, minLag);
        if (candidate.end > candidate.start) {
            candidates.push_back(candidate);
        }
    }
    std::sort(candidates.begin(), candidates.end(), Better);
    if (candidates.size() > options.maxCandidates) {
        candidates.resize(options.maxCandidates);
    }
    work.Report(1.0);
    return candidates;
}

}  // namespace fogbell::loops
