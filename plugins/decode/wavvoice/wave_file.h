// RIFF WAVE file, as wavvoice reads it: "RIFF" at offset 0, then a header that ReadWaveHeader
// accepts (one of its fixed layouts, or the fmt and data chunks found by walking the chunks; see
// wave_header.h), then the data chunk's bytes in one of the sample formats of wave_samples.h,
// with the header's channel count and rate.
//
// The data size comes from the header but never reaches past the bytes supplied: a file that
// ends early plays up to its last byte, and its size and position count only what is there.
#pragma once

#include <cstdint>

#include "wave_header.h"
#include "wave_samples.h"

namespace fogbell::wave {

struct WaveFile {
    WaveFileHeader header{};
    std::uint32_t dataOffset = 0;  // 44, 46, 54 + F, or where the chunk walk found it
    std::uint32_t dataSize = 0;    // the header's data size, cut to the bytes present
    SampleKind kind = SampleKind::kInt16;
};

enum class FileStatus { kOk, kNotWave, kLayoutRefused, kNoChannels, kFormatRefused };

// The user-facing text of a refused file. kLayoutRefused and kFormatRefused have none of their
// own: ReadWaveHeader or SampleKindOf has set it.
const char* StatusText(FileStatus status);

// Reads the file in the size bytes at data: kNotWave when it does not begin with "RIFF",
// kLayoutRefused when ReadWaveHeader refuses the header (its text is then set), kNoChannels for
// a channel count of 0, kFormatRefused when SampleKindOf refuses the sample format (text set).
FileStatus ReadWaveFile(const std::uint8_t* data, std::uint32_t size, WaveFile& file);

// Bytes of the next block: one second, or what is left of the data before dataSize.
inline std::uint32_t BlockLength(std::uint32_t position, std::uint32_t dataSize,
                                 std::uint32_t second) {
    const std::uint32_t left = position < dataSize ? dataSize - position : 0;
    return left < second ? left : second;
}

}  // namespace fogbell::wave
