#include "wave_header.h"

#include <cstring>

#include "byte_order.h"
#include "plugin_support.h"

namespace fogbell::wave {
namespace {

using plugin::HasTag;
using plugin::ReadU32LE;

constexpr std::uint32_t kCanonicalFmtSize = 16;
constexpr std::size_t kTagAt38 = 38;
constexpr std::uint32_t kDataAfterShortFmt = 46;
constexpr std::uint64_t kFactLayoutFixedBytes = 54;  // audio at 54 + F

std::uint32_t Refuse() {
    plugin::SetErrorText("Unknown waveformat.");
    return 0;
}

}  // namespace

std::uint32_t ReadWaveHeader(WaveFileHeader* out, const std::uint8_t* file, std::uint32_t size) {
    if (out == nullptr || file == nullptr) {
        plugin::SetErrorText("NULL wave file header pointer.");
        return 0;
    }
    if (size < kCanonicalHeaderSize) {
        return Refuse();
    }
    std::memcpy(out, file, kCanonicalHeaderSize);
    if (out->fmtSize == kCanonicalFmtSize) {
        return kCanonicalHeaderSize;
    }
    if (size < kDataAfterShortFmt) {
        return Refuse();
    }
    if (HasTag(file + kTagAt38, "data")) {
        out->dataTag = ReadU32LE(file + 38);
        out->dataSize = ReadU32LE(file + 42);
        out->riffSize = out->dataSize + 36;
        out->fmtSize = kCanonicalFmtSize;
        return kDataAfterShortFmt;
    }
    if (HasTag(file + kTagAt38, "fact")) {
        const std::uint64_t factSize = ReadU32LE(file + 42);
        const std::uint64_t dataOffset = kFactLayoutFixedBytes + factSize;
        if (dataOffset > size) {
            return Refuse();  // also every F whose offset would not fit in 32 bits
        }
        out->dataTag = ReadU32LE(file + 46 + factSize);
        out->dataSize = ReadU32LE(file + 50 + factSize);
        out->riffSize = out->dataSize + 36;
        return static_cast<std::uint32_t>(dataOffset);
    }
    return Refuse();
}

}  // namespace fogbell::wave
