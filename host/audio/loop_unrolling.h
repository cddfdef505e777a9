// A looped track written out the way a player plays it: the intro (the frames before the loop),
// the loop a number of times, then a fade-out that goes on into the loop once more, its gain
// falling linearly from 1 to 0. Memory stays bounded whatever the loop's length: a short loop is
// kept after its first pass and written again from memory; for a longer one the decoder goes
// back to the loop's start before each further pass (fnSeekSample, or a rewind and decoding up
// to it when it cannot seek), which costs a decoder block of memory.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "host/plugins/plugin_session.h"

namespace fogbell {

struct LoopUnrolling {
    std::uint32_t passes = 1;   // times the loop is written, at least 1
    double fadeSeconds = 10.0;  // length of the fade-out; 0 writes none
};

// Frames of a fade of seconds at rate, rounded to the nearest frame; a fade longer than any WAVE
// file can hold counts UINT32_MAX frames.
std::uint64_t FadeFrames(double seconds, std::uint32_t rate);

// Frames of the whole rendering: intro, passes x loop, fade (at most UINT32_MAX: the sum then
// always fits).
std::uint64_t UnrolledFrames(const LoopPoints& loop, std::uint32_t passes,
                             std::uint64_t fadeFrames);

// Gets the rendering's PCM in order, a run of whole frames at a time; false stops it.
using PcmSink = std::function<bool(const std::uint8_t* data, std::uint32_t size)>;

enum class UnrollResult { kDone, kStopped, kFailed };

inline constexpr std::uint64_t kHeldLoopBytes = std::uint64_t{1} << 20;

struct UnrollRequest {
    LoopPoints loop;           // in frames of the stream's output
    std::uint32_t passes = 1;  // at least 1
    std::uint64_t fadeFrames = 0;
    std::uint32_t frameBytes = 0;  // bytes of one frame of the stream's 16-bit PCM (even)
    bool seek = true;              // go back with fnSeekSample (else rewind and skip)
    // The longest loop, in bytes, that is kept rather than decoded again for each pass: going
    // back costs a whole decoder block per pass, far more than a short loop's own frames.
    std::uint64_t holdBytes = kHeldLoopBytes;
};

// Sends the rendering of stream, which is at its start, to sink. kStopped when sink said so;
// kFailed with a text when the stream cannot go back to the loop or ends before the loop does.
UnrollResult UnrollLoop(const DecoderSession& stream, const UnrollRequest& request,
                        const PcmSink& sink, std::string& error);

}  // namespace fogbell
