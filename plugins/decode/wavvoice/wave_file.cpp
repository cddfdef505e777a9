#include "wave_file.h"

#include <algorithm>

#include "byte_order.h"

namespace fogbell::wave {
namespace {

constexpr std::uint32_t kTagSize = 4;

}  // namespace

const char* StatusText(FileStatus status) {
    switch (status) {
        case FileStatus::kOk:
            return "OK";
        case FileStatus::kNotWave:
            return "Is not WAVE file.";
        case FileStatus::kLayoutRefused:
            return "Unknown waveformat.";
        case FileStatus::kFormatRefused:
            return "Unsupported waveformat.";
        case FileStatus::kNoChannels:
            break;
    }
    return "WAVE file has no channels.";
}

FileStatus ReadWaveFile(const std::uint8_t* data, std::uint32_t size, WaveFile& file) {
    if (size < kTagSize || !plugin::HasTag(data, "RIFF")) {
        return FileStatus::kNotWave;
    }
    file.dataOffset = ReadWaveHeader(&file.header, data, size);
    if (file.dataOffset == 0) {
        return FileStatus::kLayoutRefused;
    }
    if (file.header.channels == 0) {
        return FileStatus::kNoChannels;
    }
    if (!SampleKindOf(file.header, file.kind)) {
        return FileStatus::kFormatRefused;
    }
    file.dataSize = std::min(file.header.dataSize, size - file.dataOffset);
    return FileStatus::kOk;
}

}  // namespace fogbell::wave
