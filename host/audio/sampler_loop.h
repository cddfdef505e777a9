// The first loop of a RIFF WAVE file's sampler chunk ("smpl"), the chunk that "Save as wav.."
// writes for a looped track (wave_writer.h) and that audio editors and samplers write.
//
//   offset in the chunk body  size  content (little-endian)
//   28                        4     number of sample loops
//   36 + 24 x n               24    loop n: cue point, type, first frame, LAST frame (inclusive),
//                                   fraction, play count
//
// The chunk's last frame is inclusive; the loop given out has the first frame after it as its
// end, as decoders report loops (fnGetLoopPoints), so a file written with a loop reads back with
// the same one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "host/plugins/plugin_session.h"

namespace fogbell {

// The first loop of a sampler chunk body of size bytes: none when the body does not hold its
// first loop, counts no loop, or its last frame lies before its first (or at UINT32_MAX).
std::optional<LoopPoints> ParseSamplerLoop(const std::uint8_t* body, std::size_t size);

// The first loop of the first sampler chunk of the WAVE file at path: none when the file cannot
// be read, is no RIFF WAVE, or has no chunk that ParseSamplerLoop accepts. Chunks are walked by
// their lengths, and no chunk is followed past the end of the file.
std::optional<LoopPoints> ReadSamplerLoop(const std::string& path);

// loop of a stream at rate from, for the same sound at rate to: each point rounded to the nearest
// sample (at most UINT32_MAX); unchanged when the rates are equal or from is 0.
LoopPoints LoopAtRate(const LoopPoints& loop, std::uint32_t from, std::uint32_t to);

}  // namespace fogbell
