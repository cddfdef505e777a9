// AIX container: several ADX streams interleaved in packets. Read the same way by the explorer
// (aixvault) and by the decoder (aixvoice), which both compile this file. BE marks a big-endian
// field, LE a little-endian one. Offsets are from the container's first byte.
//
// Header, 80 bytes:
//   offset  width  field
//   0       4      magic "AIXF"
//   4       4      BE: table offset S
//   8       36     not read (kept in the explorer's copy of the header)
//   44      4      BE: kept, in native order, in the explorer's copy of the header
//   48      16     not read
//   64      4      LE: track (stream) count N
//   68      12     not read
//
// Stream header table (_HeaderCri) at S: N entries of 52 bytes, one per stream:
//   entry offset  width  field
//   0             24     not read
//   24            28     the stream's ADX header (its offsets 0..27), of which:
//     30 (ADX 6)  1      ADX bit depth (4); not read
//     31 (ADX 7)  1      channel count
//     32 (ADX 8)  4      BE sample rate
//     36 (ADX 12) 4      BE total value T: shown as the sample count, and used as the byte
//                        budget of the stream's packet data
//     40 (ADX 16) 2      BE high-pass cutoff in Hz (selects the prediction coefficients)
//
// Marker: the 8 bytes right after the table are 00 00 28 63 29 43 52 49 (00 00 "(c)CRI").
//
// Packets (AIXPData), the first right after the marker, each followed directly by the next:
//   0   4  "AIXP"
//   4   4  BE, not used
//   8   1  stream number (0 .. N - 1)
//   9   1  not used
//   10  2  BE data length D
//   12  4  not used
//   16  D  the next D bytes of that stream's ADX frames
// The chain goes on while the next four bytes read "AIXP"; anything else (or the container's
// end) ends it. A packet whose header or data would run past the container's end is cut: the
// container is damaged there, and nothing of that packet is used.
//
// A stream is whole when its packets hold the data its entry declares (DeclaredDataBytes): the
// frames of its T samples, or T bytes when that is less (T is also the byte budget past which
// nothing of the stream is played or extracted). One with less is cut, wherever the cut fell:
// also where the container ends exactly between two packets, which ends the chain cleanly.
//
// Nothing here trusts a field: every offset, count and length is checked against the
// container's length before a byte behind it is read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace fogbell::aix {

inline constexpr std::uint32_t kHeaderSize = 80;
inline constexpr std::uint32_t kTableOffsetField = 4;
inline constexpr std::uint32_t kKeptWordField = 44;
inline constexpr std::uint32_t kTrackCountField = 64;
inline constexpr std::uint32_t kEntrySize = 52;
inline constexpr std::uint32_t kEntryAdxHeader = 24;
inline constexpr std::uint32_t kAdxHeaderCopySize = 28;
inline constexpr std::uint32_t kMarkerSize = 8;
inline constexpr std::uint32_t kPacketHeaderSize = 16;

enum class LayoutStatus {
    kOk,
    kUnknownFormat,  // no "AIXF", or too short for the header
    kNoTracks,       // N is 0
    kTableDamaged,   // the table or the marker lies past the end, or the marker differs
};

// The text a loader reports for a status; kNoTracks has none (the text stays "OK").
const char* LayoutText(LayoutStatus status);

struct Layout {
    // The container's first 80 bytes, the words at 4 and 44 converted to native order.
    std::uint8_t header[kHeaderSize] = {};
    std::uint32_t tableOffset = 0;  // S
    std::uint32_t trackCount = 0;   // N
    std::uint32_t firstPacket = 0;  // offset of the byte after the marker (may equal the length)
};

// Reads and checks the header, the table's place and the marker of a container of length bytes.
LayoutStatus ReadLayout(const std::uint8_t* base, std::uint32_t length, Layout& layout);

// A copy of the table that ReadLayout accepted (N x 52 bytes), or null when memory runs out.
std::unique_ptr<std::uint8_t[]> CopyTable(const std::uint8_t* base, const Layout& layout);

// The fields of one _HeaderCri entry that the plug-ins use.
struct StreamHeader {
    std::uint8_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint32_t total = 0;  // T
    std::uint16_t cutoff = 0;
};

// Entry `stream` of a table (the caller checks stream < N).
inline const std::uint8_t* EntryOf(const std::uint8_t* table, std::uint32_t stream) {
    return table + std::size_t{stream} * kEntrySize;
}
StreamHeader ReadStreamHeader(const std::uint8_t* entry);

// (sample rate AND FFFF) << 16 | channel count.
std::uint32_t PackBitrate(const StreamHeader& stream);

// The data bytes of a whole stream: ceil(T / 32) frames of 18 bytes per channel (a channel
// count of 0 counted as 1), or T when that is fewer.
std::uint64_t DeclaredDataBytes(const StreamHeader& stream);

// The text for a stream whose packets hold only present data bytes, fewer than it declares.
std::string CutText(const StreamHeader& stream, std::uint64_t present);

enum class PacketStatus {
    kPacket,  // a whole packet inside the container
    kEnd,     // no "AIXP" here (or the container ends): the chain ended cleanly before this
    kCut,     // "AIXP" here, but its header or data runs past the container's end
};

struct Packet {
    std::uint8_t stream = 0;
    std::uint16_t size = 0;              // D
    const std::uint8_t* data = nullptr;  // D bytes inside the container
    std::uint32_t next = 0;              // offset of the byte after the data
};

// Reads the packet at offset of a container of length bytes.
PacketStatus ReadPacket(const std::uint8_t* base, std::uint32_t length, std::uint32_t offset,
                        Packet& packet);

}  // namespace fogbell::aix
