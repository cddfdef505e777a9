// The lag analysis: where the music repeats itself, on the coarse frames.
//
// For every lag l (in coarse frames) the diagonal d_l(i) = similarity(frame i, frame i + l) of
// the self-similarity matrix is computed and averaged over a sliding window of w frames; the
// lag's strength is the best such average (a window that runs past the end of the music counts
// the missing frames as 0, so short overlaps do not win by chance). A long stretch of music that
// comes back l frames later is a run of high values on that diagonal. The matrix itself is never
// stored: one diagonal at a time, O(count^2 * dims) time, O(count) memory.
#pragma once

#include <cstddef>
#include <vector>

#include "host/loops/frame_features.h"
#include "host/loops/search_work.h"

namespace fogbell::loops {

struct LagPeak {
    std::size_t lag = 0;    // coarse frames
    std::size_t at = 0;     // first frame of the lag's best window
    float strength = 0.0f;  // the best window's mean similarity, -1 to 1
};

// Up to count lags in [minLag, maxLag] whose strength is a local maximum (no stronger lag within
// reach frames), strongest first; window is w above. Empty when work was cancelled.
std::vector<LagPeak> FindLagPeaks(const FeatureTrack& track, std::size_t minLag, std::size_t maxLag,
                                  std::size_t window, std::size_t reach, std::size_t count,
                                  SearchWork& work);

}  // namespace fogbell::loops
