// The small reader of RIFF WAVE headers, shared by the WAVE decoder and the PAC
// explorer (which rewrites the WAVE files it stores).
//
// Layouts accepted, offsets from the file's first byte. The fixed layouts are tried first and
// read as they always were:
//   fmt size (u32 at 16)   tag at 38   data chunk                       audio begins at
//   16                     -           "data" at 36, size at 40         44
//   anything else          "data"      tag at 38, size at 42            46
//   anything else          "fact"      fact chunk of F bytes (F = u32 at 42) at 38,
//                                      "data" at 46 + F, size at 50 + F     54 + F
// When the tag where a fixed layout puts its data chunk is not "data" (FFmpeg and audio editors
// put a LIST or other chunk there), the chunks are walked from offset 12 instead: each is a
// 4-byte tag, a u32 body size and the body, padded to an even length. The first "fmt " chunk
// must come before the first "data" chunk and be a format record of 16 or 18 bytes, or of 18
// bytes plus the cbSize extra bytes it announces (WAVE_FORMAT_EXTENSIBLE's 40 bytes, compressed
// formats' own extras); the audio begins at that data chunk's body. An extensible record stands
// in the header as the tag of its SubFormat (PCM 1, IEEE float 3, ...) when the GUID has the
// standard form, else as 0xFFFE; the extras are dropped. The walk never reads past the bytes
// supplied: a chunk that does not fit ends it, and a data chunk running past the end is cut to the
// bytes present. The header then holds "fmt ", fmt size 16, the format record of the fmt chunk
// found, "data", the data size (cut) and a RIFF size of data size + 36. Anything else, and a file
// too short for its layout, is refused: "Unknown waveformat."
#pragma once

#include <cstddef>
#include <cstdint>

namespace fogbell::wave {

// WAVEFILEHEADER: the canonical 44-byte header, eleven little-endian 32-bit words (tags hold
// their characters in file order).
struct WaveFileHeader {
    std::uint32_t riffTag;
    std::uint32_t riffSize;
    std::uint32_t waveTag;
    std::uint32_t fmtTag;
    std::uint32_t fmtSize;
    std::uint16_t formatTag;
    std::uint16_t channels;
    std::uint32_t samplesPerSec;
    std::uint32_t avgBytesPerSec;
    std::uint16_t blockAlign;
    std::uint16_t bitsPerSample;
    std::uint32_t dataTag;
    std::uint32_t dataSize;
};
static_assert(sizeof(WaveFileHeader) == 44);
static_assert(offsetof(WaveFileHeader, formatTag) == 20);
static_assert(offsetof(WaveFileHeader, dataTag) == 36);

inline constexpr std::uint32_t kCanonicalHeaderSize = 44;

// Fills out from the size bytes at file and returns the offset of the audio data (44, 46,
// 54 + F, or where the chunk walk found it; never past size); 0 with "NULL wave file header
// pointer." or "Unknown waveformat." on failure.
std::uint32_t ReadWaveHeader(WaveFileHeader* out, const std::uint8_t* file, std::uint32_t size);

}  // namespace fogbell::wave
