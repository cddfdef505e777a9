#include "host/encode/adx_header.h"

#include <algorithm>
#include <cstring>

#include "adx_frame.h"
#include "host/encode/adx_encoder.h"

namespace fogbell::encode {
namespace {

constexpr std::uint8_t kFirstByte = 0x80;
constexpr std::size_t kOffsetField = 2;
constexpr std::size_t kChannelsField = 7;
constexpr std::size_t kRateField = 8;
constexpr std::size_t kTotalField = 12;
constexpr std::size_t kFieldsEnd = 20;  // every field up to the version and its flags byte
constexpr std::uint32_t kLoopBlockV3 = 20;
constexpr std::uint32_t kLoopBlockV4Base = 24;
constexpr std::uint32_t kHistoryBytesPerChannel = 4;
constexpr std::uint32_t kMinHistoryChannels = 2;
// Offsets inside the loop block.
constexpr std::uint32_t kAlignmentAt = 0;
constexpr std::uint32_t kFlag16At = 2;
constexpr std::uint32_t kFlagAt = 4;
constexpr std::uint32_t kStartAt = 8;
constexpr std::uint32_t kStartByteAt = 12;
constexpr std::uint32_t kEndAt = 16;
constexpr std::uint32_t kEndByteAt = 20;
constexpr char kSignature[] = "(c)CRI";
constexpr std::uint32_t kSignatureSize = 6;
constexpr std::uint32_t kMaxHeaderOffset = 0xFFFF;

std::uint32_t U16BE(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 8 | p[1];
}

std::uint32_t U32BE(const std::uint8_t* p) {
    return U16BE(p) << 16 | U16BE(p + 2);
}

void PutU16BE(std::uint8_t* p, std::uint32_t value) {
    p[0] = static_cast<std::uint8_t>(value >> 8);
    p[1] = static_cast<std::uint8_t>(value);
}

void PutU32BE(std::uint8_t* p, std::uint32_t value) {
    PutU16BE(p, value >> 16);
    PutU16BE(p + 2, value & 0xFFFFu);
}

// The loop a block holds: its flag set, start < end <= total; else none.
std::optional<AdxLoop> LoopOfBlock(const std::uint8_t* block, std::uint32_t total) {
    const AdxLoop loop{U32BE(block + kStartAt), U32BE(block + kEndAt)};
    if (U32BE(block + kFlagAt) == 0 || CheckAdxLoop(loop, total) != EncodeStatus::kOk) {
        return std::nullopt;
    }
    return loop;
}

}  // namespace

std::optional<std::uint32_t> AdxLoopBlockAt(std::uint8_t version, std::uint32_t channels) {
    if (version == kAdxLoopVersion3) {
        return kLoopBlockV3;
    }
    if (version == kAdxLoopVersion4) {
        return kLoopBlockV4Base +
               kHistoryBytesPerChannel * std::max(channels, kMinHistoryChannels);
    }
    return std::nullopt;
}

std::optional<AdxHeader> ReadAdxHeader(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr || size < kFieldsEnd || data[0] != kFirstByte) {
        return std::nullopt;
    }
    const std::uint32_t offset = U16BE(data + kOffsetField);
    if (offset < 2 || std::uint64_t{offset} - 2 + kSignatureSize > size ||
        std::memcmp(data + offset - 2, kSignature, kSignatureSize) != 0) {
        return std::nullopt;
    }
    AdxHeader header;
    header.channels = data[kChannelsField];
    header.rate = U32BE(data + kRateField);
    header.totalSamples = U32BE(data + kTotalField);
    header.version = data[kAdxVersionField];
    header.signature = offset - 2;
    header.firstFrame = header.signature + kSignatureSize;
    const std::optional<std::uint32_t> block = AdxLoopBlockAt(header.version, header.channels);
    if (block && *block + kAdxLoopBlockBytes <= header.signature) {
        header.loopBlock = block;
        header.loop = LoopOfBlock(data + *block, header.totalSamples);
    }
    return header;
}

void WriteAdxLoopBlock(std::uint8_t* header, std::uint32_t block, std::uint32_t firstFrame,
                       std::uint32_t channels, const std::optional<AdxLoop>& loop) {
    std::uint8_t* b = header + block;
    std::fill(b, b + kAdxLoopBlockBytes, std::uint8_t{0});
    if (!loop) {
        return;
    }
    // Byte offsets of frame groups: a player that works in bytes starts decoding the loop at the
    // group of its first sample and stops after the group of its last.
    const std::uint64_t group = std::uint64_t{adx::kFrameSize} * std::max(channels, 1u);
    const std::uint64_t startByte = firstFrame + loop->start / adx::kSamplesPerFrame * group;
    const std::uint64_t endByte =
        firstFrame +
        (std::uint64_t{loop->end} + adx::kSamplesPerFrame - 1) / adx::kSamplesPerFrame * group;
    const auto clamp32 = [](std::uint64_t v) {
        return static_cast<std::uint32_t>(std::min<std::uint64_t>(v, UINT32_MAX));
    };
    PutU16BE(b + kAlignmentAt, 0);
    PutU16BE(b + kFlag16At, 1);
    PutU32BE(b + kFlagAt, 1);
    PutU32BE(b + kStartAt, loop->start);
    PutU32BE(b + kStartByteAt, clamp32(startByte));
    PutU32BE(b + kEndAt, loop->end);
    PutU32BE(b + kEndByteAt, clamp32(endByte));
}

std::optional<std::vector<std::uint8_t>> WithAdxLoop(const std::uint8_t* data, std::size_t size,
                                                     const std::optional<AdxLoop>& loop) {
    const std::optional<AdxHeader> header = ReadAdxHeader(data, size);
    if (!header || (loop && CheckAdxLoop(*loop, header->totalSamples) != EncodeStatus::kOk)) {
        return std::nullopt;
    }
    if (header->loopBlock || !loop) {
        std::vector<std::uint8_t> bytes(data, data + size);
        if (header->loopBlock) {
            WriteAdxLoopBlock(bytes.data(), *header->loopBlock, header->firstFrame,
                              header->channels, loop);
        }
        return bytes;
    }
    // A version without a block becomes 3; the header grows only when the block does not end
    // before "(c)CRI".
    std::uint8_t version = header->version;
    std::optional<std::uint32_t> block = AdxLoopBlockAt(version, header->channels);
    if (!block) {
        version = kAdxLoopVersion3;
        block = AdxLoopBlockAt(version, header->channels);
    }
    const std::uint32_t signature = std::max(*block + kAdxLoopBlockBytes, header->signature);
    if (signature + 2 > kMaxHeaderOffset) {
        return std::nullopt;
    }
    const std::uint32_t firstFrame = signature + kSignatureSize;
    std::vector<std::uint8_t> bytes(firstFrame, 0);
    std::copy(data, data + header->signature, bytes.begin());
    PutU16BE(&bytes[kOffsetField], signature + 2);
    bytes[kAdxVersionField] = version;
    std::memcpy(&bytes[signature], kSignature, kSignatureSize);
    WriteAdxLoopBlock(bytes.data(), *block, firstFrame, header->channels, loop);
    bytes.insert(bytes.end(), data + header->firstFrame, data + size);
    return bytes;
}

}  // namespace fogbell::encode
