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
constexpr double kPeriodSeamDb = 20.0;          // a loop this clean gives its lag as a period
constexpr double kPeriodScoreSlack = 0.05;      // scoring at most this much below the lag's own
constexpr std::size_t kMaxStarts = 64;          // loop starts tried per lag on its period
constexpr std::size_t kBeatsTried = 16;         // and beats after the best of them,
constexpr double kBeatGainDb = 3.0;             // which must be this much better to be taken
constexpr double kTransparentDb = 60.0;         // seams above this count as equally good
constexpr double kCleanSeamDb = 40.0;           // a start on the grid this clean is kept
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

// A loop as proposed, and whether its start lies on its repetition's period grid (where the
// repetition begins, or whole periods later) rather than beats after it.
struct Proposal {
    LoopCandidate loop;
    bool onGrid = true;
};

double SeamQuality(double seamDb) {
    return std::max(0.0, 1.0 - std::pow(10.0, -(seamDb - kSeamSlackDb) / 20.0));
}

// The period on which starts are tried for a lag whose own loop scored score: the shortest lag
// of a clean loop (kPeriodSeamDb, and a score at most kPeriodScoreSlack below) that divides it
// within kPeriodSlack samples, else the lag itself. A partial repeat (the same chords and drums
// half a section later, say) gives no period.
std::size_t PeriodOf(std::size_t lag, double score, const std::vector<Proposal>& proposals) {
    std::size_t period = lag;
    for (const Proposal& proposal : proposals) {
        const LoopCandidate& loop = proposal.loop;
        const auto other = static_cast<std::size_t>(loop.end - loop.start);
        if (other >= period || other == 0 || loop.seamDb < kPeriodSeamDb ||
            loop.score < score - kPeriodScoreSlack) {
            continue;
        }
        const std::size_t times = (lag + other / 2) / other;
        const std::size_t multiple = times * other;
        const std::size_t miss = multiple > lag ? multiple - lag : lag - multiple;
        if (times >= 2 && miss <= kPeriodSlack) {
            period = other;
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

// How good a loop start is: the seam first (capped at kTransparentDb); the second before the
// seam counts at kBeforeWeight and only up to the seam's own figure.
double StartValue(const PcmView& pcm, std::size_t start, std::size_t lag, std::size_t seam,
                  double& seamDb) {
    seamDb = MatchDb(pcm, start, start + lag, seam);
    const double after = std::min(seamDb, kTransparentDb);
    return after + kBeforeWeight * std::min(BeforeDb(pcm, start, lag, seam), after);
}

// The best loop of length lag starting at the repetition's anchor or whole periods from it (the
// later of equal ones). When its seam is below kCleanSeamDb, the seams up to kBeatsTried beats
// after it are measured too (a beat being the period divided into whole beats): if the best of them
// is kBeatGainDb better, the earliest beat that comes close to it is taken instead, where the tail
// of what came before the repetition has died away. As a candidate with its score.
Proposal ChooseStart(const PcmView& pcm, const Repeat& repeat, std::size_t period, double beat,
                     std::size_t seam, std::size_t minLag) {
    const std::size_t lag = repeat.lag;
    const std::size_t lastStart = pcm.frames - seam - lag;  // end + seam <= frames
    std::size_t start = repeat.anchor % period;  // the earliest start on the anchor's grid
    if (repeat.anchor > start + kMaxStarts / 2 * period) {
        start = repeat.anchor - kMaxStarts / 2 * period;
    }
    Proposal proposal;
    LoopCandidate& best = proposal.loop;
    double bestValue = -std::numeric_limits<double>::infinity();
    for (std::size_t tried = 0; tried < kMaxStarts && start <= lastStart;
         ++tried, start += period) {
        double seamDb = 0.0;
        const double value = StartValue(pcm, start, lag, seam, seamDb);
        if (value >= bestValue - kStartTieDb) {
            bestValue = std::max(value, bestValue);
            best = LoopCandidate{.start = start, .end = start + lag, .seamDb = seamDb};
        }
    }
    if (bestValue == -std::numeric_limits<double>::infinity()) {
        return proposal;
    }
    if (best.seamDb < kCleanSeamDb && beat > 0.0) {
        // The seams of the beats after it; the earliest that comes within kStartTieDb of their
        // best, when that best is kBeatGainDb above the grid's seam.
        const auto beats = std::max(1.0, std::round(static_cast<double>(period) / beat));
        const double step = static_cast<double>(period) / beats;
        const auto base = static_cast<std::size_t>(best.start);
        std::vector<LoopCandidate> later;
        double bestLater = -std::numeric_limits<double>::infinity();
        for (std::size_t j = 1; j <= kBeatsTried && static_cast<double>(j) < beats; ++j) {
            const std::size_t beatStart =
                base + static_cast<std::size_t>(std::lround(step * static_cast<double>(j)));
            if (beatStart > lastStart) {
                break;
            }
            const double seamDb = MatchDb(pcm, beatStart, beatStart + lag, seam);
            later.push_back(
                LoopCandidate{.start = beatStart, .end = beatStart + lag, .seamDb = seamDb});
            bestLater = std::max(bestLater, std::min(seamDb, kTransparentDb));
        }
        if (bestLater >= std::min(best.seamDb, kTransparentDb) + kBeatGainDb) {
            for (const LoopCandidate& loop : later) {
                if (std::min(loop.seamDb, kTransparentDb) >= bestLater - kStartTieDb) {
                    best = loop;
                    proposal.onGrid = false;
                    break;
                }
            }
        }
    }
    const std::size_t required = std::min({minLag, lag, pcm.frames - best.end});
    const std::size_t holds = RepeatLength(pcm, lag, best.start, required);
    const double repeatQuality = std::min(
        1.0, static_cast<double>(holds) / static_cast<double>(std::max<std::size_t>(required, 1)));
    best.score = SeamQuality(best.seamDb) * repeatQuality;
    return proposal;
}

// Best first: by score rounded to 0.01, then a start on the period grid, the longer loop, the
// later end.
bool Better(const Proposal& a, const Proposal& b) {
    const long rankA = std::lround(a.loop.score * kScoreSteps);
    const long rankB = std::lround(b.loop.score * kScoreSteps);
    if (rankA != rankB) {
        return rankA > rankB;
    }
    if (a.onGrid != b.onGrid) {
        return a.onGrid;
    }
    const std::uint64_t lengthA = a.loop.end - a.loop.start;
    const std::uint64_t lengthB = b.loop.end - b.loop.start;
    if (lengthA != lengthB) {
        return lengthA > lengthB;
    }
    return a.loop.end > b.loop.end;
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

    // Each lag's loop with starts a lag apart, then again on the period of a shorter clean loop
    // that divides it, whose starts include those.
    const double beat = EstimateBeat(track);
    std::vector<Proposal> proposals;
    for (const Repeat& repeat : repeats) {
        if (work.Cancelled()) {
            return {};
        }
        proposals.push_back(ChooseStart(pcm, repeat, repeat.lag, beat, seam, minLag));
    }
    const std::vector<Proposal> firstChoices = proposals;
    for (std::size_t i = 0; i < repeats.size(); ++i) {
        const std::size_t period =
            PeriodOf(repeats[i].lag, firstChoices[i].loop.score, firstChoices);
        if (period != repeats[i].lag) {
            proposals[i] = ChooseStart(pcm, repeats[i], period, beat, seam, minLag);
        }
    }
    std::erase_if(proposals, [](const Proposal& p) { return p.loop.end <= p.loop.start; });
    std::sort(proposals.begin(), proposals.end(), Better);
    std::vector<LoopCandidate> candidates;
    for (std::size_t i = 0; i < proposals.size() && i < options.maxCandidates; ++i) {
        candidates.push_back(proposals[i].loop);
    }
    work.Report(1.0);
    return candidates;
}

}  // namespace fogbell::loops
