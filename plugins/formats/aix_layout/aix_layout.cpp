#include "aix_layout.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "byte_order.h"

namespace fogbell::aix {
namespace {

using plugin::HasTag;
using plugin::ReadU16BE;
using plugin::ReadU32BE;
using plugin::ReadU32LE;

constexpr std::uint8_t kMarker[kMarkerSize] = {0, 0, '(', 'c', ')', 'C', 'R', 'I'};

constexpr std::uint32_t kEntryChannels = 31;
constexpr std::uint32_t kEntrySampleRate = 32;
constexpr std::uint32_t kEntryTotal = 36;
constexpr std::uint32_t kEntryCutoff = 40;

// An ADX frame: 18 bytes of one channel, 32 samples.
constexpr std::uint64_t kFrameBytes = 18;
constexpr std::uint64_t kSamplesPerFrame = 32;

constexpr std::uint32_t kPacketStream = 8;
constexpr std::uint32_t kPacketSize = 10;

// Stores a word in the machine's own order (the record copy of the header is native).
void StoreNative(std::uint8_t* p, std::uint32_t value) {
    std::memcpy(p, &value, sizeof value);
}

// True when [offset, offset + size) lies inside a container of length bytes.
bool Inside(std::uint64_t offset, std::uint64_t size, std::uint32_t length) {
    return offset <= length && size <= length - offset;
}

}  // namespace

const char* LayoutText(LayoutStatus status) {
    switch (status) {
        case LayoutStatus::kOk:
        case LayoutStatus::kNoTracks:
            return "OK";
        case LayoutStatus::kUnknownFormat:
            return "Unknown format.";
        case LayoutStatus::kTableDamaged:
            return "Error format _HeaderCri.";
    }
    return "Unknown format.";
}

LayoutStatus ReadLayout(const std::uint8_t* base, std::uint32_t length, Layout& layout) {
    if (length < kHeaderSize || !HasTag(base, "AIXF")) {
        return LayoutStatus::kUnknownFormat;
    }
    std::memcpy(layout.header, base, kHeaderSize);
    layout.tableOffset = ReadU32BE(base + kTableOffsetField);
    StoreNative(layout.header + kTableOffsetField, layout.tableOffset);
    StoreNative(layout.header + kKeptWordField, ReadU32BE(base + kKeptWordField));
    layout.trackCount = ReadU32LE(base + kTrackCountField);
    if (layout.trackCount == 0) {
        return LayoutStatus::kNoTracks;
    }
    const std::uint64_t tableSize = std::uint64_t{kEntrySize} * layout.trackCount;
    const std::uint64_t markerOffset = std::uint64_t{layout.tableOffset} + tableSize;
    if (!Inside(layout.tableOffset, tableSize, length) ||
        !Inside(markerOffset, kMarkerSize, length) ||
        std::memcmp(base + markerOffset, kMarker, kMarkerSize) != 0) {
        return LayoutStatus::kTableDamaged;
    }
    layout.firstPacket = static_cast<std::uint32_t>(markerOffset + kMarkerSize);
    return LayoutStatus::kOk;
}

std::unique_ptr<std::uint8_t[]> CopyTable(const std::uint8_t* base, const Layout& layout) {
    const std::size_t size = std::size_t{kEntrySize} * layout.trackCount;
    std::unique_ptr<std::uint8_t[]> table(new (std::nothrow) std::uint8_t[size]);
    if (table) {
        std::memcpy(table.get(), base + layout.tableOffset, size);
    }
    return table;
}

StreamHeader ReadStreamHeader(const std::uint8_t* entry) {
    StreamHeader stream;
    stream.channels = entry[kEntryChannels];
    stream.sampleRate = ReadU32BE(entry + kEntrySampleRate);
    stream.total = ReadU32BE(entry + kEntryTotal);
    stream.cutoff = ReadU16BE(entry + kEntryCutoff);
    return stream;
}

std::uint32_t PackBitrate(const StreamHeader& stream) {
    return ((stream.sampleRate & 0xFFFFu) << 16) | stream.channels;
}

std::uint64_t DeclaredDataBytes(const StreamHeader& stream) {
    const std::uint64_t frames =
        (std::uint64_t{stream.total} + kSamplesPerFrame - 1) / kSamplesPerFrame;
    const std::uint64_t channels = std::max<std::uint64_t>(stream.channels, 1);
    return std::min<std::uint64_t>(frames * kFrameBytes * channels, stream.total);
}

std::string CutText(const StreamHeader& stream, std::uint64_t present) {
    const std::uint64_t channels = std::max<std::uint64_t>(stream.channels, 1);
    const std::uint64_t samples = present / (kFrameBytes * channels) * kSamplesPerFrame;
    return "The track is cut: its header declares " + std::to_string(stream.total) +
           " samples, the container holds " + std::to_string(samples) + ".";
}

PacketStatus ReadPacket(const std::uint8_t* base, std::uint32_t length, std::uint32_t offset,
                        Packet& packet) {
    if (!Inside(offset, 4, length) || !HasTag(base + offset, "AIXP")) {
        return PacketStatus::kEnd;
    }
    if (!Inside(offset, kPacketHeaderSize, length)) {
        return PacketStatus::kCut;
    }
    const std::uint8_t* header = base + offset;
    const std::uint16_t size = ReadU16BE(header + kPacketSize);
    const std::uint64_t dataOffset = std::uint64_t{offset} + kPacketHeaderSize;
    if (!Inside(dataOffset, size, length)) {
        return PacketStatus::kCut;
    }
    packet.stream = header[kPacketStream];
    packet.size = size;
    packet.data = base + dataOffset;
    packet.next = static_cast<std::uint32_t>(dataOffset + size);
    return PacketStatus::kPacket;
}

}  // namespace fogbell::aix
