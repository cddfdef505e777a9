// The loop finder: proposes loop points for a piece of music from its samples alone.
//
// A loop is [start, end) in samples per channel: a player plays up to end, then jumps back to
// start. After the jump the listener hears x[start + t] where the music would have gone on with
// x[end + t], so the jump is inaudible when the music after end sounds like the music after
// start: when the piece repeats itself with a period of end - start across that point.
//
// Method. (1) A coarse picture: the mono mix in Hann-windowed frames of about 46 ms (hop 23 ms)
// gives band energies, a pitch-class profile (chroma) and onset strength (spectral flux), pooled
// into coarse frames of about 93 ms and standardised over the track; the onset strength's
// autocorrelation gives the beat (frame_features.h). (2) Lag analysis: for every lag of at
// least min seconds, the diagonal of the self-similarity matrix at that lag, averaged over a
// window of min(min, 8 s); lags where a stretch of music comes back that much later stand out as
// peaks (lag_analysis.h). (3) Each peak lag is found to the sample by an FFT cross-correlation of
// a second of waveform in the middle of its best stretch with the waveform one lag later, at
// about 11 kHz, then exactly around its best offsets (the least squared difference). (4) On the
// samples, the repetition is followed back from there to where it starts: the sample where the
// ratio of the music to its difference from the repeat rises most, or where an exact repeat
// begins (seam_match.h). (5) Loop starts are tried there and whole periods later (the period
// being the shortest clean loop whose length divides this one); the one is kept whose second
// after the seam matches best, weighing less strictly how well the second before matches too (a
// start inside the repetition carries the same reverb tail as the end); among equal ones the
// latest. If its seam is below 40 dB (the first repetition still carrying the tail of what came
// before it), up to 16 beats after it are tried, and the earliest near the best of them taken if
// that is 3 dB better. (6) One candidate per lag (the same loop shifted by a period or a beat is
// not proposed again, nor a lag within 25 ms of one already refined), ranked by score.
//
// Complexity for n samples per channel, c channels and m coarse frames (m <= 4096, about
// n / 4096 at 44.1 kHz): O(n c + n log 46 ms) for the features, O(m^2) dot products of 41 floats
// for the lags, and per candidate O(s log s) for the correlation (s = 1.4 s at 11 kHz) plus O(r c)
// to follow the repetition over r samples and O(k c) per second for the k starts tried. Memory:
// O(m) floats beyond the PCM plus buffers of a few seconds of samples: about 3 to 5 MiB for a
// 3-minute stereo track at 44.1 kHz, which takes about 0.3 s of CPU time.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace fogbell::loops {

struct LoopSearch {
    double minSeconds = 10.0;       // the shortest loop proposed
    std::size_t maxCandidates = 5;  // at most this many candidates
    // Called on the searching thread with the fraction done (0 to 1) while the search runs.
    std::function<void(double)> progress;
    // When another thread sets it, the search stops soon and returns no candidates.
    const std::atomic<bool>* cancel = nullptr;
};

// A proposed loop. Always minSeconds <= (end - start) / rate and end + rate <= frames: the second
// after end must be there for the seam to be measured, so a loop ending in the track's last
// second is never proposed.
struct LoopCandidate {
    std::uint64_t start = 0;  // the loop's first sample (per channel)
    std::uint64_t end = 0;    // the first sample after the loop
    // The seam: over the second after the jump, over all channels,
    // 10 log10((E + eps) / (D + eps)) with E the energy of x[end .. end + rate) (what the music
    // would have played), D that of x[end + t] - x[start + t] (what the jump changes) and eps
    // that of 16-bit rounding noise over the same samples (channels * rate / 12, in 16-bit
    // units). An exact seam scores the music's level above 16-bit noise (about 90 dB for music
    // near full scale); silence against silence scores 0 dB. Below about 20 dB the jump is
    // audible.
    double seamDb = 0.0;
    // In [0, 1]: seamQuality * repeatQuality, where seamQuality = max(0, 1 - 10^(-(seamDb - 6) /
    // 20)) (0 up to 6 dB, 0.8 at 20 dB, 0.98 at 40 dB) and repeatQuality is how long the music
    // after start keeps repeating one loop later (the difference at least 12 dB below the
    // music, a quarter second at a time) as a part of min(minSeconds, loop length, what the
    // track has after end), at most 1. Music that never repeats scores near 0.
    double score = 0.0;
};

// Up to options.maxCandidates loops for frames sample frames of interleaved 16-bit PCM with
// channels channels (1 to 64) at rate Hz (1,000 to 768,000), best first: by score rounded to
// 0.01, then a start where the repetition begins or whole periods later before one moved by
// beats, then the longer loop, then the later end. No candidates when the track is shorter than
// minSeconds plus one second, when the arguments are outside those ranges, or when the search
// was cancelled.
std::vector<LoopCandidate> FindLoops(const std::int16_t* interleaved, std::size_t frames,
                                     int channels, int rate, const LoopSearch& options);

}  // namespace fogbell::loops
