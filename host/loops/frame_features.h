// The coarse picture of the music that the lag analysis compares: one feature vector per coarse
// frame of about a tenth of a second.
//
// The mono mix, brought down to about 22 kHz by means of runs of samples (rates of 44.1 kHz and
// more), is cut into Hann-windowed analysis frames (a power-of-two size of about 46 ms, hop half
// of it). Each analysis frame gives the log energies of 24 log-spaced bands (50 Hz to 12 kHz or
// half the analysis rate), a 12-class pitch-class profile (chroma, 300 Hz to 5 kHz) and the
// spectral flux (the summed rise of the band log energies since the previous frame, the onset
// strength). A coarse frame pools a run of analysis frames (4, more for tracks over about 6
// minutes, so that there are at most kMaxCoarseFrames): mean band shape with the mean level taken
// out (so a fade does not change it), the chroma as a distribution, the onset strength in four
// slots (the rhythm inside the frame) and the mean level. Each dimension is then standardised over
// the whole track (so a property that never changes, such as the flat spectrum of noise, says
// nothing), each group is weighted, and each vector scaled to unit length: the dot product of two
// frames is their cosine similarity.
#pragma once

#include <cstddef>
#include <vector>

#include "host/loops/pcm_view.h"
#include "host/loops/search_work.h"

namespace fogbell::loops {

inline constexpr std::size_t kFeatureDims = 41;
inline constexpr std::size_t kMaxCoarseFrames = 4096;

struct FeatureTrack {
    std::size_t hop = 0;    // samples per coarse frame: coarse frame i starts at sample i * hop
    std::size_t count = 0;  // coarse frames
    // Dimension-major: values[d * count + i] is dimension d of frame i; each frame's vector has
    // unit length (or is all zero).
    std::vector<float> values;
    // The onset strength (spectral flux) of each analysis frame, onsetHop samples apart.
    std::vector<float> onsets;
    std::size_t onsetHop = 0;
    std::size_t rate = 0;  // of the PCM
};

// The features of pcm, or false when work was cancelled.
bool ComputeFeatures(const PcmView& pcm, SearchWork& work, FeatureTrack& track);

// The beat period in samples (0 if the track is too short to tell): the lag of the onset
// strength's strongest autocorrelation between 0.25 s and 1 s (240 to 60 beats a minute),
// refined between frames by a parabola. It may be a half or a double of the beat the ear takes.
double EstimateBeat(const FeatureTrack& track);

}  // namespace fogbell::loops
