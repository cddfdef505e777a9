#include "wave_header.h"

#include <algorithm>
#include <cstring>

#include "byte_order.h"
#include "plugin_support.h"

namespace fogbell::wave {
namespace {

using plugin::HasTag;
using plugin::ReadU32LE;

constexpr std::uint32_t kCanonicalFmtSize = 16;
constexpr std::uint32_t kFmtSizeWithExtraCount = 18;  // the 16-byte record and cbSize 0
constexpr std::size_t kFmtSizeAt = 16;
constexpr std::size_t kFormatRecordBytes = 16;
constexpr std::size_t kTagAt36 = 36;
constexpr std::size_t kTagAt38 = 38;
constexpr std::uint32_t kDataAfterShortFmt = 46;
constexpr std::uint64_t kFactLayoutFixedBytes = 54;  // audio at 54 + F
constexpr std::uint64_t kFactDataTagBias = 46;       // data tag at 46 + F
constexpr std::uint32_t kRiffSizeBias = 36;          // canonical RIFF size = data size + 36

// A fmt record longer than 18 bytes is a WAVEFORMATEX whose cbSize (u16 at 16) counts the extra
// bytes after it. WAVE_FORMAT_EXTENSIBLE carries its real format in the first two bytes of the
// SubFormat GUID at 24, whose other 14 bytes are fixed for the formats that have a plain tag.
constexpr std::size_t kCbSizeAt = 16;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
constexpr std::uint32_t kExtensibleExtraBytes = 22;
constexpr std::size_t kSubFormatAt = 24;
constexpr std::uint8_t kSubFormatTail[] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                           0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// RIFF chunks: a 4-byte tag, a little-endian u32 body size, the body, and one pad byte after
// an odd-sized body.
constexpr std::uint64_t kFirstChunkAt = 12;  // after "RIFF", the RIFF size and "WAVE"
constexpr std::uint64_t kChunkHeaderBytes = 8;
constexpr std::uint64_t kChunkSizeAt = 4;

std::uint32_t Refuse() {
    plugin::SetErrorText("Unknown waveformat.");
    return 0;
}

// Where chunk walking stopped: body offsets of the first "fmt " chunk and of the first "data"
// chunk after it, 0 when not found.
struct Chunks {
    std::uint64_t fmtBody = 0;
    std::uint32_t fmtSize = 0;
    std::uint64_t dataBody = 0;
    std::uint32_t dataSize = 0;
};

// Walks the chunks from offset 12 until the data chunk, never past the size bytes at file:
// a chunk whose header or body does not fit ends the walk (the data chunk's body may: it is
// cut by the caller). Offsets are 64-bit so that no chunk size can wrap them.
Chunks WalkChunks(const std::uint8_t* file, std::uint64_t size) {
    Chunks found;
    std::uint64_t at = kFirstChunkAt;
    while (at + kChunkHeaderBytes <= size) {
        const std::uint64_t body = at + kChunkHeaderBytes;
        const std::uint32_t chunkSize = ReadU32LE(file + at + kChunkSizeAt);
        if (HasTag(file + at, "data")) {
            if (found.fmtBody != 0) {  // a data chunk before any fmt chunk has no format
                found.dataBody = body;
                found.dataSize = chunkSize;
            }
            return found;
        }
        if (HasTag(file + at, "fmt ") && found.fmtBody == 0) {
            found.fmtBody = body;
            found.fmtSize = chunkSize;
        }
        at = body + chunkSize + (chunkSize & 1u);
    }
    return found;
}

// True when the fmt chunk of fmtSize bytes at body is a record the 16-byte header can stand for:
// 16 or 18 bytes, or 18 plus exactly the cbSize extra bytes it announces, all inside the file.
bool UsableFmtChunk(const std::uint8_t* file, std::uint64_t size, std::uint64_t body,
                    std::uint32_t fmtSize) {
    if (body + fmtSize > size) {
        return false;
    }
    if (fmtSize == kCanonicalFmtSize || fmtSize == kFmtSizeWithExtraCount) {
        return true;
    }
    return fmtSize > kFmtSizeWithExtraCount &&
           fmtSize == kFmtSizeWithExtraCount + plugin::ReadU16LE(file + body + kCbSizeAt);
}

// The format tag an extensible record stands for (its SubFormat's tag), or kFormatExtensible
// when the record is not extensible enough to say.
std::uint16_t ExtensibleTag(const std::uint8_t* record, std::uint32_t fmtSize) {
    if (fmtSize < kFmtSizeWithExtraCount + kExtensibleExtraBytes ||
        std::memcmp(record + kSubFormatAt + 2, kSubFormatTail, sizeof kSubFormatTail) != 0) {
        return kFormatExtensible;
    }
    return plugin::ReadU16LE(record + kSubFormatAt);
}

// Fills out from the chunks found by walking; the audio offset, or 0 (refused) when there is
// no data chunk or the fmt chunk is not a usable record (UsableFmtChunk).
std::uint32_t ReadWalkedHeader(WaveFileHeader* out, const std::uint8_t* file, std::uint32_t size) {
    const Chunks found = WalkChunks(file, size);
    if (found.dataBody == 0) {
        return Refuse();
    }
    if (!UsableFmtChunk(file, size, found.fmtBody, found.fmtSize)) {
        return Refuse();
    }
    // The walk only returns a data body whose chunk header lies within size, so it fits u32.
    const auto dataOffset = static_cast<std::uint32_t>(found.dataBody);
    const std::uint32_t dataSize = std::min(found.dataSize, size - dataOffset);
    std::memcpy(&out->fmtTag, "fmt ", 4);
    out->fmtSize = kCanonicalFmtSize;
    std::memcpy(&out->formatTag, file + found.fmtBody, kFormatRecordBytes);
    if (out->formatTag == kFormatExtensible) {
        out->formatTag = ExtensibleTag(file + found.fmtBody, found.fmtSize);
    }
    std::memcpy(&out->dataTag, "data", 4);
    out->dataSize = dataSize;
    // The data body follows at least the RIFF header, a 16-byte fmt chunk and its own header
    // (44 bytes), so dataSize + 36 stays below size and cannot wrap.
    out->riffSize = dataSize + kRiffSizeBias;
    return dataOffset;
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
    const std::uint32_t fmtSize = ReadU32LE(file + kFmtSizeAt);
    if (fmtSize == kCanonicalFmtSize) {
        return HasTag(file + kTagAt36, "data") ? kCanonicalHeaderSize
                                               : ReadWalkedHeader(out, file, size);
    }
    if (size < kDataAfterShortFmt) {
        return Refuse();
    }
    if (HasTag(file + kTagAt38, "data")) {
        out->dataTag = ReadU32LE(file + 38);
        out->dataSize = ReadU32LE(file + 42);
        out->riffSize = out->dataSize + kRiffSizeBias;
        out->fmtSize = kCanonicalFmtSize;
        return kDataAfterShortFmt;
    }
    if (HasTag(file + kTagAt38, "fact")) {
        const std::uint64_t factSize = ReadU32LE(file + 42);
        const std::uint64_t dataOffset = kFactLayoutFixedBytes + factSize;
        if (dataOffset > size) {
            return Refuse();  // also every F whose offset would not fit in 32 bits
        }
        if (!HasTag(file + kFactDataTagBias + factSize, "data")) {
            return ReadWalkedHeader(out, file, size);  // another chunk between fact and data
        }
        out->dataTag = ReadU32LE(file + 46 + factSize);
        out->dataSize = ReadU32LE(file + 50 + factSize);
        out->riffSize = out->dataSize + kRiffSizeBias;
        return static_cast<std::uint32_t>(dataOffset);
    }
    return ReadWalkedHeader(out, file, size);
}

}  // namespace fogbell::wave
