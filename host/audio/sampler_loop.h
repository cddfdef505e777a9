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
#include <vector>

#include "host/plugins/plugin_session.h"

namespace fogbell {

// The first loop of a sampler chunk body of size bytes: none when the body does not hold its
// first loop, counts no loop, or its last frame lies before its first (or at UINT32_MAX).
std::optional<LoopPoints> ParseSamplerLoop(const std::uint8_t* body, std::size_t size);

// The first loop of the first sampler chunk of the WAVE file at path: none when the file cannot
// be read, is no RIFF WAVE, or has no chunk that ParseSamplerLoop accepts. Chunks are walked by
// their lengths, and no chunk is followed past the end of the file.
std::optional<LoopPoints> ReadSamplerLoop(const std::string& path);

// The sampler chunk that marks loop in a file at rate: "smpl", its length 60, the fields, and
// one forward loop played for ever (wave_writer.h gives the layout).
inline constexpr std::size_t kSamplerChunkBytes = 68;
std::vector<std::uint8_t> SamplerChunk(const LoopPoints& loop, std::uint32_t rate);

// What a RIFF WAVE of size bytes holds for its loop: its sample frames (the data chunk's length,
// as far as the bytes hold it, over the format's block align), its rate, and the first loop of
// its first sampler chunk.
struct WaveLoopFacts {
    std::uint32_t frames = 0;
    std::uint32_t rate = 0;
    std::optional<LoopPoints> loop;
};
// None when the bytes are no RIFF WAVE with a format chunk and a data chunk.
std::optional<WaveLoopFacts> ReadWaveLoopFacts(const std::uint8_t* data, std::size_t size);

// The WAVE of size bytes with its loop set to loop, or without sampler chunks when there is
// none; every other chunk, the data chunk first of all, byte for byte as it was. A sampler chunk
// that holds a loop has its first loop's frames changed in place (the file keeps its size);
// otherwise the sampler chunks go and one that marks loop is added at the end, and the RIFF
// length follows. None when the bytes are no WAVE as ReadWaveLoopFacts reads it, when a chunk
// reaches past them, or when loop does not lie inside the data.
std::optional<std::vector<std::uint8_t>> WithSamplerLoop(const std::uint8_t* data,
                                                         std::size_t size,
                                                         const std::optional<LoopPoints>& loop);

// loop of a stream at rate from, for the same sound at rate to: each point rounded to the nearest
// sample (at most UINT32_MAX); unchanged when the rates are equal or from is 0.
LoopPoints LoopAtRate(const LoopPoints& loop, std::uint32_t from, std::uint32_t to);

}  // namespace fogbell
